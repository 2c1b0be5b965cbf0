// Summaries of a measure over many runs: count, mean, extremes and
// percentiles, and the sampled curves and bins that the charts draw.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "tools/report/confidence.h"

namespace smstest {

// A distribution in seconds.  `n` 0 means no value: the writers show the
// whole distribution as null.
struct Distribution {
  size_t n = 0;
  double mean = 0;
  double min = 0;
  double median = 0;
  double p90 = 0;
  double p95 = 0;
  double p98 = 0;
  double max = 0;
  // The percentiles' distribution-free intervals (quantile_interval at the
  // report's confidence), from the same sorted samples.
  QuantileInterval medianInterval;
  QuantileInterval p90Interval;
  QuantileInterval p95Interval;
  QuantileInterval p98Interval;
};

// The `q`-quantile (0 to 1) of ascending `sorted`, which must not be empty,
// by linear interpolation between the closest ranks: the value at rank
// q * (n - 1), as numpy's default percentile method computes it.
double percentile(const std::vector<double>& sorted, double q);

// Sorts `values` ascending and summarises them.
Distribution summarize(std::vector<double>* values);

// Points of the empirical cumulative distribution of ascending `sorted`:
// (value, fraction of values at or below it), at most `maxPoints` of them,
// always including the smallest and the largest value.
std::vector<std::pair<double, double>> cdf_points(const std::vector<double>& sorted,
                                                  size_t maxPoints);

// Counts of ascending `sorted` in `bins` equal bins from its smallest to its
// largest value (the last bin includes the largest).  Empty input gives no
// bins; equal values give one bin of width 1 centred on them.
struct Histogram {
  double low = 0;
  double width = 0;
  std::vector<size_t> counts;
};
Histogram make_histogram(const std::vector<double>& sorted, size_t bins);

}  // namespace smstest
