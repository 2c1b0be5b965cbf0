// The tables of the HTML page (html_writer.h): the ratios with their
// intervals, the times with the percentiles' intervals, the comparison of
// the groups, the failure causes.  Each group's name cell carries its
// colour (group_colour in charts.h), the one its curves and bars have.
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

std::string ratio_table(const Report& report);
std::string time_table(const Report& report);
// "" with fewer than two groups that have round-trip attempts.
std::string comparison_table(const Report& report);
std::string causes_table(const Report& report);
// The delivery reports: per group the two E.804 confirmation KPIs with
// their intervals, centreDelivery beside deliveryTime, and the reports'
// classes and final statuses; "" when no round trip asked for a report.
std::string confirmation_tables(const Report& report);
// The concatenated messages: per group completion per message and per part
// with the ratios' intervals, the delivery time of the complete messages
// and the spread of their parts; "" when no round trip went in parts.
std::string concatenated_tables(const Report& report);
// The colour legend: a swatch and the name of each group, and "all".
std::string group_legend(const Report& report);

}  // namespace smstest
