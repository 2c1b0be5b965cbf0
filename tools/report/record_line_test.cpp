// Run records as report input: what a record line gives, the lines refused,
// and the failure phase deciding access against completion failures.
#include "tools/report/record_line.h"

#include <gtest/gtest.h>

#include "tools/report/kpi.h"

namespace smstest {
namespace {

TEST(RecordLine, ReadsRecordsAndCampaignObjects) {
  RunRecord run;
  ASSERT_TRUE(parse_record_line(
      "{\"testName\":\"T1\",\"dataTime\":\"42\",\"latLong\":\"45N\",\"mode\":\"round-trip\","
      "\"exitCode\":0,\"statusCode\":0,\"statusText\":\"SUCCESS\",\"failurePhase\":null,"
      "\"sendTime\":1.5,\"deliveryTime\":2.25,\"replyTime\":null,\"accuracy\":100,"
      "\"runStart\":\"2026-12-08T10:15:00.500000Z\"}",
      &run));
  EXPECT_EQ(run.testName, "T1");
  EXPECT_TRUE(run.hasLatLong);
  EXPECT_FALSE(run.hasCmdFile);
  EXPECT_TRUE(run.sendTime.taken);
  EXPECT_DOUBLE_EQ(run.deliveryTime.value, 2.25);
  EXPECT_FALSE(run.replyTime.taken);
  EXPECT_FALSE(run.totalTime.taken);  // missing
  EXPECT_FALSE(run.hasFailurePhase);  // null
  EXPECT_TRUE(run.hasStart);
  EXPECT_DOUBLE_EQ(run.startSeconds, 1796724900.5);

  ASSERT_TRUE(parse_record_line(
      "\xEF\xBB\xBF{\"mode\":\"reflector\",\"run\":7,\"cmdFile\":\"a.cmd\",\"start\":"
      "\"2026-12-08T10:15:00Z\",\"runStart\":\"2027-01-01T00:00:00.000000Z\",\"statusCode\":null,"
      "\"statusText\":\"no status file\",\"failurePhase\":\"receive\"}",
      &run));
  EXPECT_EQ(run.mode, RunMode::kReflector);
  EXPECT_EQ(run.run, "7");
  EXPECT_EQ(run.cmdFile, "a.cmd");
  EXPECT_DOUBLE_EQ(run.startSeconds, 1796724900);  // the campaign's start first
  EXPECT_FALSE(run.hasStatusCode);
  EXPECT_EQ(run.failurePhase, "receive");

  for (const char* bad : {"", "[]", "{\"mode\":\"x\"}", "{\"testName\":\"T\"}",
                          "{\"mode\":\"round-trip\",\"sendTime\":\"-Infinity\"}", "{\"mode\":"}) {
    EXPECT_FALSE(parse_record_line(bad, &run)) << bad;
  }
  EXPECT_TRUE(is_record_line_start("  {\"mode\""));
  EXPECT_FALSE(is_record_line_start("SMS_TEST,1,T"));
  EXPECT_TRUE(record_line_has_cmd_file("{\"cmdFile\":\"a\"}"));
  EXPECT_FALSE(record_line_has_cmd_file("{\"testName\":\"a\"}"));
}

TEST(RecordLine, FailurePhaseDecidesTheOutcome) {
  struct Case {
    const char* phase;  // nullptr: none
    bool sent;
    bool delivered;
    Outcome outcome;
  } cases[] = {
      {"open", false, false, Outcome::kAccessFailure},
      {"send", false, false, Outcome::kAccessFailure},
      {"setup", false, false, Outcome::kTestSystemFailure},  // outside every KPI
      {"receive", true, false, Outcome::kCompletionFailure},
      {"check", true, true, Outcome::kCompletionFailure},  // delivered, but not the text sent
      {"report-file", true, true, Outcome::kCompleted},
      {nullptr, true, true, Outcome::kCompleted},
      {nullptr, false, false, Outcome::kAccessFailure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase == nullptr ? "none" : c.phase);
    RunRecord run;
    run.hasFailurePhase = c.phase != nullptr;
    if (c.phase != nullptr) run.failurePhase = c.phase;
    run.sendTime = {c.sent, 1.0};
    run.deliveryTime = {c.delivered, 2.0};
    run.accuracy = {c.delivered, 100.0};
    EXPECT_EQ(classify(run), c.outcome);
  }
}

}  // namespace
}  // namespace smstest
