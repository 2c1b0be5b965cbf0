// The measures of a run: counter intervals in seconds, the accuracy score of
// a received text, and the calendar clock.
#pragma once

#include <cstdint>
#include <string>

namespace smstest {

class Clock;

// Seconds between two performance-counter readings.  An end reading below the
// start reading counts start - end - 1 ticks.  A frequency of 0 or less gives
// 0.0.
double elapsed_seconds(int64_t start, int64_t end, int64_t frequency);

// The delivery interval: seconds from the send's confirmation (`confirmed`)
// to the reading at which the message was found (`found`).  A message found
// before its send was confirmed (one modem, a late confirmation) has no
// interval to measure: 0, with `early` set; otherwise as elapsed_seconds.
double delivery_seconds(int64_t confirmed, int64_t found, int64_t frequency, bool& early);

// How much of `sent` stands in `received`, 0 to 100: the best count of
// matching bytes of the first n - 2 bytes of `sent` over the offsets
// 0 .. m - n - 1 of `received`, as a percentage truncated toward zero.
// A sent text of one or two bytes scores 0; an empty one scores 100 against
// a non-empty received text.
int match_percent(std::string sent, std::string received);

// Stores the calendar time of `clock` in whole seconds in `slot` and returns
// it.
int64_t& now_seconds(Clock& clock, int64_t& slot);

}  // namespace smstest
