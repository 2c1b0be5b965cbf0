#include "tools/report/distribution.h"

#include <gtest/gtest.h>

#include "tools/report/charts.h"

namespace smstest {
namespace {

// Expected figures worked out by hand with numpy's default method: the
// value at rank q * (n - 1), interpolated linearly.
TEST(Distribution, SummarisesOneTwoAndTenValues) {
  struct Figures {
    size_t n;
    double mean, min, median, p90, p95, p98, max;
  };
  struct Case {
    std::vector<double> values;
    Figures expected;
  } cases[] = {
      {{7}, {1, 7, 7, 7, 7, 7, 7, 7}},
      // ranks 0.5, 0.9, 0.95, 0.98 between 1 and 3
      {{3, 1}, {2, 2, 1, 2, 2.8, 2.9, 2.96, 3}},
      // 1..10 shuffled: ranks 4.5, 8.1, 8.55, 8.82
      {{4, 9, 1, 10, 2, 8, 3, 7, 5, 6}, {10, 5.5, 1, 5.5, 9.1, 9.55, 9.82, 10}},
      // equal values
      {{2.5, 2.5, 2.5}, {3, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}},
  };
  for (Case& c : cases) {
    const std::string label = ::testing::PrintToString(c.values);
    Distribution d = summarize(&c.values);
    EXPECT_EQ(d.n, c.expected.n) << label;
    EXPECT_NEAR(d.mean, c.expected.mean, 1e-12) << label;
    EXPECT_NEAR(d.min, c.expected.min, 1e-12) << label;
    EXPECT_NEAR(d.median, c.expected.median, 1e-12) << label;
    EXPECT_NEAR(d.p90, c.expected.p90, 1e-12) << label;
    EXPECT_NEAR(d.p95, c.expected.p95, 1e-12) << label;
    EXPECT_NEAR(d.p98, c.expected.p98, 1e-12) << label;
    EXPECT_NEAR(d.max, c.expected.max, 1e-12) << label;
    EXPECT_TRUE(std::is_sorted(c.values.begin(), c.values.end())) << label;
  }
}

// The percentiles' intervals are taken from the same sorted samples: the
// median of 1..10 lies between the 2nd and the 9th (the usual tables), the
// p95 of 10 samples has none (59 are needed), and 100 samples bracket it.
TEST(Distribution, KeepsThePercentilesIntervalsFromTheSortedSamples) {
  std::vector<double> ten = {40, 90, 10, 100, 20, 80, 30, 70, 50, 60};
  const Distribution d = summarize(&ten);
  ASSERT_EQ(d.medianInterval.status, IntervalStatus::kOk);
  EXPECT_EQ(d.medianInterval.interval.low, 20);
  EXPECT_EQ(d.medianInterval.interval.high, 90);
  EXPECT_EQ(d.p95Interval.status, IntervalStatus::kTooFewSamples);
  EXPECT_EQ(d.p95Interval.minSamples, 59u);
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);
  const Distribution h = summarize(&hundred);
  ASSERT_EQ(h.p95Interval.status, IntervalStatus::kOk);
  const QuantileInterval direct = quantile_interval(hundred, 0.95);
  EXPECT_EQ(h.p95Interval.interval.low, direct.interval.low);
  EXPECT_EQ(h.p95Interval.interval.high, direct.interval.high);
  EXPECT_LE(h.p95Interval.interval.low, h.p95);
  EXPECT_GE(h.p95Interval.interval.high, h.p95);
}

TEST(Distribution, NoValuesGiveAnEmptyDistribution) {
  std::vector<double> none;
  EXPECT_EQ(summarize(&none).n, 0u);
}

TEST(Distribution, PercentilesAtTheEndsAreTheExtremes) {
  const std::vector<double> sorted = {0.1, 0.2, 0.7, 40};
  EXPECT_EQ(percentile(sorted, 0), 0.1);
  EXPECT_EQ(percentile(sorted, 1), 40);
  // rank 2.25: a quarter of the way from 0.7 to 40
  EXPECT_NEAR(percentile(sorted, 0.75), 0.7 + 0.25 * 39.3, 1e-12);
  // rank 2.7 is nearer 40: interpolated from that end
  EXPECT_NEAR(percentile(sorted, 0.9), 40 - 0.3 * 39.3, 1e-12);
}

TEST(Distribution, SamplesTheCdfWithItsEnds) {
  std::vector<double> sorted;
  for (int i = 1; i <= 1000; ++i) sorted.push_back(i);
  auto points = cdf_points(sorted, 11);
  ASSERT_EQ(points.size(), 11u);
  EXPECT_EQ(points.front(), std::make_pair(1.0, 0.001));
  EXPECT_EQ(points.back(), std::make_pair(1000.0, 1.0));
  for (size_t i = 1; i < points.size(); ++i) {
    EXPECT_LT(points[i - 1].first, points[i].first);
    EXPECT_LT(points[i - 1].second, points[i].second);
  }
  // Equal values make one step as high as all of them.
  auto steps = cdf_points({1, 2, 2, 2, 3}, 100);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[1], std::make_pair(2.0, 0.8));
  EXPECT_TRUE(cdf_points({}, 10).empty());
  EXPECT_EQ(cdf_points({5}, 10), (std::vector<std::pair<double, double>>{{5.0, 1.0}}));
}

TEST(Distribution, BinsValuesFromTheLeastToTheGreatest) {
  Histogram h = make_histogram({1, 1.5, 2, 2, 3, 5}, 4);
  EXPECT_EQ(h.low, 1);
  EXPECT_EQ(h.width, 1);
  EXPECT_EQ(h.counts, (std::vector<size_t>{2, 2, 1, 1}));  // the last bin holds the maximum
  Histogram same = make_histogram({4, 4}, 10);
  EXPECT_EQ(same.counts, std::vector<size_t>{2});
  EXPECT_EQ(same.low, 3.5);
  EXPECT_TRUE(make_histogram({}, 10).counts.empty());
}

TEST(Distribution, AxisTicksAreRoundSteps) {
  struct Case {
    double low, high;
    int count;
    std::vector<double> ticks;
  } cases[] = {
      {0, 10, 5, {0, 2, 4, 6, 8, 10}},
      {0, 1, 5, {0, 0.2, 0.4, 0.6, 0.8, 1}},
      {3.2, 7.9, 8, {4, 5, 6, 7}},
      {3.2, 7.9, 10, {3.5, 4, 4.5, 5, 5.5, 6, 6.5, 7, 7.5}},
      {0, 1234, 5, {0, 500, 1000}},
      {-3, 3, 3, {-2, 0, 2}},
      {2, 2, 5, {2}},
  };
  for (const Case& c : cases) {
    std::vector<double> ticks = axis_ticks(c.low, c.high, c.count);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.low << " to " << c.high;
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_NEAR(ticks[i], c.ticks[i], 1e-12) << c.low << " to " << c.high << " tick " << i;
    }
  }
}

}  // namespace
}  // namespace smstest
