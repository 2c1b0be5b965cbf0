// The report as one self-contained page (--html): no script, no style sheet
// or font from elsewhere, so it opens offline.  From the top:
//
// - the head: the period (first and last campaign start), the places, the
//   command files (long digit runs masked to their last four digits), the
//   inputs, the tool's version and the time the page was made (UTC; the
//   SOURCE_DATE_EPOCH environment variable, when set, gives that time
//   instead, for reproducible pages);
// - the KPIs: the group colour legend, the ratios with their 95 %
//   Clopper-Pearson intervals, the times with the percentiles' intervals
//   (html_tables.h);
// - the comparison of the groups (with two groups or more);
// - the failure causes (a table);
// - the track map (track_map.h) when a run has a position;
// - the charts of charts.h that have data;
// - the methods, with their citations.
//
// The page is well-formed XML as well as HTML, so an XML parser can check it.
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

std::string report_html(const Report& report);

// `text` with every run of 7 digits or more masked but its last four
// ("+4915112345678" -> "+*********5678"): phone numbers in file names.
std::string mask_long_numbers(const std::string& text);

// "2026-12-08 10:15:00 UTC" for seconds since 1970 (UTC).
std::string utc_text(double seconds);

}  // namespace smstest
