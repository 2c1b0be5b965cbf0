// The charts of the HTML page, each one <svg> element (svg.h).  A group
// has one colour on every chart and table of the page: group_colour of its
// index in the report's groups (ascending key order).
//
// - cdf_chart: the cumulative distribution of endToEndTime, one curve per
//   group (the groups with most completed round trips, at most
//   kChartGroups) and one for all runs;
// - histogram_chart: deliveryTime per group, side by side in bins chosen
//   from all completed round trips (binning.h);
// - run_chart: deliveryTime of every round trip in order, a dot in its
//   group's colour, failed runs as red marks on the time axis (above
//   kRunDots runs, the runs are drawn as one bar from the least to the
//   greatest time per column).
//
// - signal_chart: deliveryTime of each completed round trip against the
//   sending modem's signal at the send (signalDbm: RSRP, else RSSI), a dot
//   in its group's colour (at most kRunDots dots, evenly taken).
//
// A chart without data is left out: each returns "" then.  The failure
// causes are a table only.
#pragma once

#include <string>
#include <vector>

#include "tools/report/kpi.h"

namespace smstest {

constexpr size_t kChartGroups = 8;
constexpr size_t kRunDots = 2000;

// The colour of the group at `index` (the palette repeats after 10); "all"
// runs are kAllColour, failures kFailColour.
const char* group_colour(size_t index);
extern const char kAllColour[];
extern const char kFailColour[];

std::string cdf_chart(const std::vector<GroupReport>& groups, const GroupReport& all,
                      const std::string& groupTitle);
std::string histogram_chart(const DeliveryBins& bins, const std::vector<GroupReport>& groups);
std::string run_chart(const std::vector<RunPoint>& runs, const std::vector<GroupReport>& groups);
std::string signal_chart(const std::vector<RunPoint>& runs, const std::vector<GroupReport>& groups);

// Tick positions for an axis from `low` to `high`: steps of 1, 2 or 5 times
// a power of ten, about `count` of them, all within the range.
std::vector<double> axis_ticks(double low, double high, int count);

}  // namespace smstest
