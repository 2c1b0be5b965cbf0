#include "tools/report/distribution.h"

#include <algorithm>
#include <cmath>

namespace smstest {

double percentile(const std::vector<double>& sorted, double q) {
  const size_t n = sorted.size();
  const double rank = q * static_cast<double>(n - 1);
  size_t below = static_cast<size_t>(std::floor(rank));
  if (below >= n - 1) return sorted[n - 1];
  const double t = rank - static_cast<double>(below);
  const double a = sorted[below];
  const double b = sorted[below + 1];
  // numpy interpolates from the nearer end, so that t = 1 gives b exactly.
  return t < 0.5 ? a + (b - a) * t : b - (b - a) * (1 - t);
}

Distribution summarize(std::vector<double>* values) {
  Distribution d;
  std::vector<double>& v = *values;
  std::sort(v.begin(), v.end());
  d.n = v.size();
  if (d.n == 0) return d;
  double sum = 0;
  for (double x : v) sum += x;
  d.mean = sum / static_cast<double>(d.n);
  d.min = v.front();
  d.max = v.back();
  d.median = percentile(v, 0.5);
  d.p90 = percentile(v, 0.9);
  d.p95 = percentile(v, 0.95);
  d.p98 = percentile(v, 0.98);
  d.medianInterval = quantile_interval(v, 0.5);
  d.p90Interval = quantile_interval(v, 0.9);
  d.p95Interval = quantile_interval(v, 0.95);
  d.p98Interval = quantile_interval(v, 0.98);
  return d;
}

std::vector<std::pair<double, double>> cdf_points(const std::vector<double>& sorted,
                                                  size_t maxPoints) {
  std::vector<std::pair<double, double>> points;
  const size_t n = sorted.size();
  if (n == 0 || maxPoints == 0) return points;
  const size_t count = std::min(n, std::max<size_t>(maxPoints, 2));
  points.reserve(count);
  for (size_t k = 0; k < count; ++k) {
    // Evenly spread ranks, first and last included.
    size_t i = count == 1 ? 0 : (k * (n - 1) + (count - 1) / 2) / (count - 1);
    // Of equal values, the last one carries the step's height.
    while (i + 1 < n && sorted[i + 1] == sorted[i]) ++i;
    double fraction = static_cast<double>(i + 1) / static_cast<double>(n);
    if (!points.empty() && points.back().first == sorted[i]) continue;
    points.emplace_back(sorted[i], fraction);
  }
  return points;
}

Histogram make_histogram(const std::vector<double>& sorted, size_t bins) {
  Histogram h;
  if (sorted.empty() || bins == 0) return h;
  const double low = sorted.front();
  const double high = sorted.back();
  if (high == low) {
    h.low = low - 0.5;
    h.width = 1;
    h.counts.assign(1, sorted.size());
    return h;
  }
  h.low = low;
  h.width = (high - low) / static_cast<double>(bins);
  h.counts.assign(bins, 0);
  for (double x : sorted) {
    size_t bin = static_cast<size_t>((x - low) / h.width);
    if (bin >= bins) bin = bins - 1;
    ++h.counts[bin];
  }
  return h;
}

}  // namespace smstest
