// The report as CSV (--csv): a header line, then one row for all runs
// (scope "all", empty key) and one per group (scope "group"), with the
// figures of the JSON output flattened into columns named after them
// ("attempts", "accessDelay.median", "replyTime.p95", ...).  A figure
// without a value is an empty cell; a distribution's "n" is always there.
// Failure causes are lists and are left to the JSON and HTML outputs.
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

std::string report_csv(const Report& report);

}  // namespace smstest
