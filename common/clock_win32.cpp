#include <time.h>
#include <windows.h>

#include "common/clock.h"

namespace smstest {

namespace {

// 100-nanosecond intervals between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kFileTimeToUnix = 116444736000000000LL;
constexpr int64_t kFileTimePerSecond = 10000000;

int64_t counter_now() {
  LARGE_INTEGER now;
  if (!QueryPerformanceCounter(&now)) return 0;
  return static_cast<int64_t>(now.QuadPart);
}

class Win32Clock : public Clock {
 public:
  // The steady clock starts at the calendar time and then follows the
  // performance counter, so that a step of the system clock does not move it.
  Win32Clock() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    steadyBase_ = static_cast<int64_t>(ticks.QuadPart) - kFileTimeToUnix;
    counterBase_ = counter_now();
    LARGE_INTEGER frequency;
    counterFrequency_ = QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
  }

  bool read_performance_counter(int64_t& reading) override {
    LARGE_INTEGER now;
    if (!QueryPerformanceCounter(&now)) return false;
    reading = static_cast<int64_t>(now.QuadPart);
    return true;
  }

  bool read_counter_frequency(int64_t& frequency) override {
    LARGE_INTEGER ticks;
    if (!QueryPerformanceFrequency(&ticks)) return false;
    frequency = static_cast<int64_t>(ticks.QuadPart);
    return true;
  }

  int64_t calendar_seconds() override {
    // The C runtime's 64-bit clock, so that limits keep working past 2038
    // whatever the width of time_t in the runtime the program is linked with.
    return static_cast<int64_t>(_time64(nullptr));
  }

  int64_t calendar_microseconds() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (static_cast<int64_t>(ticks.QuadPart) - kFileTimeToUnix) / 10;
  }

  int64_t steady_seconds() override {
    // Without a counter the calendar is all there is.
    if (counterFrequency_ <= 0) return calendar_seconds();
    const int64_t ticks = counter_now() - counterBase_;
    // Whole seconds and the rest apart, so that the product can't overflow.
    const int64_t elapsed = ticks / counterFrequency_ * kFileTimePerSecond +
                            ticks % counterFrequency_ * kFileTimePerSecond / counterFrequency_;
    const int64_t now = steadyBase_ + elapsed;
    return now >= 0 ? now / kFileTimePerSecond : -((-now - 1) / kFileTimePerSecond) - 1;
  }

  void sleep_milliseconds(int milliseconds) override {
    if (milliseconds <= 0) return;
    Sleep(static_cast<DWORD>(milliseconds));
  }

 private:
  int64_t steadyBase_ = 0;  // calendar time in 100 ns units when the clock was made
  int64_t counterBase_ = 0;
  int64_t counterFrequency_ = 0;
};

}  // namespace

Clock& system_clock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace smstest
