// The report as JSON (--json):
//
//   {"inputs":[{"path","file","kind","runs","skippedLines"}...],
//    "by":"testName", "skippedLines":N,
//    "positions":{"withPosition":N,"withoutPosition":N},
//    "all":{GROUP}, "groups":[{"key":...,GROUP}...]}
//
// GROUP = "runs", "roundTrips" {"attempts", "accessFailures",
// "nonAccessibilityPercent", "accessible", "completionFailures",
// "completionFailureRatioPercent", "accessDelay", "deliveryTime",
// "endToEndTime"}, "reflector" {"replies", "replyTime"}, "failureCauses"
// [{"text","count"}...] (null without campaign input).  A distribution is
// {"n","mean","min","median","p90","p95","p98","max"} in seconds, null when n
// is 0; a ratio with a zero denominator is null.  Figures are rounded to a
// millionth.  Texts are written as UTF-8 (see utf8_text.h).
#pragma once

#include <string>

#include "tools/report/report.h"

namespace smstest {

// The JSON text, indented, with a line end at the end.
std::string report_json(const Report& report);

}  // namespace smstest
