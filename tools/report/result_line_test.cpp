#include "tools/report/result_line.h"

#include <gtest/gtest.h>

namespace smstest {
namespace {

TEST(ResultLine, ReadsEveryColumnOfALine) {
  RunRecord run;
  ASSERT_TRUE(parse_result_line(
      "SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100", &run));
  EXPECT_EQ(run.testName, "T1");
  EXPECT_EQ(run.dataTime, "20070301");
  EXPECT_EQ(run.latLong, "45.5N73.6W");
  EXPECT_TRUE(run.hasLatLong);
  EXPECT_TRUE(run.hasDataTime);
  EXPECT_FALSE(run.hasCmdFile);
  EXPECT_FALSE(run.fromCampaign);
  ASSERT_TRUE(run.hasResultStatus);
  EXPECT_EQ(run.resultStatus, 0);
  EXPECT_EQ(run.mode, RunMode::kRoundTrip);
  EXPECT_TRUE(run.sendTime.taken);
  EXPECT_DOUBLE_EQ(run.sendTime.value, 2.312);
  EXPECT_DOUBLE_EQ(run.deliveryTime.value, 7.95);
  EXPECT_FALSE(run.replyTime.taken);
  EXPECT_DOUBLE_EQ(run.totalTime.value, 11.02);
  EXPECT_DOUBLE_EQ(run.accuracy.value, 100);
}

TEST(ResultLine, TellsReflectorLinesByTheirReplyTime) {
  struct Case {
    const char* line;
    RunMode mode;
  } cases[] = {
      {"SMS_TEST,1,R1,d,-,2,0.400000,-Infinity,2.500000,9.000000,-Infinity,0", RunMode::kReflector},
      // A failed reflector run looks like a round trip that failed before its send.
      {"SMS_TEST,1,R1,d,-,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0",
       RunMode::kRoundTrip},
      {"SMS_TEST,1,R1,d,-,2,-Infinity,-Infinity,1.000000,-Infinity,-Infinity,0",
       RunMode::kReflector},
  };
  for (const Case& c : cases) {
    RunRecord run;
    ASSERT_TRUE(parse_result_line(c.line, &run)) << c.line;
    EXPECT_EQ(run.mode, c.mode) << c.line;
  }
}

TEST(ResultLine, KeepsTextsAsTheyStand) {
  RunRecord run;
  ASSERT_TRUE(
      parse_result_line("SMS_TEST,1, caf\xE9 ,,45.5 -73.6,0,1.0,2.0,-Infinity,3.0,100,100", &run));
  EXPECT_EQ(run.testName, " caf\xE9 ");
  EXPECT_EQ(run.dataTime, "");
  EXPECT_EQ(run.latLong, "45.5 -73.6");
  // The first line a record with only its path set writes.
  ASSERT_TRUE(parse_result_line(
      "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0", &run));
  EXPECT_EQ(run.testName, "");
  EXPECT_FALSE(run.sendTime.taken || run.deliveryTime.taken || run.replyTime.taken ||
               run.totalTime.taken || run.accuracy.taken);
}

// Columns after the pass figure are ignored; lines of other record types are
// no runs, and say so.
TEST(ResultLine, ReadsPastExtraColumnsAndTellsOtherRecords) {
  const char* const runs[] = {
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100,",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100,7,-Infinity,x",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100\r\n",
  };
  for (const char* line : runs) {
    RunRecord run;
    bool otherRecord = true;
    ASSERT_TRUE(parse_result_line(line, &run, &otherRecord)) << line;
    EXPECT_FALSE(otherRecord) << line;
    EXPECT_EQ(run.testName, "T1") << line;
    EXPECT_EQ(run.latLong, "-") << line;
    EXPECT_DOUBLE_EQ(run.totalTime.value, 3.0) << line;
    EXPECT_DOUBLE_EQ(run.accuracy.value, 100) << line;
    EXPECT_EQ(run.resultStatus, 0) << line;
  }
  const char* const others[] = {
      "SMS_TEST,2,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,2,d,17",
      "SMS_TEST,0,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
  };
  for (const char* line : others) {
    RunRecord run;
    bool otherRecord = false;
    EXPECT_FALSE(parse_result_line(line, &run, &otherRecord)) << line;
    EXPECT_TRUE(otherRecord) << line;
  }
  RunRecord run;
  bool otherRecord = true;
  EXPECT_FALSE(parse_result_line("SMS_TEST,1,T1,d,-,0,1.0", &run, &otherRecord));
  EXPECT_FALSE(otherRecord);
}

TEST(ResultLine, RefusesWhatIsNotAResultLine) {
  const char* const bad[] = {
      "",
      "SMS_TEST",
      "SMS_TEST,",
      "sms_test,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      "XSMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      " SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100",
      // 11 columns, and a comma inside latLong or testName that shifts the
      // columns (extra columns or not)
      "SMS_TEST,1,T1,d,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,45.5,-73.6,0,1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T,1,d,-,0,1.0,2.0,-Infinity,3.0,100,100,7",
      // a status that is not a number, or a pass figure that does not go
      // with the status: the columns are not where they belong
      "SMS_TEST,1,T,d,-,x,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0",
      "SMS_TEST,1,T,d,-,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,100",
      // measures that are neither -Infinity nor a number
      "SMS_TEST,1,T1,d,-,0,,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,abc,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,nan,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,inf,100",
      "SMS_TEST,1,T1,d,-,0, 1.0,2.0,-Infinity,3.0,100,100",
      "SMS_TEST,1,T1,d,-,0,1.0s,2.0,-Infinity,3.0,100,100",
  };
  for (const char* line : bad) {
    RunRecord run;
    EXPECT_FALSE(parse_result_line(line, &run)) << line;
  }
}

}  // namespace
}  // namespace smstest
