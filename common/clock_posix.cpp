#include <time.h>

#include <cerrno>

#include "common/clock.h"

namespace smstest {

namespace {

class PosixClock : public Clock {
 public:
  bool read_performance_counter(int64_t& reading) override {
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    reading = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return true;
  }

  bool read_counter_frequency(int64_t& frequency) override {
    frequency = 1000000000;  // CLOCK_MONOTONIC counts nanoseconds
    return true;
  }

  int64_t calendar_seconds() override { return static_cast<int64_t>(time(nullptr)); }

  void sleep_milliseconds(int milliseconds) override {
    if (milliseconds <= 0) return;
    struct timespec wait;
    wait.tv_sec = milliseconds / 1000;
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

Clock& system_clock() {
  static PosixClock clock;
  return clock;
}

}  // namespace smstest
