#include "tools/report/confidence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/report/incomplete_beta.h"

namespace smstest {
namespace {

// The reference figures below come from tools/report/stats_reference.py
// (mpmath 1.3.0, 50 digits), which computes them without the code under
// test: Clopper-Pearson bounds by solving the binomial tail sums, not
// through the incomplete beta function; Wilson and Newcombe from their
// closed forms; order-statistic ranks in exact rational arithmetic.  They
// agree with the published figures where there are some: R's
// binom.test(1, 10) gives 0.002528579 to 0.445016117, binom.test(10, 20)
// 0.2719578 to 0.7280422; Newcombe's paper (Table II, method 10) 0.0524 to
// 0.3339 for 56/70 - 48/80, 0.1705 to 0.8090 for 9/10 - 3/10.

std::string counts_label(long long k, long long n) {
  return std::to_string(k) + " of " + std::to_string(n);
}

TEST(RatioInterval, MatchesTheReferenceForEveryMethod) {
  struct Case {
    long long k, n;
    double cpLow, cpHigh, wLow, wHigh, wcLow, wcHigh;
  } cases[] = {
      {0, 1, 0.0, 0.975, 0.0, 0.79345068562276261, 0.0, 0.94537924447114804},
      {1, 1, 0.025, 1.0, 0.20654931437723739, 1.0, 0.054620755528851959, 1.0},
      {0, 10, 0.0, 0.30849710781876082, 0.0, 0.27753279986288925, 0.0, 0.3445372183069226},
      {1, 10, 0.0025285785444617845, 0.44501611702819542, 0.017876213095072904, 0.4041500267952385,
       0.0052423015696777235, 0.45884601615665617},
      {5, 10, 0.18708602844739853, 0.81291397155260147, 0.23659309051256398, 0.76340690948743602,
       0.20142296959860716, 0.79857703040139284},
      {10, 20, 0.27195784956079181, 0.72804215043920819, 0.29929800819821233, 0.70070199180178767,
       0.27853670242073215, 0.72146329757926785},
      {3, 100, 0.0062299715383063945, 0.085176052974280035, 0.010254524024038922,
       0.084519364290527621, 0.0077798349961323334, 0.091513087095325439},
      {50, 100, 0.39832112950330098, 0.60167887049669902, 0.40383153036599563, 0.59616846963400437,
       0.39902112851159325, 0.60097887148840675},
      {999, 1000, 0.99444107572017333, 0.99997468251250871, 0.99435744140204206,
       0.99982345362937392, 0.99353121495317452, 0.9999477976445573},
      {1, 1000, 0.000025317487491294043, 0.0055589242798266729, 0.00017654637062607801,
       0.0056425585979579359, 0.000052202355442703514, 0.0064687850468254806},
      {0, 1000, 0.0, 0.0036820838968656721, 0.0, 0.0038267584855551241, 0.0, 0.0047707293716268655},
      {7, 7, 0.59038360277499654, 1.0, 0.64566956493331254, 1.0, 0.56093387189199342, 1.0},
      {2, 3, 0.094299324050246077, 0.99159624134038736, 0.20765960080204772, 0.93850805527960377,
       0.12533447191026316, 0.98234720572134651},
  };
  constexpr double kTolerance = 1e-10;
  for (const Case& c : cases) {
    const std::string label = counts_label(c.k, c.n);
    Interval cp, w, wc;
    ASSERT_TRUE(clopper_pearson_interval(c.k, c.n, 0.95, &cp)) << label;
    ASSERT_TRUE(wilson_interval(c.k, c.n, 0.95, false, &w)) << label;
    ASSERT_TRUE(wilson_interval(c.k, c.n, 0.95, true, &wc)) << label;
    EXPECT_NEAR(cp.low, c.cpLow, kTolerance) << label;
    EXPECT_NEAR(cp.high, c.cpHigh, kTolerance) << label;
    EXPECT_NEAR(w.low, c.wLow, kTolerance) << label;
    EXPECT_NEAR(w.high, c.wHigh, kTolerance) << label;
    EXPECT_NEAR(wc.low, c.wcLow, kTolerance) << label;
    EXPECT_NEAR(wc.high, c.wcHigh, kTolerance) << label;
  }
}

TEST(RatioInterval, EndsAreExactAtZeroAndAllSuccesses) {
  for (long long n : {1LL, 2LL, 13LL, 500LL, 100000LL}) {
    const std::string label = std::to_string(n);
    Interval none, all;
    ASSERT_TRUE(clopper_pearson_interval(0, n, 0.95, &none));
    ASSERT_TRUE(clopper_pearson_interval(n, n, 0.95, &all));
    EXPECT_EQ(none.low, 0.0) << label;
    EXPECT_EQ(all.high, 1.0) << label;
    // Closed forms at the ends: 1 - (alpha/2)^(1/n) and (alpha/2)^(1/n).
    const double edge = std::pow(0.025, 1.0 / static_cast<double>(n));
    EXPECT_NEAR(none.high, 1 - edge, 1e-12) << label;
    EXPECT_NEAR(all.low, edge, 1e-12) << label;
  }
}

TEST(RatioInterval, RefusesCountsWithoutAnInterval) {
  struct Case {
    long long k, n;
  } cases[] = {{0, 0}, {1, 0}, {-1, 5}, {6, 5}, {0, -3}};
  for (const Case& c : cases) {
    Interval out{-7, -7};
    EXPECT_FALSE(clopper_pearson_interval(c.k, c.n, 0.95, &out)) << counts_label(c.k, c.n);
    EXPECT_FALSE(wilson_interval(c.k, c.n, 0.95, false, &out)) << counts_label(c.k, c.n);
    EXPECT_FALSE(wilson_interval(c.k, c.n, 0.95, true, &out)) << counts_label(c.k, c.n);
    EXPECT_EQ(out.low, -7) << "left alone";
    EXPECT_EQ(estimate_ratio(c.k, c.n).status, IntervalStatus::kNoSamples)
        << counts_label(c.k, c.n);
  }
}

TEST(RatioInterval, EstimateCarriesCountsRatioAndExactInterval) {
  const RatioEstimate r = estimate_ratio(3, 100);
  EXPECT_EQ(r.status, IntervalStatus::kOk);
  EXPECT_EQ(r.successes, 3);
  EXPECT_EQ(r.trials, 100);
  EXPECT_DOUBLE_EQ(r.ratio, 0.03);
  EXPECT_NEAR(r.interval.low, 0.0062299715383063945, 1e-10);
  EXPECT_NEAR(r.interval.high, 0.085176052974280035, 1e-10);
  // A wider confidence widens the interval on both sides.
  const RatioEstimate wide = estimate_ratio(3, 100, 0.99);
  EXPECT_LT(wide.interval.low, r.interval.low);
  EXPECT_GT(wide.interval.high, r.interval.high);
  EXPECT_STREQ(interval_status_name(r.status), "ok");
  EXPECT_STREQ(interval_status_name(IntervalStatus::kTooFewSamples), "tooFewSamples");
}

TEST(RatioDifference, MatchesNewcombesHybridScoreInterval) {
  struct Case {
    long long k1, n1, k2, n2;
    double difference, low, high;
    bool differs;
  } cases[] = {
      {56, 70, 48, 80, 0.2, 0.052431472402364878, 0.33387265403690598, true},
      {9, 10, 3, 10, 0.6, 0.17052272393450288, 0.80901797353548798, true},
      {6, 7, 2, 7, 0.57142857142857143, 0.058227927482312202, 0.80624963752422776, true},
      {5, 56, 0, 29, 0.089285714285714286, -0.038137147903536903, 0.19256001385511162, false},
      {0, 10, 0, 20, 0.0, -0.16112515805281939, 0.27753279986288925, false},
      {10, 10, 0, 20, 1.0, 0.67908603714191467, 1.0, true},
      {97, 100, 90, 100, 0.07, -0.00054637659706610002, 0.14694241634222715, false},
  };
  for (const Case& c : cases) {
    const std::string label = counts_label(c.k1, c.n1) + " - " + counts_label(c.k2, c.n2);
    const RatioDifference d = compare_ratios(c.k1, c.n1, c.k2, c.n2);
    ASSERT_EQ(d.status, IntervalStatus::kOk) << label;
    EXPECT_NEAR(d.difference, c.difference, 1e-12) << label;
    EXPECT_NEAR(d.interval.low, c.low, 1e-10) << label;
    EXPECT_NEAR(d.interval.high, c.high, 1e-10) << label;
    EXPECT_EQ(d.differs, c.differs) << label;
    // Swapping the groups mirrors the interval.
    const RatioDifference swapped = compare_ratios(c.k2, c.n2, c.k1, c.n1);
    EXPECT_NEAR(swapped.interval.low, -c.high, 1e-10) << label;
    EXPECT_NEAR(swapped.interval.high, -c.low, 1e-10) << label;
  }
}

TEST(RatioDifference, OverlapOfTheShownIntervalsIsNotTheSameAsNoDifference) {
  // 56/70 against 48/80: exact intervals 0.688-0.886 and 0.484-0.709 share
  // a stretch, yet the difference's interval stays clear of 0.
  const RatioDifference close = compare_ratios(56, 70, 48, 80);
  EXPECT_TRUE(close.intervalsOverlap);
  EXPECT_TRUE(close.differs);
  // 10/10 against 0/20: far apart.
  EXPECT_FALSE(compare_ratios(10, 10, 0, 20).intervalsOverlap);
  // Equal ratios overlap and do not differ.
  const RatioDifference same = compare_ratios(30, 100, 60, 200);
  EXPECT_TRUE(same.intervalsOverlap);
  EXPECT_FALSE(same.differs);
  // A group without trials: nothing to compare.
  EXPECT_EQ(compare_ratios(3, 10, 0, 0).status, IntervalStatus::kNoSamples);
  EXPECT_EQ(compare_ratios(0, 0, 3, 10).status, IntervalStatus::kNoSamples);
}

TEST(QuantileInterval, RanksMatchTheExactBinomialTables) {
  struct Case {
    size_t n;
    double q;
    size_t low, high;  // 0, 0: too few samples
    double coverage;
  } cases[] = {
      {5, 0.5, 0, 0, 0},
      {6, 0.5, 1, 6, 0.96875},
      {10, 0.5, 2, 9, 0.978515625},
      {20, 0.5, 6, 15, 0.95861053466796875},
      {100, 0.5, 40, 61, 0.96479979978229518},
      {28, 0.9, 0, 0, 0},
      {29, 0.9, 21, 29, 0.95134852618938513},
      {100, 0.9, 84, 96, 0.95569010719122309},
      {58, 0.95, 0, 0, 0},
      {59, 0.95, 50, 59, 0.95086186383588603},
      {72, 0.95, 64, 72, 0.96549004790837384},
      {200, 0.95, 184, 197, 0.96715216385672571},
      {148, 0.98, 0, 0, 0},
      {149, 0.98, 139, 149, 0.95049277771877777},
      {500, 0.98, 483, 497, 0.97679676755795467},
  };
  for (const Case& c : cases) {
    const std::string label = "n " + std::to_string(c.n) + " q " + std::to_string(c.q);
    const RankInterval r = quantile_ranks(c.n, c.q);
    if (c.low == 0) {
      EXPECT_EQ(r.status, IntervalStatus::kTooFewSamples) << label;
      continue;
    }
    ASSERT_EQ(r.status, IntervalStatus::kOk) << label;
    EXPECT_EQ(r.low, c.low) << label;
    EXPECT_EQ(r.high, c.high) << label;
    EXPECT_NEAR(r.coverage, c.coverage, 1e-10) << label;
  }
}

TEST(QuantileInterval, MinimumSamplesAreWhereTheRanksStart) {
  struct Case {
    double q;
    size_t n;
  } cases[] = {{0.5, 6}, {0.9, 29}, {0.95, 59}, {0.98, 149}, {0.1, 29}};
  for (const Case& c : cases) {
    const std::string label = "q " + std::to_string(c.q);
    EXPECT_EQ(min_samples_for_quantile(c.q), c.n) << label;
    EXPECT_EQ(quantile_ranks(c.n - 1, c.q).status, IntervalStatus::kTooFewSamples) << label;
    EXPECT_EQ(quantile_ranks(c.n, c.q).status, IntervalStatus::kOk) << label;
  }
  EXPECT_EQ(min_samples_for_quantile(0), 0u);
  EXPECT_EQ(min_samples_for_quantile(1), 0u);
  EXPECT_EQ(min_samples_for_quantile(0.5, 1.0), 0u);
}

TEST(QuantileInterval, CoverageHoldsAndTailsStayEqualWherePossible) {
  // Over a sweep of counts: every interval reaches 95 %, and where both
  // equal tails exist neither exceeds 2.5 %.
  for (double q : {0.5, 0.9, 0.95, 0.98}) {
    for (size_t n = 1; n <= 400; n += 7) {
      const std::string label = "n " + std::to_string(n) + " q " + std::to_string(q);
      const RankInterval r = quantile_ranks(n, q);
      if (n < min_samples_for_quantile(q)) {
        EXPECT_EQ(r.status, IntervalStatus::kTooFewSamples) << label;
        continue;
      }
      ASSERT_EQ(r.status, IntervalStatus::kOk) << label;
      ASSERT_LT(r.low, r.high) << label;
      ASSERT_LE(r.high, n) << label;
      EXPECT_GE(r.coverage, 0.95) << label;
      const auto count = static_cast<long long>(n);
      const double lowerTail = binomial_cdf(static_cast<long long>(r.low) - 1, count, q);
      const double upperTail = 1 - binomial_cdf(static_cast<long long>(r.high) - 1, count, q);
      if (r.low > 1 && r.high < n) {
        EXPECT_LE(lowerTail, 0.025) << label;
        EXPECT_LE(upperTail, 0.025) << label;
        // and as narrow as that allows: one rank closer breaks a tail
        EXPECT_GT(binomial_cdf(static_cast<long long>(r.low), count, q), 0.025) << label;
        EXPECT_GT(1 - binomial_cdf(static_cast<long long>(r.high) - 2, count, q), 0.025) << label;
      }
    }
  }
}

TEST(QuantileInterval, GivesTheSampleValuesOrSaysWhyNot) {
  std::vector<double> sorted;
  for (int i = 1; i <= 10; ++i) sorted.push_back(i * 1.5);
  const QuantileInterval median = quantile_interval(sorted, 0.5);
  ASSERT_EQ(median.status, IntervalStatus::kOk);
  EXPECT_EQ(median.interval.low, 3.0);    // rank 2
  EXPECT_EQ(median.interval.high, 13.5);  // rank 9
  EXPECT_EQ(median.ranks.low, 2u);
  const QuantileInterval p95 = quantile_interval(sorted, 0.95);
  EXPECT_EQ(p95.status, IntervalStatus::kTooFewSamples);
  EXPECT_EQ(p95.minSamples, 59u);
  EXPECT_EQ(quantile_interval({}, 0.5).status, IntervalStatus::kNoSamples);
}

TEST(IncompleteBeta, MatchesTheReferenceAndInvertsIt) {
  struct Case {
    double a, b, x, value;
  } cases[] = {
      {1, 1, 0.3, 0.3},
      {2, 3, 0.4, 0.5248},
      {0.5, 0.5, 0.2, 0.29516723530086655},
      {10, 20, 0.3, 0.36400408107194428},
      {100, 200, 0.35, 0.73257146495754433},
      {500, 500, 0.49, 0.26357560835658547},
      {1, 1000, 0.001, 0.63230457522903596},
      {3, 8, 0.6, 0.9877054464},
  };
  for (const Case& c : cases) {
    const std::string label = ::testing::PrintToString(std::vector<double>{c.a, c.b, c.x});
    EXPECT_NEAR(incomplete_beta(c.a, c.b, c.x), c.value, 1e-12) << label;
    EXPECT_NEAR(incomplete_beta_inverse(c.a, c.b, c.value), c.x, 1e-9) << label;
  }
  EXPECT_EQ(incomplete_beta(2, 3, 0), 0.0);
  EXPECT_EQ(incomplete_beta(2, 3, 1), 1.0);
  EXPECT_EQ(incomplete_beta_inverse(2, 3, 0), 0.0);
  EXPECT_EQ(incomplete_beta_inverse(2, 3, 1), 1.0);
  EXPECT_NEAR(normal_quantile(0.975), 1.959963984540054, 1e-13);
  EXPECT_NEAR(normal_quantile(0.5), 0.0, 1e-15);
  EXPECT_NEAR(normal_quantile(0.005), -2.5758293035489004, 1e-12);
}

TEST(IncompleteBeta, BinomialCdfAgreesWithTheTermByTermSum) {
  // Small counts, where the direct sum is exact enough to compare with.
  for (long long n : {1LL, 5LL, 17LL, 40LL}) {
    for (double p : {0.05, 0.5, 0.9}) {
      double sum = 0;
      double term = std::pow(1 - p, static_cast<double>(n));
      for (long long k = 0; k < n; ++k) {
        sum += term;
        EXPECT_NEAR(binomial_cdf(k, n, p), sum, 1e-12) << "n " << n << " p " << p << " k " << k;
        term *= static_cast<double>(n - k) / static_cast<double>(k + 1) * p / (1 - p);
      }
      EXPECT_EQ(binomial_cdf(n, n, p), 1.0);
      EXPECT_EQ(binomial_cdf(-1, n, p), 0.0);
    }
  }
}

}  // namespace
}  // namespace smstest
