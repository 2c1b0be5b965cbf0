#include "driver/measures.h"

#include <gtest/gtest.h>

#include <string>

#include "common/clock.h"
#include "common/text.h"

namespace smstest {

namespace {

TEST(ElapsedSeconds, Table) {
  EXPECT_EQ(elapsed_seconds(100, 100, 1000), 0.0);
  EXPECT_EQ(elapsed_seconds(100, 99, 1000), 0.0);         // one tick below counts 0
  EXPECT_EQ(elapsed_seconds(100, 90, 1000), 9 / 1000.0);  // ten below counts 9
  EXPECT_EQ(elapsed_seconds(5000, 7500, 1000), 2.5);
  EXPECT_EQ(format("%f", elapsed_seconds(5000, 7500, 1000)), "2.500000");
  EXPECT_EQ(elapsed_seconds(0, 2312000000LL, 1000000000), 2.312);
  EXPECT_EQ(elapsed_seconds(1, 2, 0), 0.0);
  // Readings compare as unsigned: a negative reading is "above" a positive one.
  EXPECT_EQ(elapsed_seconds(1, -1, 1), static_cast<double>(static_cast<int64_t>(~uint64_t{0} - 1)));
}

// A message found before its send was confirmed has a delivery time of 0,
// marked early; never the interval's absolute value.
TEST(DeliverySeconds, FoundBeforeTheConfirmationIsZero) {
  struct Row {
    int64_t confirmed, found;
    double seconds;
    bool early;
  } const rows[] = {
      {1000, 3500, 2.5, false},
      {1000, 1000, 0.0, false},
      {1800, 1000, 0.0, true},  // 0.8 s before: not 0.8
      {1000, 999, 0.0, true},
      {5, -1, 0.0, false},  // readings compare as elapsed_seconds compares them
  };
  for (const Row& row : rows) {
    bool early = !row.early;
    const double seconds = delivery_seconds(row.confirmed, row.found, 1000, early);
    if (row.found >= 0) {
      EXPECT_EQ(seconds, row.seconds) << row.confirmed << " " << row.found;
    }
    EXPECT_EQ(early, row.early) << row.confirmed << " " << row.found;
  }
}

TEST(MatchPercent, WorkedExamples) {
  struct Case {
    const char* sent;
    const char* received;
    int expected;
  } cases[] = {
      {"ABCDEFG", "xABCDXFGyz", 80},
      {"ABCDEFG", "xyzABCDEZZ", 0},  // the flush-right offset m - n is not tried
      {"ABCDEFG", "ABCDEFX", 0},     // same length: no offset tried
      {"ABCDEFG", "ABC", 0},         // shorter received text
      {"AB", "xxABxx", 0},           // two bytes: nothing compared
      {"A", "xxAxx", 0},
      {"", "x", 100},
      {"", "", 0},
      {"ABCDE", "ABCDExx", 100},
      {"ABCDE", "ABZDExx", 66},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(match_percent(c.sent, c.received), c.expected) << c.sent << " in " << c.received;
  }
}

// Builds a sent text of n = compared + 2 bytes and a received text longer by
// one byte in which exactly `matching` of the compared bytes stand at offset 0.
int score(int matching, int compared) {
  std::string sent(compared + 2, 'a');
  std::string received = sent + "z";
  for (int k = matching; k < compared; ++k) received[k] = 'b';
  return match_percent(sent, received);
}

TEST(MatchPercent, DoubleArithmeticCasesComeOutOneBelow) {
  struct Case {
    int matching, compared, expected;
  } cases[] = {
      {29, 50, 57}, {29, 100, 28}, {57, 100, 56}, {58, 100, 57},   {87, 150, 57},
      {1, 2, 50},   {30, 100, 30}, {50, 100, 50}, {100, 100, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(score(c.matching, c.compared), c.expected) << c.matching << " of " << c.compared;
  }
}

TEST(MatchPercent, ExactlyFiveOneBelowCasesUpTo160) {
  int below = 0;
  for (int compared = 1; compared <= 160; ++compared) {
    for (int matching = 0; matching <= compared; ++matching) {
      int exact_floor = matching * 100 / compared;
      int got = score(matching, compared);
      EXPECT_TRUE(got == exact_floor || got == exact_floor - 1) << matching << "/" << compared;
      if (got == exact_floor - 1) ++below;
    }
  }
  EXPECT_EQ(below, 5);
}

TEST(NowSeconds, StoresAndReturnsTheSlot) {
  int64_t slot = -1;
  int64_t& same = now_seconds(system_clock(), slot);
  EXPECT_EQ(&same, &slot);
  EXPECT_GT(slot, 1600000000);
}

}  // namespace

}  // namespace smstest
