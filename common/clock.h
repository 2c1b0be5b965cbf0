// The clocks of a run: the high-resolution performance counter, the
// calendar clock in whole seconds, and sleeping.
//
// Intervals are measured with the counter (readings divided by its
// frequency); every wall-clock limit of the tool is kept in whole calendar
// seconds.  One implementation per platform (clock_posix.cpp,
// clock_win32.cpp).
#pragma once

#include <cstdint>

namespace smstest {

// Reads the performance counter.  False when the counter can't be read.
bool read_performance_counter(int64_t& reading);

// Ticks per second of the performance counter.  False when unavailable.
bool read_counter_frequency(int64_t& frequency);

// Seconds since 1970-01-01 00:00 UTC, 64-bit.
int64_t calendar_seconds();

// Blocks the calling thread for about `milliseconds`.
void sleep_milliseconds(int milliseconds);

// Test seam: replaces the calendar clock with `source` (nullptr restores the
// system clock).  Lets time-out logic be tested without waiting for it.
using CalendarSource = int64_t (*)();
void set_calendar_source(CalendarSource source);

}  // namespace smstest
