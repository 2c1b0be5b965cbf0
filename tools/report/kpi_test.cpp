// KPIs of small sets of runs, worked out by hand.
#include "tools/report/kpi.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tools/report/campaign_file.h"
#include "tools/report/csv_reader.h"
#include "tools/report/report_test_support.h"
#include "tools/report/result_line.h"

namespace smstest {
namespace {

RunRecord result_run(const std::string& line) {
  RunRecord run;
  EXPECT_TRUE(parse_result_line(line, &run)) << line;
  return run;
}

ReportBuilder::Result build(const std::vector<std::string>& lines, GroupBy by = GroupBy::kTestName,
                            bool charts = false) {
  ReportBuilder builder(by, charts);
  for (const std::string& line : lines) builder.add(result_run(line));
  return builder.finish();
}

const GroupReport* group(const ReportBuilder::Result& r, const std::string& key) {
  for (const GroupReport& g : r.groups) {
    if (g.key == key) return &g;
  }
  ADD_FAILURE() << "no group " << key;
  return nullptr;
}

void expect_distribution(const Distribution& d, std::vector<double> expected,
                         const std::string& what) {
  ASSERT_EQ(d.n, expected.size()) << what;
  if (d.n == 0) return;
  Distribution e = summarize(&expected);
  EXPECT_NEAR(d.mean, e.mean, 1e-9) << what;
  EXPECT_NEAR(d.min, e.min, 1e-9) << what;
  EXPECT_NEAR(d.median, e.median, 1e-9) << what;
  EXPECT_NEAR(d.p95, e.p95, 1e-9) << what;
  EXPECT_NEAR(d.max, e.max, 1e-9) << what;
}

// Every combination of taken and missing measures that a result line can
// carry, and how each counts.
TEST(Kpi, ClassifiesEveryKindOfResultLine) {
  struct Case {
    const char* what;
    const char* line;
    Outcome outcome;
  } cases[] = {
      {"only the path set", "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0",
       Outcome::kAccessFailure},
      {"success",
       "SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100",
       Outcome::kCompleted},
      {"accuracy below 100", "SMS_TEST,1,T,d,-,0,2.000000,8.000000,-Infinity,11.000000,93,100",
       Outcome::kCompletionFailure},
      {"accuracy 0", "SMS_TEST,1,T,d,-,0,2.000000,8.000000,-Infinity,11.000000,0,100",
       Outcome::kCompletionFailure},
      {"totalTime not taken", "SMS_TEST,1,T,d,-,0,2.000000,8.000000,-Infinity,-Infinity,100,100",
       Outcome::kCompleted},
      {"reflector reply", "SMS_TEST,1,R,d,-,2,0.400000,-Infinity,2.500000,9.000000,-Infinity,0",
       Outcome::kReply},
      {"reply without send time",
       "SMS_TEST,1,R,d,-,2,-Infinity,-Infinity,2.500000,9.000000,-Infinity,0", Outcome::kReply},
      {"failure before the send",
       "SMS_TEST,1,T,d,-,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0",
       Outcome::kAccessFailure},
      {"failure after the send", "SMS_TEST,1,T,d,-,2,2.000000,-Infinity,-Infinity,35.0,-Infinity,0",
       Outcome::kCompletionFailure},
      {"only sendTime missing", "SMS_TEST,1,T,d,-,2,-Infinity,8.000000,-Infinity,11.0,100,0",
       Outcome::kAccessFailure},
      {"only deliveryTime missing", "SMS_TEST,1,T,d,-,2,2.000000,-Infinity,-Infinity,11.0,100,0",
       Outcome::kCompletionFailure},
      {"only accuracy missing", "SMS_TEST,1,T,d,-,0,2.000000,8.000000,-Infinity,11.0,-Infinity,100",
       Outcome::kCompletionFailure},
      // Zero counts as a measure; a negative one makes the line unreadable
      // (input_guard_test.cpp).
      {"a measure of any value counts", "SMS_TEST,1,T,d,-,0,0.000000,0.000000,-Infinity,1,100,100",
       Outcome::kCompleted},
  };
  for (const Case& c : cases) {
    const RunRecord run = result_run(c.line);
    EXPECT_EQ(classify(run), c.outcome) << c.what;
    const ReportBuilder::Result r = build({c.line});
    const RoundTripKpis& rt = r.all.roundTrips;
    const bool roundTrip = c.outcome != Outcome::kReply;
    EXPECT_EQ(r.all.runs, 1) << c.what;
    EXPECT_EQ(rt.attempts, roundTrip ? 1 : 0) << c.what;
    EXPECT_EQ(rt.accessFailures, c.outcome == Outcome::kAccessFailure ? 1 : 0) << c.what;
    EXPECT_EQ(rt.completionFailures, c.outcome == Outcome::kCompletionFailure ? 1 : 0) << c.what;
    EXPECT_EQ(
        rt.accessDelay.n,
        c.outcome == Outcome::kCompleted || c.outcome == Outcome::kCompletionFailure ? 1u : 0u)
        << c.what;
    EXPECT_EQ(rt.deliveryTime.n, c.outcome == Outcome::kCompleted ? 1u : 0u) << c.what;
    EXPECT_EQ(rt.endToEndTime.n, c.outcome == Outcome::kCompleted ? 1u : 0u) << c.what;
    EXPECT_EQ(r.all.reflector.replies, roundTrip ? 0 : 1) << c.what;
    EXPECT_EQ(r.all.reflector.replyTime.n, roundTrip ? 0u : 1u) << c.what;
    // One run: each ratio is 0 or 100, or has no value.
    EXPECT_EQ(rt.nonAccessibilityPercent.has_value(), roundTrip) << c.what;
    EXPECT_EQ(rt.completionFailureRatioPercent.has_value(),
              roundTrip && c.outcome != Outcome::kAccessFailure)
        << c.what;
    EXPECT_TRUE(r.all.failureCauses.empty()) << c.what;  // result lines carry no causes
  }
}

// Seven round trips of T, one of the empty name, one reflector run of R.
const std::vector<std::string> kMixed = {
    "SMS_TEST,1,T,d1,45N73W,0,2.000000,8.000000,-Infinity,11.000000,100,100",       // completed
    "SMS_TEST,1,T,d2,45N73W,0,1.000000,4.000000,-Infinity,6.000000,100,100",        // completed
    "SMS_TEST,1,T,d3,45N73W,0,3.000000,6.000000,-Infinity,10.000000,80,100",        // corrupted
    "SMS_TEST,1,T,d4,45N73W,2,4.000000,-Infinity,-Infinity,35.000000,-Infinity,0",  // lost
    "SMS_TEST,1,T,d5,45N73W,2,-Infinity,-Infinity,-Infinity,1.000000,-Infinity,0",  // not sent
    "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0",          // not sent
    "SMS_TEST,1,R,d7,x,2,0.500000,-Infinity,3.000000,9.000000,-Infinity,0",         // reply
    "SMS_TEST,1,T,d8,46N73W,0,2.000000,6.000000,-Infinity,-Infinity,100,100",       // completed
    "SMS_TEST,1,T,d9,46N73W,2,-Infinity,5.000000,-Infinity,7.000000,100,0",         // not sent
};

TEST(Kpi, WorksOutAMixedResultFileByHand) {
  const ReportBuilder::Result r = build(kMixed);
  ASSERT_EQ(r.groups.size(), 3u);
  EXPECT_EQ(r.groups[0].key, "");  // groups in byte order of their keys
  EXPECT_EQ(r.groups[1].key, "R");
  EXPECT_EQ(r.groups[2].key, "T");

  const GroupReport& t = *group(r, "T");
  EXPECT_EQ(t.runs, 7);
  EXPECT_EQ(t.roundTrips.attempts, 7);
  EXPECT_EQ(t.roundTrips.accessFailures, 2);
  EXPECT_EQ(t.roundTrips.accessible, 5);
  EXPECT_EQ(t.roundTrips.completionFailures, 2);
  EXPECT_NEAR(*t.roundTrips.nonAccessibilityPercent, 200.0 / 7, 1e-12);
  EXPECT_NEAR(*t.roundTrips.completionFailureRatioPercent, 40, 1e-12);
  // accessDelay {1, 2, 2, 3, 4}: ranks 2, 3.6, 3.8, 3.92
  const Distribution& a = t.roundTrips.accessDelay;
  EXPECT_EQ(a.n, 5u);
  EXPECT_NEAR(a.mean, 2.4, 1e-12);
  EXPECT_NEAR(a.min, 1, 1e-12);
  EXPECT_NEAR(a.median, 2, 1e-12);
  EXPECT_NEAR(a.p90, 3.6, 1e-12);
  EXPECT_NEAR(a.p95, 3.8, 1e-12);
  EXPECT_NEAR(a.p98, 3.92, 1e-12);
  EXPECT_NEAR(a.max, 4, 1e-12);
  // deliveryTime {4, 6, 8}: ranks 1, 1.8, 1.9, 1.96
  const Distribution& d = t.roundTrips.deliveryTime;
  EXPECT_EQ(d.n, 3u);
  EXPECT_NEAR(d.mean, 6, 1e-12);
  EXPECT_NEAR(d.median, 6, 1e-12);
  EXPECT_NEAR(d.p90, 7.6, 1e-12);
  EXPECT_NEAR(d.p95, 7.8, 1e-12);
  EXPECT_NEAR(d.p98, 7.92, 1e-12);
  // endToEndTime {5, 8, 10}
  const Distribution& e = t.roundTrips.endToEndTime;
  EXPECT_EQ(e.n, 3u);
  EXPECT_NEAR(e.mean, 23.0 / 3, 1e-12);
  EXPECT_NEAR(e.min, 5, 1e-12);
  EXPECT_NEAR(e.median, 8, 1e-12);
  EXPECT_NEAR(e.p90, 9.6, 1e-12);
  EXPECT_NEAR(e.max, 10, 1e-12);
  EXPECT_EQ(t.reflector.replies, 0);
  EXPECT_EQ(t.reflector.replyTime.n, 0u);

  // The empty name: one access failure, nothing accessible.
  const GroupReport& empty = *group(r, "");
  EXPECT_EQ(empty.roundTrips.attempts, 1);
  EXPECT_NEAR(*empty.roundTrips.nonAccessibilityPercent, 100, 1e-12);
  EXPECT_EQ(empty.roundTrips.accessible, 0);
  EXPECT_FALSE(empty.roundTrips.completionFailureRatioPercent.has_value());
  EXPECT_EQ(empty.roundTrips.accessDelay.n, 0u);

  // R: a group without round trips has no ratios at all.
  const GroupReport& refl = *group(r, "R");
  EXPECT_EQ(refl.runs, 1);
  EXPECT_EQ(refl.roundTrips.attempts, 0);
  EXPECT_FALSE(refl.roundTrips.nonAccessibilityPercent.has_value());
  EXPECT_FALSE(refl.roundTrips.completionFailureRatioPercent.has_value());
  EXPECT_EQ(refl.reflector.replies, 1);
  EXPECT_EQ(refl.reflector.replyTime.n, 1u);
  EXPECT_NEAR(refl.reflector.replyTime.median, 3, 1e-12);
  EXPECT_NEAR(refl.reflector.replyTime.p98, 3, 1e-12);

  // All: 8 attempts, 3 not sent, 5 accessible, 2 of them not completed.
  const RoundTripKpis& all = r.all.roundTrips;
  EXPECT_EQ(r.all.runs, 9);
  EXPECT_EQ(all.attempts, 8);
  EXPECT_EQ(all.accessFailures, 3);
  EXPECT_EQ(all.accessible, 5);
  EXPECT_EQ(all.completionFailures, 2);
  EXPECT_NEAR(*all.nonAccessibilityPercent, 37.5, 1e-12);
  EXPECT_NEAR(*all.completionFailureRatioPercent, 40, 1e-12);
  EXPECT_NEAR(all.accessDelay.p90, 3.6, 1e-12);
  EXPECT_NEAR(all.deliveryTime.median, 6, 1e-12);
  EXPECT_EQ(r.all.reflector.replies, 1);
}

TEST(Kpi, AllRunsPoolTheValuesOfEveryGroup) {
  const ReportBuilder::Result r = build({
      "SMS_TEST,1,A,d,-,0,1.000000,1.000000,-Infinity,3.0,100,100",
      "SMS_TEST,1,B,d,-,0,1.000000,2.000000,-Infinity,3.0,100,100",
      "SMS_TEST,1,A,d,-,0,1.000000,3.000000,-Infinity,3.0,100,100",
      "SMS_TEST,1,B,d,-,0,1.000000,10.000000,-Infinity,3.0,100,100",
      "SMS_TEST,1,C,d,-,2,0.200000,-Infinity,4.000000,3.0,-Infinity,0",
      "SMS_TEST,1,C,d,-,2,0.200000,-Infinity,6.000000,3.0,-Infinity,0",
  });
  expect_distribution(group(r, "A")->roundTrips.deliveryTime, {1, 3}, "A");
  expect_distribution(group(r, "B")->roundTrips.deliveryTime, {2, 10}, "B");
  expect_distribution(r.all.roundTrips.deliveryTime, {1, 2, 3, 10}, "all");
  expect_distribution(r.all.roundTrips.endToEndTime, {2, 3, 4, 11}, "all e2e");
  expect_distribution(r.all.reflector.replyTime, {4, 6}, "all replies");
  // 1, 2, 3, 10: median 2.5, p95 at rank 2.85
  EXPECT_NEAR(r.all.roundTrips.deliveryTime.median, 2.5, 1e-12);
  EXPECT_NEAR(r.all.roundTrips.deliveryTime.p95, 3 + 0.85 * 7, 1e-12);
}

TEST(Kpi, NothingAddedIsAnEmptyReport) {
  ReportBuilder builder(GroupBy::kTestName, true);
  const ReportBuilder::Result r = builder.finish();
  EXPECT_TRUE(r.groups.empty());
  EXPECT_EQ(r.all.runs, 0);
  EXPECT_EQ(r.all.roundTrips.attempts, 0);
  EXPECT_FALSE(r.all.roundTrips.nonAccessibilityPercent.has_value());
  EXPECT_FALSE(r.all.roundTrips.completionFailureRatioPercent.has_value());
  EXPECT_EQ(r.all.roundTrips.deliveryTime.n, 0u);
  EXPECT_TRUE(r.all.endToEndCdf.empty());
  EXPECT_TRUE(r.charts.runs.empty());
  EXPECT_TRUE(r.charts.deliveryBins.all.empty());
}

TEST(Kpi, GroupsByLatLong) {
  const ReportBuilder::Result r = build(kMixed, GroupBy::kLatLong);
  ASSERT_EQ(r.groups.size(), 4u);
  EXPECT_EQ(group(r, "45N73W")->runs, 5);
  EXPECT_EQ(group(r, "46N73W")->runs, 2);
  EXPECT_EQ(group(r, "46N73W")->roundTrips.accessFailures, 1);
  EXPECT_EQ(group(r, "x")->reflector.replies, 1);
  EXPECT_EQ(group(r, "")->runs, 1);
}

// A campaign written by hand: failure causes, modes from the mode column,
// groups by command file, and the run order of the delivery chart.
class CampaignKpi : public ::testing::Test {
 protected:
  ReportBuilder::Result build_campaign(GroupBy by) {
    CampaignColumns columns;
    std::vector<std::string> fields;
    EXPECT_TRUE(split_csv_record(kCampaignHeader, &fields));
    EXPECT_TRUE(columns.read_header(fields));
    ReportBuilder builder(by, true);
    const char* const rows[] = {
        "1,a.cmd,A,2026-12-08T10:15:30Z,2026-12-08T10:15:41Z,0,0,SUCCESS,2.000000,7.000000,"
        "-Infinity,11.000000,100,round-trip",
        "2,a.cmd,A,2026-12-08T10:15:00Z,2026-12-08T10:15:05Z,2,2,\"Cannot send SMS\",-Infinity,"
        "-Infinity,-Infinity,5.000000,-Infinity,round-trip",
        "3,b.cmd,B,2026-12-08T10:15:10Z,,2,2,\"No answer, modem \"\"COM4\"\" silent\",2.000000,"
        "-Infinity,-Infinity,60.000000,-Infinity,round-trip",
        "4,b.cmd,B,2026-12-08T10:15:20Z,,2,2,Cannot send SMS,-Infinity,-Infinity,-Infinity,"
        "5.000000,-Infinity,round-trip",
        "5,a.cmd,A,2026-12-08T10:16:00Z,,0,2,Accuracy not 100,1.000000,5.000000,-Infinity,"
        "8.000000,50,round-trip",
        "6,r.cmd,R,2026-12-08T10:15:00Z,,0,0,SUCCESS,0.400000,-Infinity,2.500000,9.000000,"
        "-Infinity,reflector",
        "7,r.cmd,R,2026-12-08T10:17:00Z,,2,,,,,,,,reflector",
    };
    for (const char* row : rows) {
      RunRecord run;
      EXPECT_TRUE(split_csv_record(row, &fields)) << row;
      EXPECT_TRUE(columns.parse_row(fields, &run)) << row;
      builder.add(run);
    }
    return builder.finish();
  }
};

TEST_F(CampaignKpi, CountsFailureCausesMostFrequentFirst) {
  const ReportBuilder::Result r = build_campaign(GroupBy::kTestName);
  const std::vector<FailureCause>& causes = r.all.failureCauses;
  ASSERT_EQ(causes.size(), 4u);
  EXPECT_EQ(causes[0].text, "Cannot send SMS");
  EXPECT_EQ(causes[0].count, 2);
  // Equal counts in byte order of their texts.
  EXPECT_EQ(causes[1].text, "Accuracy not 100");
  EXPECT_EQ(causes[2].text, "No answer, modem \"COM4\" silent");
  EXPECT_EQ(causes[3].text, "no status text (exit code 2)");
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(causes[i].count, 1);

  const GroupReport& a = *group(r, "A");
  ASSERT_EQ(a.failureCauses.size(), 2u);
  EXPECT_EQ(a.failureCauses[0].text, "Accuracy not 100");
  EXPECT_EQ(a.failureCauses[1].text, "Cannot send SMS");
  EXPECT_EQ(a.roundTrips.attempts, 3);
  EXPECT_EQ(a.roundTrips.accessFailures, 1);
  EXPECT_EQ(a.roundTrips.completionFailures, 1);  // accuracy 50

  // The mode column decides: a reflector run without a reply is no round trip.
  const GroupReport& refl = *group(r, "R");
  EXPECT_EQ(refl.runs, 2);
  EXPECT_EQ(refl.roundTrips.attempts, 0);
  EXPECT_EQ(refl.reflector.replies, 1);
  EXPECT_EQ(r.all.roundTrips.attempts, 5);
}

TEST_F(CampaignKpi, GroupsByCommandFile) {
  const ReportBuilder::Result r = build_campaign(GroupBy::kCmdFile);
  ASSERT_EQ(r.groups.size(), 3u);
  EXPECT_EQ(r.groups[0].key, "a.cmd");
  EXPECT_EQ(r.groups[0].runs, 3);
  EXPECT_EQ(r.groups[1].key, "b.cmd");
  EXPECT_EQ(r.groups[1].roundTrips.accessFailures, 1);
  EXPECT_EQ(r.groups[2].key, "r.cmd");
}

TEST_F(CampaignKpi, OrdersTheRunChartByStartTime) {
  const ReportBuilder::Result r = build_campaign(GroupBy::kTestName);
  // Round trips only, by start: run 2 (10:15:00), 3, 4, 1 (10:15:30), 5.
  const std::vector<RunPoint>& runs = r.charts.runs;
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_TRUE(std::isnan(runs[0].delivery));
  EXPECT_TRUE(std::isnan(runs[1].delivery));
  EXPECT_TRUE(std::isnan(runs[2].delivery));
  EXPECT_EQ(runs[3].delivery, 7.0f);
  EXPECT_TRUE(std::isnan(runs[4].delivery));  // corrupted: not completed
  for (size_t i = 1; i < runs.size(); ++i) EXPECT_LE(runs[i - 1].start, runs[i].start);
  EXPECT_EQ(r.charts.deliveryBins.all, std::vector<size_t>{1});
}

TEST(Kpi, RunChartKeepsResultLinesInReadingOrderBeforeCampaignRuns) {
  ReportBuilder builder(GroupBy::kTestName, true);
  RunRecord late = result_run("SMS_TEST,1,T,d,-,0,1.0,3.0,-Infinity,5.0,100,100");
  late.fromCampaign = true;
  late.hasStart = true;
  late.startSeconds = 100;
  RunRecord early = late;
  early.startSeconds = 50;
  early.deliveryTime.value = 2;
  builder.add(late);
  builder.add(result_run("SMS_TEST,1,T,d,-,0,1.0,9.0,-Infinity,5.0,100,100"));
  builder.add(early);
  builder.add(result_run("SMS_TEST,1,T,d,-,0,1.0,8.0,-Infinity,5.0,100,100"));
  const std::vector<RunPoint> runs = builder.finish().charts.runs;
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].delivery, 9.0f);
  EXPECT_EQ(runs[1].delivery, 8.0f);
  EXPECT_EQ(runs[2].delivery, 2.0f);
  EXPECT_EQ(runs[3].delivery, 3.0f);
}

TEST(Kpi, KeepsNoChartDataUnlessAsked) {
  const ReportBuilder::Result r = build(kMixed, GroupBy::kTestName, false);
  EXPECT_TRUE(r.charts.runs.empty());
  EXPECT_TRUE(r.all.endToEndCdf.empty());
  const ReportBuilder::Result withCharts = build(kMixed, GroupBy::kTestName, true);
  EXPECT_EQ(withCharts.charts.runs.size(), 8u);  // the round trips
  EXPECT_EQ(withCharts.all.endToEndCdf.back(), std::make_pair(10.0, 1.0));
}

}  // namespace
}  // namespace smstest
