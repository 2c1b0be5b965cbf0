// Confidence intervals for the report's KPIs, as ETSI TS 102 250-6 and
// ITU-T E.804 (clause 11) ask for them before two operators are compared:
// every ratio with its sample count and interval, every percentile of a
// delivery time with its interval, and the difference of two groups'
// ratios.
//
// The report's method for a ratio is the Clopper-Pearson interval
// (kRatioIntervalMethod, kRatioIntervalCitation): exact, i.e. it inverts
// the binomial distribution itself, so its coverage is at least the
// confidence asked for at every sample count, small ones included (the
// normal-approximation intervals are not).  It needs no minimum sample
// count: with few samples it is wide, and the width says what a count
// would otherwise hide (1 success of 1 trial: 2.5 % to 100 %).  Only a
// ratio without trials has no interval.  The Wilson score interval, with
// and without continuity correction, is here for the difference of two
// ratios, which is built from it.
//
// A percentile's interval comes from the sorted samples themselves (order
// statistics, distribution-free): no pair of samples brackets the p95 with
// 95 % confidence below 59 samples, the median below 6; such a group gets a
// status saying so and no numbers.
#pragma once

#include <cstddef>
#include <vector>

namespace smstest {

inline constexpr const char* kRatioIntervalMethod = "Clopper-Pearson";
inline constexpr const char* kRatioIntervalCitation =
    "C. J. Clopper, E. S. Pearson, The use of confidence or fiducial limits illustrated in the "
    "case of the binomial, Biometrika 26 (1934) 404-413";
inline constexpr const char* kPercentileIntervalMethod = "order statistics";
inline constexpr const char* kPercentileIntervalCitation =
    "W. J. Conover, Practical Nonparametric Statistics, 3rd ed., Wiley 1999, section 3.2";
inline constexpr const char* kDifferenceIntervalMethod = "Newcombe hybrid score";
inline constexpr const char* kDifferenceIntervalCitation =
    "R. G. Newcombe, Interval estimation for the difference between independent proportions: "
    "comparison of eleven methods, Statistics in Medicine 17 (1998) 873-890, method 10";

inline constexpr double kReportConfidence = 0.95;

// Whether an estimate has an interval.
enum class IntervalStatus {
  kOk,
  kNoSamples,      // nothing to estimate from
  kTooFewSamples,  // samples, but too few for an interval of this confidence
};
// "ok", "noSamples", "tooFewSamples".
const char* interval_status_name(IntervalStatus status);

// A closed interval [low, high].
struct Interval {
  double low = 0;
  double high = 0;
};

// Intervals of a ratio `successes` / `trials` at `confidence` (0 to 1,
// two-sided).  All of them need 0 <= successes <= trials and trials > 0;
// otherwise they return false and leave `*out` alone.  The bounds stay in
// [0, 1]; 0 successes give a lower bound of exactly 0, `trials` successes
// an upper bound of exactly 1.
bool clopper_pearson_interval(long long successes, long long trials, double confidence,
                              Interval* out);
// Wilson's score interval (E. B. Wilson, JASA 22 (1927) 209-212); with
// `continuityCorrected`, the corrected form of Newcombe's paper (method 4).
bool wilson_interval(long long successes, long long trials, double confidence,
                     bool continuityCorrected, Interval* out);

// A ratio with its interval, by the report's method (Clopper-Pearson).
struct RatioEstimate {
  long long successes = 0;
  long long trials = 0;
  IntervalStatus status = IntervalStatus::kNoSamples;  // kOk or kNoSamples
  double ratio = 0;                                    // successes / trials, when kOk
  Interval interval;                                   // when kOk
};
// kNoSamples when `trials` is 0 (or the counts are inconsistent).
RatioEstimate estimate_ratio(long long successes, long long trials,
                             double confidence = kReportConfidence);

// The difference of two groups' ratios, first minus second.
struct RatioDifference {
  IntervalStatus status = IntervalStatus::kNoSamples;  // kNoSamples if a group has no trials
  double difference = 0;                               // p1 - p2
  // Newcombe's hybrid score interval of p1 - p2, from the two groups'
  // Wilson intervals; within [-1, 1].
  Interval interval;
  // Whether `interval` leaves 0 out: the groups differ at this confidence.
  bool differs = false;
  // Whether the groups' own (Clopper-Pearson) intervals, the ones the
  // report shows, share a point.  Two intervals can overlap while the
  // difference is still clear of 0: `differs` is the answer to "is one
  // better", this is what a reader sees on the page.
  bool intervalsOverlap = false;
};
RatioDifference compare_ratios(long long successes1, long long trials1, long long successes2,
                               long long trials2, double confidence = kReportConfidence);

// Ranks (1-based, into the sorted samples) of a distribution-free interval
// for the q-quantile: P(x(low) <= quantile <= x(high)) >= confidence for any
// continuous distribution, which is the binomial probability
// P(low <= B < high), B ~ Bin(n, q).
//
// The ranks are equal-tailed where the sample count allows, each tail at
// most (1 - confidence) / 2 (the usual tables: median of 10 samples, ranks
// 2 and 9, coverage 97.85 %).  Where one tail cannot be met even by the
// extreme sample, that end takes the extreme sample and the other tail
// gets what is left of 1 - confidence.  When not even the smallest and the
// largest sample reach `confidence`, the status is kTooFewSamples.
struct RankInterval {
  IntervalStatus status = IntervalStatus::kNoSamples;
  size_t low = 0;  // when kOk: 1 <= low < high <= n
  size_t high = 0;
  double coverage = 0;  // when kOk: P(low <= B < high)
};
// kNoSamples for n = 0; kTooFewSamples for q outside (0, 1), where no two
// samples bracket the quantile.
RankInterval quantile_ranks(size_t n, double q, double confidence = kReportConfidence);

// The fewest samples for which quantile_ranks gives an interval: the least
// n with 1 - q^n - (1 - q)^n >= confidence (6 for the median, 59 for the
// p95 at 95 %); 0 for q or `confidence` outside (0, 1).
size_t min_samples_for_quantile(double q, double confidence = kReportConfidence);

// The q-quantile's interval in values: the samples at quantile_ranks.
struct QuantileInterval {
  IntervalStatus status = IntervalStatus::kNoSamples;
  Interval interval;  // when kOk
  RankInterval ranks;
  size_t minSamples = 0;  // min_samples_for_quantile: what kTooFewSamples lacked
};
// `sorted` ascending.
QuantileInterval quantile_interval(const std::vector<double>& sorted, double q,
                                   double confidence = kReportConfidence);

}  // namespace smstest
