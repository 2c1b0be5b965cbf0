// The four charts of the HTML page, each one <svg> element (svg.h):
//
// - cdf_chart: the cumulative distribution of endToEndTime, one curve per
//   group (the groups with most completed round trips, at most
//   kChartGroups) and one for all runs;
// - histogram_chart: deliveryTime of all completed round trips;
// - run_chart: deliveryTime of every round trip in order, failed runs as
//   red marks on the time axis (above kRunDots runs, the runs are drawn as
//   one bar from the least to the greatest time per column);
// - causes_chart: the most frequent failure causes as bars.
//
// A chart without data is a small picture that says why.
#pragma once

#include <string>
#include <vector>

#include "tools/report/kpi.h"

namespace smstest {

constexpr size_t kChartGroups = 8;
constexpr size_t kRunDots = 2000;
constexpr size_t kChartCauses = 10;

std::string cdf_chart(const std::vector<GroupReport>& groups, const GroupReport& all,
                      const std::string& groupTitle);
std::string histogram_chart(const Histogram& histogram);
std::string run_chart(const std::vector<RunPoint>& runs);
// `campaignInput` false: the causes are unknown, not absent.
std::string causes_chart(const std::vector<FailureCause>& causes, bool campaignInput);

// Tick positions for an axis from `low` to `high`: steps of 1, 2 or 5 times
// a power of ten, about `count` of them, all within the range.
std::vector<double> axis_ticks(double low, double high, int count);

}  // namespace smstest
