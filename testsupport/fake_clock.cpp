#include "testsupport/fake_clock.h"

#include "common/interrupt.h"

namespace smstest {

FakeClock::FakeClock(int64_t startSeconds) : startSeconds_(startSeconds) {}

bool FakeClock::read_performance_counter(int64_t& reading) {
  const int index = counterReads_++;
  if (counterBroken_ || failingReads_.erase(index) > 0) return false;
  // Whole seconds and the rest apart, so that a high frequency can't
  // overflow the product.
  const int64_t seconds = now_ / kMicrosecondsPerSecond;
  const int64_t micros = now_ % kMicrosecondsPerSecond;
  reading = seconds * frequency_ + micros * frequency_ / kMicrosecondsPerSecond;
  return true;
}

bool FakeClock::read_counter_frequency(int64_t& frequency) {
  if (frequencyBroken_) return false;
  frequency = frequency_;
  return true;
}

int64_t FakeClock::calendar_seconds() {
  if (pendingStepAt_ >= 0 && now_ >= pendingStepAt_) {
    calendarStep_ += pendingStep_;
    pendingStepAt_ = -1;
  }
  const int64_t seconds = startSeconds_ + now_ / kMicrosecondsPerSecond + calendarStep_;
  now_ += readingStep_ * kMicrosecondsPerSecond;
  return seconds;
}

int64_t FakeClock::steady_seconds() {
  const int64_t seconds = startSeconds_ + now_ / kMicrosecondsPerSecond;
  now_ += readingStep_ * kMicrosecondsPerSecond;
  return seconds;
}

void FakeClock::sleep_milliseconds(int milliseconds) {
  ++sleeps_;
  if (milliseconds <= 0) return;
  sleptMilliseconds_ += milliseconds;
  advance_milliseconds(milliseconds);
}

void FakeClock::advance_microseconds(int64_t microseconds) {
  if (microseconds > 0) now_ += microseconds;
}

void FakeClock::fail_counter_read(int skip) {
  failingReads_.insert(counterReads_ + (skip > 0 ? skip : 0));
}

SignalAt::SignalAt(int64_t atMs, int signalNumber)
    : atMicroseconds_(atMs * 1000), signal_(signalNumber) {}

SignalAt::~SignalAt() { clear_interrupt(); }

int64_t SignalAt::steady_seconds() {
  if (now_microseconds() >= atMicroseconds_) request_interrupt(signal_);
  return FakeClock::steady_seconds();
}

}  // namespace smstest
