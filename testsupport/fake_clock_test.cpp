#include "testsupport/fake_clock.h"

#include <gtest/gtest.h>

namespace smstest {

namespace {

TEST(FakeClock, CalendarAndCounterFollowOneTime) {
  FakeClock clock(1000);
  int64_t reading = -1;
  ASSERT_TRUE(clock.read_performance_counter(reading));
  EXPECT_EQ(reading, 0);
  EXPECT_EQ(clock.calendar_seconds(), 1000);

  clock.advance_microseconds(999999);
  EXPECT_EQ(clock.calendar_seconds(), 1000);
  clock.advance_microseconds(1);
  EXPECT_EQ(clock.calendar_seconds(), 1001);
  ASSERT_TRUE(clock.read_performance_counter(reading));
  EXPECT_EQ(reading, 1000000);

  clock.sleep_milliseconds(2500);
  EXPECT_EQ(clock.calendar_seconds(), 1003);
  EXPECT_EQ(clock.now_microseconds(), 3500000);
  clock.sleep_milliseconds(-5);
  clock.advance_microseconds(-7);
  EXPECT_EQ(clock.now_microseconds(), 3500000);
  EXPECT_EQ(clock.sleeps(), 2);
  EXPECT_EQ(clock.slept_milliseconds(), 2500);
}

TEST(FakeClock, CalendarStepsMoveTheTimeAfterEachReading) {
  FakeClock clock(1000);
  clock.advance_milliseconds(300);
  clock.step_per_reading(2);
  EXPECT_EQ(clock.calendar_seconds(), 1000);
  EXPECT_EQ(clock.calendar_seconds(), 1002);
  EXPECT_EQ(clock.now_microseconds(), 4300000);
  int64_t reading = -1;
  ASSERT_TRUE(clock.read_performance_counter(reading));
  EXPECT_EQ(reading, 4300000) << "counter reads do not step";
  clock.step_per_reading(0);
  EXPECT_EQ(clock.calendar_seconds(), 1004);
  EXPECT_EQ(clock.calendar_seconds(), 1004);
  clock.step_per_reading(-3);
  EXPECT_EQ(clock.calendar_seconds(), 1004);
}

TEST(FakeClock, CounterRunsAtTheChosenFrequency) {
  FakeClock clock;
  clock.set_counter_frequency(1000000000);
  // Eleven days of nanoseconds would overflow a plain product.
  clock.advance_microseconds(11LL * 86400 * 1000000 + 3);
  int64_t reading = 0;
  int64_t frequency = 0;
  ASSERT_TRUE(clock.read_performance_counter(reading));
  ASSERT_TRUE(clock.read_counter_frequency(frequency));
  EXPECT_EQ(frequency, 1000000000);
  EXPECT_EQ(reading, 11LL * 86400 * 1000000000 + 3000);
}

TEST(FakeClock, CounterAndFrequencyFailOnRequest) {
  FakeClock clock;
  clock.fail_counter_read(1);
  clock.fail_counter_read(3);
  const bool expected[] = {true, false, true, false, true};
  for (bool ok : expected) {
    int64_t reading = -1;
    EXPECT_EQ(clock.read_performance_counter(reading), ok);
    EXPECT_EQ(reading, ok ? 0 : -1);
  }
  EXPECT_EQ(clock.counter_reads(), 5);

  int64_t reading = 0;
  clock.fail_counter_reads(true);
  EXPECT_FALSE(clock.read_performance_counter(reading));
  EXPECT_FALSE(clock.read_performance_counter(reading));
  clock.fail_counter_reads(false);
  EXPECT_TRUE(clock.read_performance_counter(reading));

  int64_t frequency = 0;
  clock.fail_frequency();
  EXPECT_FALSE(clock.read_counter_frequency(frequency));
  clock.fail_frequency(false);
  EXPECT_TRUE(clock.read_counter_frequency(frequency));
  EXPECT_EQ(frequency, FakeClock::kMicrosecondsPerSecond);
}

}  // namespace

}  // namespace smstest
