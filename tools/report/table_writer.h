// The report for a terminal (standard output): one line naming the inputs,
// an aligned table with one row per group and a last row "all", then the
// most frequent failure causes (campaign input) and the count of runs with
// and without a readable position.  Times in seconds with three decimals,
// percentages with two; "-" where a figure has no value.
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

// How many failure causes the table lists; the JSON output has them all.
constexpr size_t kTableCauses = 10;

std::string report_table(const Report& report);

// A key as the table and the page show it: UTF-8, "(empty)" for the empty
// text.  The table also shows control characters as '?'.
std::string display_key(const std::string& key);

}  // namespace smstest
