// Groups compared with one another: is one group's ratio different from
// another's at the report's confidence?  Each group is compared with the
// reference group, the one with the most round-trip attempts (the first in
// key order on a tie), for the three ratios of kpi.h; the difference is
// the group's ratio minus the reference's, with Newcombe's interval
// (compare_ratios in confidence.h).
#pragma once

#include <cstddef>
#include <vector>

#include "tools/report/confidence.h"
#include "tools/report/kpi.h"

namespace smstest {

enum class ComparedRatio { kSuccessRate, kNonAccessibility, kCompletionFailureRatio };
// "successRate", "nonAccessibility", "completionFailureRatio".
const char* compared_ratio_name(ComparedRatio ratio);

// The group's estimate of `ratio`.
const RatioEstimate& ratio_estimate(const GroupReport& group, ComparedRatio ratio);

struct GroupComparison {
  size_t group = 0;  // index into the groups
  ComparedRatio ratio = ComparedRatio::kSuccessRate;
  RatioDifference difference;  // the group's ratio minus the reference's
};

struct Comparisons {
  bool compared = false;              // fewer than two groups with attempts: nothing compared
  size_t reference = 0;               // index into the groups
  std::vector<GroupComparison> rows;  // by group, then ratio
};

// Compares every group that has round-trip attempts with the reference.
Comparisons compare_groups(const std::vector<GroupReport>& groups);

}  // namespace smstest
