// The report as one self-contained page (--html): no script, no style sheet
// or font from elsewhere, so it opens offline.  It holds the inputs, the KPI
// table (one row per group and "all"), the failure causes, and the four
// charts of charts.h as inline SVG.  The page is well-formed XML as well as
// HTML, so an XML parser can check it.
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

std::string report_html(const Report& report);

}  // namespace smstest
