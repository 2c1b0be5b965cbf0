// Test support: a clock whose time moves only when told to.
//
// One fake time, in microseconds since the clock was made, gives the
// calendar seconds, the steady seconds and the performance counter (the
// calendar can be stepped apart from the others); sleeping advances it at once
// instead of blocking, and so does FakeSerialDevice when a read request waits
// out its time-out.  Counter reads and the frequency can be made to fail on
// request.  Not thread-safe: a test and the code it drives share one thread.
#pragma once

#include <cstdint>
#include <set>

#include "common/clock.h"

namespace smstest {

class FakeClock : public Clock {
 public:
  static constexpr int64_t kStartSeconds = 1700000000;  // 2023-11-14 22:13:20 UTC
  static constexpr int64_t kMicrosecondsPerSecond = 1000000;

  // Calendar second `startSeconds` and counter reading 0, exactly on a whole
  // second; the counter runs at one tick per microsecond.
  explicit FakeClock(int64_t startSeconds = kStartSeconds);

  // Clock.  The counter reading is the fake time in ticks of the counter
  // frequency; a read made to fail leaves `reading` unchanged.
  bool read_performance_counter(int64_t& reading) override;
  bool read_counter_frequency(int64_t& frequency) override;
  int64_t calendar_seconds() override;
  // The start second plus the fake time; a step of the calendar does not
  // move it.
  int64_t steady_seconds() override;
  // Advances the fake time by `milliseconds` (nothing for 0 or less) and
  // returns at once.
  void sleep_milliseconds(int milliseconds) override;

  // Moves the fake time on (a negative amount is ignored).
  void advance_microseconds(int64_t microseconds);
  void advance_milliseconds(int64_t milliseconds) { advance_microseconds(milliseconds * 1000); }
  // Fake time since the clock was made.
  int64_t now_microseconds() const { return now_; }

  // Steps the calendar by `seconds` (either way), as a user or a time
  // service setting the system clock does; the steady clock and the counter
  // go on unchanged.
  void step_calendar(int64_t seconds) { calendarStep_ += seconds; }
  // Steps the calendar by `seconds` at the first calendar reading once the
  // fake time has reached `atMilliseconds`: a clock set in the middle of a
  // wait.
  void step_calendar_at(int64_t atMilliseconds, int64_t seconds) {
    pendingStepAt_ = atMilliseconds * 1000;
    pendingStep_ = seconds;
  }

  // Ticks per second that the counter reports and runs at (default 1000000).
  void set_counter_frequency(int64_t frequency) { frequency_ = frequency; }

  // From now on every calendar_seconds() or steady_seconds() reading moves
  // the fake time on by `seconds` whole seconds once it has been read, as the
  // clocks of a busy machine move between two readings (0 or less: readings
  // leave the time alone).
  void step_per_reading(int64_t seconds) { readingStep_ = seconds > 0 ? seconds : 0; }

  // The counter read `skip` reads from now fails (0: the next one), once.
  // May be called again for further failures.
  void fail_counter_read(int skip = 0);
  // Every counter read fails from now on (true) or only the scheduled ones
  // (false).
  void fail_counter_reads(bool fail) { counterBroken_ = fail; }
  // read_counter_frequency fails (true) or works (false).
  void fail_frequency(bool fail = true) { frequencyBroken_ = fail; }

  // Counter reads so far, failed ones included.
  int counter_reads() const { return counterReads_; }
  // Sleeps so far and the milliseconds they asked for in all.
  int sleeps() const { return sleeps_; }
  int64_t slept_milliseconds() const { return sleptMilliseconds_; }

 private:
  int64_t startSeconds_;
  int64_t now_ = 0;  // microseconds
  int64_t calendarStep_ = 0;
  int64_t pendingStepAt_ = -1;  // microseconds; < 0: no step pending
  int64_t pendingStep_ = 0;
  int64_t frequency_ = kMicrosecondsPerSecond;
  int64_t readingStep_ = 0;  // seconds
  int counterReads_ = 0;
  std::set<int> failingReads_;  // indexes of counter reads that fail
  bool counterBroken_ = false;
  bool frequencyBroken_ = false;
  int sleeps_ = 0;
  int64_t sleptMilliseconds_ = 0;
};

// A fake clock that plays a signal arriving once the fake time reaches
// `atMs`: the tool's handler would request the interrupt then (seen by the
// next steady_seconds()).  The interrupt is cleared when the clock goes.
class SignalAt : public FakeClock {
 public:
  SignalAt(int64_t atMs, int signalNumber);
  ~SignalAt() override;

  int64_t steady_seconds() override;

 private:
  int64_t atMicroseconds_;
  int signal_;
};

}  // namespace smstest
