#include "tools/report/binning.h"

#include <algorithm>
#include <cmath>

#include "tools/report/distribution.h"

namespace smstest {

const char* bin_rule_name(BinRule rule) {
  switch (rule) {
    case BinRule::kNone:
      return "none";
    case BinRule::kSingle:
      return "single";
    case BinRule::kFreedmanDiaconis:
      return "freedmanDiaconis";
    case BinRule::kSturges:
      return "sturges";
  }
  return "";
}

Binning bin_edges(const std::vector<double>& sorted, size_t maxBins) {
  Binning b;
  if (sorted.empty()) return b;
  const double low = sorted.front();
  const double high = sorted.back();
  if (high == low) {
    b.rule = BinRule::kSingle;
    b.edges = {low - 0.5, low + 0.5};
    return b;
  }
  const auto n = static_cast<double>(sorted.size());
  const double iqr = percentile(sorted, 0.75) - percentile(sorted, 0.25);
  double bins = 0;
  if (iqr > 0) {
    b.rule = BinRule::kFreedmanDiaconis;
    bins = std::ceil((high - low) * std::cbrt(n) / (2 * iqr));
  } else {
    // Most values equal, a few outliers: the data give no width, so the
    // count alone decides.
    b.rule = BinRule::kSturges;
    bins = std::ceil(std::log2(n) + 1);
  }
  const double cap = static_cast<double>(std::max<size_t>(maxBins, 1));
  if (bins > cap) {
    bins = cap;
    b.capped = true;
  }
  const auto count = static_cast<size_t>(std::max(1.0, bins));
  b.edges.reserve(count + 1);
  const double step = (high - low) / static_cast<double>(count);
  for (size_t i = 0; i < count; ++i) b.edges.push_back(low + step * static_cast<double>(i));
  b.edges.push_back(high);
  return b;
}

std::vector<size_t> bin_counts(const std::vector<double>& sorted,
                               const std::vector<double>& edges) {
  std::vector<size_t> counts;
  if (edges.size() < 2) return counts;
  counts.assign(edges.size() - 1, 0);
  for (double x : sorted) {
    if (x < edges.front() || x > edges.back()) continue;
    // The last edge at or below x names the bin; x on the last edge
    // belongs to the last bin.
    auto at = std::upper_bound(edges.begin(), edges.end(), x);
    size_t bin = static_cast<size_t>(at - edges.begin()) - 1;
    if (bin >= counts.size()) bin = counts.size() - 1;
    ++counts[bin];
  }
  return counts;
}

}  // namespace smstest
