#include <time.h>
#include <windows.h>

#include "common/clock.h"

namespace smstest {

namespace {

class Win32Clock : public Clock {
 public:
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

  void sleep_milliseconds(int milliseconds) override {
    if (milliseconds <= 0) return;
    Sleep(static_cast<DWORD>(milliseconds));
  }
};

}  // namespace

Clock& system_clock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace smstest
