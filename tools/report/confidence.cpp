#include "tools/report/confidence.h"

#include <algorithm>
#include <cmath>

#include "tools/report/incomplete_beta.h"

namespace smstest {
namespace {

bool valid_counts(long long successes, long long trials) {
  return trials > 0 && successes >= 0 && successes <= trials;
}

double clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

// The largest j in [0, n] with binomial_cdf(j) <= target; -1 when none.
long long largest_cdf_at_most(long long n, double q, double target) {
  long long low = -1;  // binomial_cdf(-1) = 0 <= target: invariant holds
  long long high = n + 1;
  while (high - low > 1) {
    const long long mid = low + (high - low) / 2;
    if (binomial_cdf(mid, n, q) <= target) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return low;
}

// The smallest j in [0, n] with binomial_cdf(j) >= target; n + 1 when none.
long long smallest_cdf_at_least(long long n, double q, double target) {
  long long low = -1;
  long long high = n + 1;
  while (high - low > 1) {
    const long long mid = low + (high - low) / 2;
    if (binomial_cdf(mid, n, q) >= target) {
      high = mid;
    } else {
      low = mid;
    }
  }
  return high;
}

}  // namespace

const char* interval_status_name(IntervalStatus status) {
  switch (status) {
    case IntervalStatus::kOk:
      return "ok";
    case IntervalStatus::kNoSamples:
      return "noSamples";
    case IntervalStatus::kTooFewSamples:
      return "tooFewSamples";
  }
  return "";
}

bool clopper_pearson_interval(long long successes, long long trials, double confidence,
                              Interval* out) {
  if (!valid_counts(successes, trials)) return false;
  const double alpha = 1 - confidence;
  const double k = static_cast<double>(successes);
  const double n = static_cast<double>(trials);
  // The bounds are the p at which observing k or more (lower) or k or
  // fewer (upper) successes has probability alpha / 2; as quantiles of
  // beta distributions: Beta(k, n-k+1) at alpha/2, Beta(k+1, n-k) at
  // 1 - alpha/2.
  out->low = successes == 0 ? 0.0 : incomplete_beta_inverse(k, n - k + 1, alpha / 2);
  out->high = successes == trials ? 1.0 : incomplete_beta_inverse(k + 1, n - k, 1 - alpha / 2);
  return true;
}

bool wilson_interval(long long successes, long long trials, double confidence,
                     bool continuityCorrected, Interval* out) {
  if (!valid_counts(successes, trials)) return false;
  const double z = normal_quantile(1 - (1 - confidence) / 2);
  const double z2 = z * z;
  const double n = static_cast<double>(trials);
  const double p = static_cast<double>(successes) / n;
  if (!continuityCorrected) {
    const double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
    const double half = z / (1 + z2 / n) * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
    out->low = successes == 0 ? 0.0 : clamp01(centre - half);
    out->high = successes == trials ? 1.0 : clamp01(centre + half);
    return true;
  }
  const double denominator = 2 * (n + z2);
  const double lowRoot = std::max(0.0, z2 - 2 - 1 / n + 4 * p * (n * (1 - p) + 1));
  const double highRoot = std::max(0.0, z2 + 2 - 1 / n + 4 * p * (n * (1 - p) - 1));
  out->low =
      successes == 0 ? 0.0 : clamp01((2 * n * p + z2 - 1 - z * std::sqrt(lowRoot)) / denominator);
  out->high = successes == trials
                  ? 1.0
                  : clamp01((2 * n * p + z2 + 1 + z * std::sqrt(highRoot)) / denominator);
  return true;
}

RatioEstimate estimate_ratio(long long successes, long long trials, double confidence) {
  RatioEstimate r;
  r.successes = successes;
  r.trials = trials;
  if (!clopper_pearson_interval(successes, trials, confidence, &r.interval)) return r;
  r.status = IntervalStatus::kOk;
  r.ratio = static_cast<double>(successes) / static_cast<double>(trials);
  return r;
}

RatioDifference compare_ratios(long long successes1, long long trials1, long long successes2,
                               long long trials2, double confidence) {
  RatioDifference d;
  Interval w1, w2, cp1, cp2;
  if (!wilson_interval(successes1, trials1, confidence, false, &w1) ||
      !wilson_interval(successes2, trials2, confidence, false, &w2) ||
      !clopper_pearson_interval(successes1, trials1, confidence, &cp1) ||
      !clopper_pearson_interval(successes2, trials2, confidence, &cp2)) {
    return d;
  }
  const double p1 = static_cast<double>(successes1) / static_cast<double>(trials1);
  const double p2 = static_cast<double>(successes2) / static_cast<double>(trials2);
  d.status = IntervalStatus::kOk;
  d.difference = p1 - p2;
  // Each side combines the distances of the two Wilson bounds that move
  // the difference that way (Newcombe's method 10).
  d.interval.low = d.difference - std::hypot(p1 - w1.low, w2.high - p2);
  d.interval.high = d.difference + std::hypot(w1.high - p1, p2 - w2.low);
  d.interval.low = std::max(-1.0, d.interval.low);
  d.interval.high = std::min(1.0, d.interval.high);
  d.differs = d.interval.low > 0 || d.interval.high < 0;
  d.intervalsOverlap = cp1.low <= cp2.high && cp2.low <= cp1.high;
  return d;
}

size_t min_samples_for_quantile(double q, double confidence) {
  if (!(q > 0 && q < 1) || !(confidence > 0 && confidence < 1)) return 0;
  // The widest pair, the smallest and the largest sample, misses the
  // quantile when all samples fall on one side of it.
  const double larger = std::max(q, 1 - q);
  const double smaller = std::min(q, 1 - q);
  // Without the smaller term, n >= log(1 - confidence) / log(larger); the
  // term only adds, so start just below that and count up.
  double start = std::floor(std::log(1 - confidence) / std::log(larger)) - 1;
  size_t n = start < 2 ? 2 : static_cast<size_t>(start);
  while (1 - std::pow(larger, static_cast<double>(n)) - std::pow(smaller, static_cast<double>(n)) <
         confidence) {
    ++n;
  }
  return n;
}

RankInterval quantile_ranks(size_t n, double q, double confidence) {
  RankInterval r;
  if (n == 0) return r;
  r.status = IntervalStatus::kTooFewSamples;
  if (!(q > 0 && q < 1)) return r;
  const auto count = static_cast<long long>(n);
  const double alpha = 1 - confidence;
  auto cdf = [&](long long j) { return binomial_cdf(j, count, q); };
  // Equal tails: P(B < low) = cdf(low - 1) <= alpha / 2 and
  // P(B >= high) = 1 - cdf(high - 1) <= alpha / 2.
  long long low = largest_cdf_at_most(count, q, alpha / 2) + 1;
  long long high = smallest_cdf_at_least(count, q, 1 - alpha / 2) + 1;
  const bool lowMet = low >= 1;
  const bool highMet = high <= count;
  if (lowMet && !highMet) {
    // The upper end takes the largest sample; the lower tail gets the rest.
    high = count;
    low = largest_cdf_at_most(count, q, cdf(count - 1) - confidence) + 1;
  } else if (!lowMet && highMet) {
    low = 1;
    high = smallest_cdf_at_least(count, q, confidence + cdf(0)) + 1;
  } else if (!lowMet && !highMet) {
    low = 1;
    high = count;
  }
  if (low < 1 || high > count || low >= high) return r;
  const double coverage = cdf(high - 1) - cdf(low - 1);
  if (coverage < confidence) return r;
  r.status = IntervalStatus::kOk;
  r.low = static_cast<size_t>(low);
  r.high = static_cast<size_t>(high);
  r.coverage = coverage;
  return r;
}

QuantileInterval quantile_interval(const std::vector<double>& sorted, double q, double confidence) {
  QuantileInterval result;
  result.minSamples = min_samples_for_quantile(q, confidence);
  result.ranks = quantile_ranks(sorted.size(), q, confidence);
  result.status = result.ranks.status;
  if (result.status != IntervalStatus::kOk) return result;
  result.interval.low = sorted[result.ranks.low - 1];
  result.interval.high = sorted[result.ranks.high - 1];
  return result;
}

}  // namespace smstest
