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

}  // namespace smstest
