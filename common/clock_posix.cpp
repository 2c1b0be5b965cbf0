#include <time.h>

#include <cerrno>

#include "common/clock.h"

namespace smstest {

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

int64_t nanoseconds(clockid_t clock) {
  struct timespec now;
  if (clock_gettime(clock, &now) != 0) return 0;
  return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

class PosixClock : public Clock {
 public:
  // The steady clock starts at the calendar time, to the nanosecond, so that
  // its whole seconds turn when the calendar's do until the system clock is
  // stepped.
  PosixClock()
      : steadyBase_(nanoseconds(CLOCK_REALTIME)), monotonicBase_(nanoseconds(CLOCK_MONOTONIC)) {}

  bool read_performance_counter(int64_t& reading) override {
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    reading = static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
    return true;
  }

  bool read_counter_frequency(int64_t& frequency) override {
    frequency = kNanosecondsPerSecond;  // CLOCK_MONOTONIC counts nanoseconds
    return true;
  }

  int64_t calendar_seconds() override { return static_cast<int64_t>(time(nullptr)); }

  int64_t calendar_microseconds() override {
    const int64_t now = nanoseconds(CLOCK_REALTIME);
    // Toward minus infinity, like the seconds.
    return now >= 0 ? now / 1000 : -((-now - 1) / 1000) - 1;
  }

  int64_t steady_seconds() override {
    const int64_t now = steadyBase_ + (nanoseconds(CLOCK_MONOTONIC) - monotonicBase_);
    // Whole seconds toward minus infinity, like the calendar's.
    return now >= 0 ? now / kNanosecondsPerSecond : -((-now - 1) / kNanosecondsPerSecond) - 1;
  }

  void sleep_milliseconds(int milliseconds) override {
    if (milliseconds <= 0) return;
    struct timespec wait;
    wait.tv_sec = milliseconds / 1000;
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }

 private:
  int64_t steadyBase_;     // calendar nanoseconds when the clock was made
  int64_t monotonicBase_;  // CLOCK_MONOTONIC nanoseconds at the same moment
};

}  // namespace

Clock& system_clock() {
  static PosixClock clock;
  return clock;
}

}  // namespace smstest
