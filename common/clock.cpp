#include "common/clock.h"

namespace smstest {

bool read_performance_counter(int64_t& reading) {
  return system_clock().read_performance_counter(reading);
}

bool read_counter_frequency(int64_t& frequency) {
  return system_clock().read_counter_frequency(frequency);
}

int64_t calendar_seconds() { return system_clock().calendar_seconds(); }

int64_t steady_seconds() { return system_clock().steady_seconds(); }

void sleep_milliseconds(int milliseconds) { system_clock().sleep_milliseconds(milliseconds); }

double monotonic_seconds() {
  int64_t reading = 0;
  int64_t frequency = 0;
  if (!read_performance_counter(reading) || !read_counter_frequency(frequency) || frequency <= 0)
    return 0;
  // Whole seconds and the rest apart, so that no precision is lost to a
  // large reading.
  const int64_t seconds = reading / frequency;
  const int64_t rest = reading % frequency;
  return static_cast<double>(seconds) + static_cast<double>(rest) / static_cast<double>(frequency);
}

}  // namespace smstest
