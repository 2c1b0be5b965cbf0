#include <time.h>

#include <cerrno>

#include "common/clock.h"

namespace smstest {

namespace {
CalendarSource g_calendar_source = nullptr;
}

bool read_performance_counter(int64_t& reading) {
  struct timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  reading = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return true;
}

bool read_counter_frequency(int64_t& frequency) {
  frequency = 1000000000;  // CLOCK_MONOTONIC counts nanoseconds
  return true;
}

int64_t calendar_seconds() {
  if (g_calendar_source != nullptr) return g_calendar_source();
  return static_cast<int64_t>(time(nullptr));
}

void sleep_milliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

void set_calendar_source(CalendarSource source) { g_calendar_source = source; }

}  // namespace smstest
