#include "tools/report/binning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace smstest {
namespace {

// Expected edges worked out by hand the way numpy's
// histogram_bin_edges(values, "fd") does: IQR from linearly interpolated
// quartiles, ceil(range / (2 IQR n^(-1/3))) bins, evenly spaced edges.
TEST(Binning, ChoosesTheRuleAndTheEdgesFromTheData) {
  struct Case {
    const char* what;
    std::vector<double> sorted;
    size_t maxBins;
    BinRule rule;
    bool capped;
    std::vector<double> edges;
    std::vector<size_t> counts;
  } cases[] = {
      {"no values", {}, 50, BinRule::kNone, false, {}, {}},
      {"equal values", {4, 4, 4}, 50, BinRule::kSingle, false, {3.5, 4.5}, {3}},
      // quartiles 2.75 and 6.25: width 3.5 x 8^(-1/3) x 2 = 3.5, 7 / 3.5 = 2 bins
      {"1 to 8",
       {1, 2, 3, 4, 5, 6, 7, 8},
       50,
       BinRule::kFreedmanDiaconis,
       false,
       {1, 4.5, 8},
       {4, 4}},
      // same width, a late value: ceil(29 / 3.5) = 9 bins of 29 / 9
      {"a late value",
       {1, 2, 3, 4, 5, 6, 7, 30},
       50,
       BinRule::kFreedmanDiaconis,
       false,
       {1, 1 + 29.0 / 9, 1 + 2 * 29.0 / 9, 1 + 3 * 29.0 / 9, 1 + 4 * 29.0 / 9, 1 + 5 * 29.0 / 9,
        1 + 6 * 29.0 / 9, 1 + 7 * 29.0 / 9, 1 + 8 * 29.0 / 9, 30},
       {4, 3, 0, 0, 0, 0, 0, 0, 1}},
      // quartiles both 5: Sturges, log2(8) + 1 = 4 bins
      {"IQR 0",
       {5, 5, 5, 5, 5, 5, 5, 9},
       50,
       BinRule::kSturges,
       false,
       {5, 6, 7, 8, 9},
       {7, 0, 0, 1}},
      // quartiles 3 and 7: 999 / (8 x 9^(-1/3)) asks for 260 bins
      {"capped",
       {1, 2, 3, 4, 5, 6, 7, 8, 1000},
       5,
       BinRule::kFreedmanDiaconis,
       true,
       {1, 200.8, 400.6, 600.4, 800.2, 1000},
       {8, 0, 0, 0, 1}},
      {"cap of 0 means one bin",
       {1, 2, 3, 4, 5, 6, 7, 30},
       0,
       BinRule::kFreedmanDiaconis,
       true,
       {1, 30},
       {8}},
  };
  for (const Case& c : cases) {
    const Binning b = bin_edges(c.sorted, c.maxBins);
    EXPECT_EQ(b.rule, c.rule) << c.what;
    EXPECT_EQ(b.capped, c.capped) << c.what;
    ASSERT_EQ(b.edges.size(), c.edges.size()) << c.what;
    for (size_t i = 0; i < c.edges.size(); ++i) {
      EXPECT_NEAR(b.edges[i], c.edges[i], 1e-12) << c.what << " edge " << i;
    }
    if (b.rule != BinRule::kNone && b.rule != BinRule::kSingle) {
      EXPECT_EQ(b.edges.back(), c.sorted.back()) << c.what;
    }
    EXPECT_EQ(bin_counts(c.sorted, b.edges), c.counts) << c.what;
  }
}

TEST(Binning, DefaultCapHoldsForWideData) {
  std::vector<double> sorted;
  for (int i = 0; i < 100; ++i) sorted.push_back(i);
  sorted.push_back(1e6);
  const Binning b = bin_edges(sorted);
  EXPECT_TRUE(b.capped);
  EXPECT_EQ(b.edges.size(), kMaxHistogramBins + 1);
  size_t total = 0;
  for (size_t count : bin_counts(sorted, b.edges)) total += count;
  EXPECT_EQ(total, sorted.size());
}

TEST(Binning, CountsAgainstSharedEdges) {
  // Edges taken from another group: values outside are left out, a value
  // on an inner edge opens the next bin, the last edge closes the last.
  const std::vector<double> edges = {0, 1, 2, 3};
  EXPECT_EQ(bin_counts({-0.5, 0, 0.99, 1, 2, 2.5, 3, 3.01}, edges), (std::vector<size_t>{2, 1, 3}));
  EXPECT_TRUE(bin_counts({1, 2}, {1}).empty());
  EXPECT_EQ(bin_counts({}, edges), (std::vector<size_t>{0, 0, 0}));
}

TEST(Binning, RuleNames) {
  EXPECT_STREQ(bin_rule_name(BinRule::kNone), "none");
  EXPECT_STREQ(bin_rule_name(BinRule::kSingle), "single");
  EXPECT_STREQ(bin_rule_name(BinRule::kFreedmanDiaconis), "freedmanDiaconis");
  EXPECT_STREQ(bin_rule_name(BinRule::kSturges), "sturges");
}

}  // namespace
}  // namespace smstest
