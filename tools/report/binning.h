// Histogram bins chosen from the data, for the report's delivery-time
// charts: the Freedman-Diaconis rule (D. Freedman, P. Diaconis, On the
// histogram as a density estimator: L2 theory, Z. Wahrscheinlichkeitstheorie
// verw. Gebiete 57 (1981) 453-476), bin width 2 IQR n^(-1/3), so that the
// bins follow the spread of the bulk of the data and a few very late
// deliveries do not widen them; Sturges' rule (H. A. Sturges, JASA 21
// (1926) 65-66), ceil(log2 n) + 1 bins, where the interquartile range is 0.
// The edges run evenly from the smallest to the largest value, as numpy's
// histogram_bin_edges draws them with bins="fd" (its "sturges" for the
// fallback), so that figures can be checked there.
//
// Groups drawn on one chart should share edges: take them from all the
// groups' values pooled, then count each group with bin_counts.
#pragma once

#include <cstddef>
#include <vector>

namespace smstest {

inline constexpr size_t kMaxHistogramBins = 50;

enum class BinRule {
  kNone,              // no values: no bins
  kSingle,            // all values equal: one bin of width 1 centred on them
  kFreedmanDiaconis,  // 2 IQR n^(-1/3)
  kSturges,           // IQR 0: ceil(log2 n) + 1 bins
};
// "none", "single", "freedmanDiaconis", "sturges".
const char* bin_rule_name(BinRule rule);

struct Binning {
  BinRule rule = BinRule::kNone;
  bool capped = false;        // the rule asked for more than the cap
  std::vector<double> edges;  // bins + 1 ascending edges; empty for kNone
};

// Bins for ascending `sorted`: at most `maxBins` of them (at least 1),
// from its smallest value to its largest (the last edge is the largest
// value exactly).  The IQR is the difference of the 0.75 and 0.25
// quantiles as percentile() computes them.
Binning bin_edges(const std::vector<double>& sorted, size_t maxBins = kMaxHistogramBins);

// Counts of ascending `sorted` in the bins of ascending `edges` (at least
// two): bin i holds edges[i] <= x < edges[i + 1], the last bin also its
// right edge.  Values outside the edges are not counted.  Fewer than two
// edges give no counts.
std::vector<size_t> bin_counts(const std::vector<double>& sorted, const std::vector<double>& edges);

}  // namespace smstest
