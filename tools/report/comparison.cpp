#include "tools/report/comparison.h"

namespace smstest {

namespace {

const ComparedRatio kRatios[] = {ComparedRatio::kSuccessRate, ComparedRatio::kNonAccessibility,
                                 ComparedRatio::kCompletionFailureRatio};

}  // namespace

const RatioEstimate& ratio_estimate(const GroupReport& g, ComparedRatio ratio) {
  switch (ratio) {
    case ComparedRatio::kNonAccessibility:
      return g.roundTrips.nonAccessibility;
    case ComparedRatio::kCompletionFailureRatio:
      return g.roundTrips.completionFailureRatio;
    case ComparedRatio::kSuccessRate:
      break;
  }
  return g.roundTrips.successRate;
}

const char* compared_ratio_name(ComparedRatio ratio) {
  switch (ratio) {
    case ComparedRatio::kNonAccessibility:
      return "nonAccessibility";
    case ComparedRatio::kCompletionFailureRatio:
      return "completionFailureRatio";
    case ComparedRatio::kSuccessRate:
      break;
  }
  return "successRate";
}

Comparisons compare_groups(const std::vector<GroupReport>& groups) {
  Comparisons out;
  size_t withAttempts = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    const long long attempts = groups[i].roundTrips.attempts;
    if (attempts == 0) continue;
    if (withAttempts == 0 || attempts > groups[out.reference].roundTrips.attempts) {
      out.reference = i;
    }
    ++withAttempts;
  }
  if (withAttempts < 2) return out;
  out.compared = true;
  const GroupReport& ref = groups[out.reference];
  for (size_t i = 0; i < groups.size(); ++i) {
    if (i == out.reference || groups[i].roundTrips.attempts == 0) continue;
    for (ComparedRatio ratio : kRatios) {
      const RatioEstimate& a = ratio_estimate(groups[i], ratio);
      const RatioEstimate& b = ratio_estimate(ref, ratio);
      out.rows.push_back({i, ratio, compare_ratios(a.successes, a.trials, b.successes, b.trials)});
    }
  }
  return out;
}

}  // namespace smstest
