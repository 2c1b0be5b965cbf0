// The clocks of a run: the high-resolution performance counter, the
// calendar clock and a steady clock in whole seconds, and sleeping.
//
// Intervals are measured with the counter (readings divided by its
// frequency); every wall-clock limit of the tool is kept in whole seconds of
// the steady clock, which starts out at the calendar time but never follows
// a step of the system clock.  Code that waits or measures takes a Clock from its caller (the
// port, the session, the run), so that tests can hand it a fake clock
// (testsupport/fake_clock.h) and run time-outs without waiting.  The
// platform's clock is system_clock(), one implementation per platform
// (clock_posix.cpp, clock_win32.cpp).
#pragma once

#include <cstdint>

namespace smstest {

class Clock {
 public:
  virtual ~Clock() = default;

  // Reads the performance counter.  False when the counter can't be read.
  virtual bool read_performance_counter(int64_t& reading) = 0;

  // Ticks per second of the performance counter.  False when unavailable.
  virtual bool read_counter_frequency(int64_t& frequency) = 0;

  // Seconds since 1970-01-01 00:00 UTC, 64-bit.
  virtual int64_t calendar_seconds() = 0;

  // Microseconds since 1970-01-01 00:00 UTC: the calendar to the
  // microsecond where the platform has it.  A clock without a finer calendar
  // reads its whole seconds.
  virtual int64_t calendar_microseconds() { return calendar_seconds() * 1000000; }

  // Whole seconds of a steady clock, for the limits of waits: it reads the
  // calendar time when the clock is made and then moves on with real time
  // only, so that a step of the system clock (by hand or by a time service)
  // neither stretches nor cuts a wait.  A clock without a steady source of
  // its own reads its calendar.
  virtual int64_t steady_seconds() { return calendar_seconds(); }

  // Blocks the calling thread for about `milliseconds` (nothing for 0 or
  // less).
  virtual void sleep_milliseconds(int milliseconds) = 0;
};

// The platform's clock.  It lives as long as the program and may be used
// from any thread.
Clock& system_clock();

// The same operations on system_clock(), for code that has no clock of its
// own to use (the simulator, the benchmarks, tests of whole runs).
bool read_performance_counter(int64_t& reading);
bool read_counter_frequency(int64_t& frequency);
int64_t calendar_seconds();
int64_t steady_seconds();
void sleep_milliseconds(int milliseconds);

// The performance counter of system_clock() in seconds: a monotonic clock
// for intervals and time limits of the tools and tests around SMS_TEST.
// 0 when the counter can't be read.
double monotonic_seconds();

}  // namespace smstest
