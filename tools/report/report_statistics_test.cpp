// The report's statistics as the KPI builder and the writers carry them:
// ratio intervals against published Clopper-Pearson figures, the success
// rate, the per-group histogram in shared bins, the head's setup, the
// positions of the track map and the comparison of groups.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "testsupport/run_process.h"
#include "tools/report/comparison.h"
#include "tools/report/html_writer.h"
#include "tools/report/kpi.h"
#include "tools/report/report_test_support.h"
#include "tools/report/result_line.h"
#include "tools/report/track_map.h"

namespace smstest {
namespace {

// `sent` round trips of test `name`, of which `failedAccess` not sent and
// `failedCompletion` sent but not received; the completed ones take
// deliveryTime 1, 2, 3, ... seconds.
void add_runs(ReportBuilder* b, const std::string& name, int sent, int failedAccess,
              int failedCompletion, const std::string& latLong = "-") {
  for (int i = 0; i < sent; ++i) {
    std::string line;
    if (i < failedAccess) {
      line = "SMS_TEST,1," + name + ",d," + latLong +
             ",2,-Infinity,-Infinity,-Infinity,5.0,-Infinity,0";
    } else if (i < failedAccess + failedCompletion) {
      line = "SMS_TEST,1," + name + ",d," + latLong + ",2,1.0,-Infinity,-Infinity,60.0,-Infinity,0";
    } else {
      line = "SMS_TEST,1," + name + ",d," + latLong + ",0,1.0," + std::to_string(i + 1) +
             ".0,-Infinity,10.0,100,100";
    }
    RunRecord run;
    ASSERT_TRUE(parse_result_line(line, &run)) << line;
    b->add(run);
  }
}

// Reference figures: R's binom.test(x, n)$conf.int (Clopper-Pearson, 95 %).
TEST(ReportStatistics, RatioIntervalsMatchPublishedClopperPearsonFigures) {
  ReportBuilder b(GroupBy::kTestName, false);
  add_runs(&b, "A", 20, 3, 0);   // non-accessibility 3 of 20
  add_runs(&b, "B", 10, 0, 10);  // completion failure ratio 10 of 10
  const ReportBuilder::Result r = b.finish();
  const RoundTripKpis& a = r.groups[0].roundTrips;
  EXPECT_EQ(a.nonAccessibility.successes, 3);
  EXPECT_EQ(a.nonAccessibility.trials, 20);
  EXPECT_NEAR(a.nonAccessibility.interval.low, 0.03207094, 1e-7);
  EXPECT_NEAR(a.nonAccessibility.interval.high, 0.37892683, 1e-7);
  EXPECT_EQ(a.completed, 17);
  EXPECT_NEAR(*a.successRatePercent, 85.0, 1e-12);
  EXPECT_NEAR(a.successRate.interval.low, 1 - 0.37892683, 1e-7);
  const RoundTripKpis& bk = r.groups[1].roundTrips;
  EXPECT_NEAR(bk.completionFailureRatio.interval.low, 0.6915029, 1e-7);
  EXPECT_EQ(bk.completionFailureRatio.interval.high, 1.0);
  EXPECT_EQ(bk.successRate.ratio, 0.0);
  EXPECT_EQ(r.all.roundTrips.successRate.successes, 17);
  EXPECT_EQ(r.all.roundTrips.successRate.trials, 30);
}

TEST(ReportStatistics, HistogramBinsArePooledAndCountedPerGroup) {
  ReportBuilder b(GroupBy::kTestName, true);
  add_runs(&b, "B", 30, 0, 0);  // deliveryTime 1..30
  add_runs(&b, "A", 10, 2, 0);  // deliveryTime 3..10
  const ReportBuilder::Result r = b.finish();
  const DeliveryBins& bins = r.charts.deliveryBins;
  std::vector<double> pooled;
  for (int i = 1; i <= 30; ++i) pooled.push_back(i);
  for (int i = 3; i <= 10; ++i) pooled.push_back(i);
  std::sort(pooled.begin(), pooled.end());
  EXPECT_EQ(bins.binning.edges, bin_edges(pooled).edges);
  ASSERT_EQ(bins.groups.size(), 2u);  // A, then B: the groups' order
  size_t a = 0, total = 0;
  for (size_t i = 0; i < bins.all.size(); ++i) {
    EXPECT_EQ(bins.all[i], bins.groups[0][i] + bins.groups[1][i]) << "bin " << i;
    a += bins.groups[0][i];
    total += bins.all[i];
  }
  EXPECT_EQ(a, 8u);
  EXPECT_EQ(total, 38u);
  // The run chart knows each run's group by its index.
  for (const RunPoint& p : r.charts.runs) {
    if (!std::isnan(p.delivery) && p.delivery > 10) {
      EXPECT_EQ(p.group, 1u);
    }
  }
}

TEST(ReportStatistics, KeepsPositionsAndTheSetupOfTheHead) {
  ReportBuilder b(GroupBy::kTestName, true);
  add_runs(&b, "A", 3, 1, 0, "45.5N73.6W");
  add_runs(&b, "A", 2, 0, 0, "not a place");
  const ReportBuilder::Result r = b.finish();
  ASSERT_EQ(r.charts.positions.size(), 3u);
  EXPECT_EQ(r.charts.positions[0].outcome, Outcome::kAccessFailure);
  EXPECT_DOUBLE_EQ(r.charts.positions[0].longitude, -73.6);
  ASSERT_EQ(r.setup.places.size(), 2u);
  EXPECT_EQ(r.setup.places.at("45.5N73.6W"), 3);
  EXPECT_FALSE(r.setup.hasPeriod);  // result lines carry no start time
  EXPECT_TRUE(r.setup.cmdFiles.empty());
}

TEST(ReportStatistics, ComparesEachGroupWithTheLargest) {
  ReportBuilder b(GroupBy::kTestName, false);
  add_runs(&b, "A", 40, 20, 0);  // success 50 %
  add_runs(&b, "B", 100, 2, 0);  // success 98 %: the reference
  add_runs(&b, "C", 30, 1, 0);
  const ReportBuilder::Result r = b.finish();
  const Comparisons c = compare_groups(r.groups);
  ASSERT_TRUE(c.compared);
  EXPECT_EQ(c.reference, 1u);
  ASSERT_EQ(c.rows.size(), 6u);  // A and C, three ratios each
  EXPECT_EQ(c.rows[0].group, 0u);
  EXPECT_EQ(c.rows[0].ratio, ComparedRatio::kSuccessRate);
  EXPECT_NEAR(c.rows[0].difference.difference, 0.5 - 0.98, 1e-12);
  EXPECT_TRUE(c.rows[0].difference.differs);
  EXPECT_FALSE(c.rows[3].difference.differs);  // C vs B: 29/30 vs 98/100
  ReportBuilder one(GroupBy::kTestName, false);
  add_runs(&one, "A", 5, 0, 0);
  EXPECT_FALSE(compare_groups(one.finish().groups).compared);
}

TEST(ReportStatistics, FormatsTimesScalesAndMaskedNumbers) {
  EXPECT_EQ(utc_text(0), "1970-01-01 00:00:00 UTC");
  EXPECT_EQ(utc_text(1796724900), "2026-12-08 10:15:00 UTC");
  EXPECT_EQ(utc_text(951782400), "2000-02-29 00:00:00 UTC");
  EXPECT_EQ(mask_long_numbers("a_+4915112345678.cmd"), "a_+*********5678.cmd");
  EXPECT_EQ(mask_long_numbers("run123456.cmd"), "run123456.cmd");
  EXPECT_EQ(scale_bar_metres(730), 500);
  EXPECT_EQ(scale_bar_metres(2400), 2000);
  EXPECT_EQ(scale_bar_metres(99), 50);
  EXPECT_EQ(distance_label(2000), "2 km");
  EXPECT_EQ(distance_label(50), "50 m");
  EXPECT_EQ(track_map({}), "");
}

// The JSON output carries the same intervals as the module computes.
TEST(ReportStatistics, JsonCarriesTheIntervals) {
  const std::string dir = make_temp_dir("stats");
  std::vector<std::string> lines;
  for (int i = 0; i < 20; ++i) {
    lines.push_back(i < 3 ? "SMS_TEST,1,T,d,-,2,-Infinity,-Infinity,-Infinity,5.0,-Infinity,0"
                          : "SMS_TEST,1,T,d,-,0,1.0," + std::to_string(i) +
                                ".5,-Infinity,10.0,100,100");
  }
  ReportOptions o;
  o.inputs = {write_lines(dir, "r.csv", lines)};
  o.jsonPath = dir + "/r.json";
  o.csvPath = dir + "/r.csv.out";
  ASSERT_EQ(report_in_process(o).exitCode, 0);
  const nlohmann::json j = nlohmann::json::parse(read_file(o.jsonPath));
  const nlohmann::json& na = j["all"]["roundTrips"]["intervals"]["nonAccessibility"];
  Interval expected;
  ASSERT_TRUE(clopper_pearson_interval(3, 20, 0.95, &expected));
  EXPECT_EQ(na["status"], "ok");
  EXPECT_EQ(na["events"], 3);
  EXPECT_EQ(na["trials"], 20);
  EXPECT_NEAR(na["lowPercent"].get<double>(), expected.low * 100, 1e-6);
  EXPECT_NEAR(na["highPercent"].get<double>(), expected.high * 100, 1e-6);
  EXPECT_EQ(j["all"]["roundTrips"]["successRatePercent"], 85.0);
  // 17 delivery times 3.5 .. 19.5: the median's interval from the ranks.
  const nlohmann::json& dt = j["all"]["roundTrips"]["deliveryTime"]["intervals"];
  const RankInterval ranks = quantile_ranks(17, 0.5);
  EXPECT_EQ(dt["median"]["lowRank"], ranks.low);
  EXPECT_EQ(dt["median"]["low"].get<double>(), 2.5 + static_cast<double>(ranks.low));
  EXPECT_EQ(dt["p95"]["status"], "tooFewSamples");
  EXPECT_EQ(dt["p95"]["minSamples"], 59);
  EXPECT_EQ(j["statistics"]["ratioMethod"], "Clopper-Pearson");
  EXPECT_TRUE(j["comparison"].is_null());  // one group
  // The CSV keeps its first columns and appends the intervals.
  const std::string csv = read_file(o.csvPath);
  EXPECT_EQ(csv.compare(0, 39, "scope,key,runs,attempts,accessFailures,"), 0);
  EXPECT_NE(csv.find(",completed,successRatePercent,successRatePercent.low,"), std::string::npos);
  EXPECT_NE(csv.find("deliveryTime.p95.low,deliveryTime.p95.high"), std::string::npos);
}

}  // namespace
}  // namespace smstest
