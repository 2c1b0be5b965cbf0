// Helpers of the report's tests: result files and campaigns written by
// hand, run_report run in-process with its streams captured, the XML check
// of a page.  The generic file and process helpers are in testsupport/run_process.h.
#pragma once

#include <string>
#include <vector>

#include "tools/report/report_app.h"

namespace smstest {

// The campaign log's header line.
extern const char kCampaignHeader[];

struct ReportRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// run_report with `options`, its standard output and error in the result.
ReportRun report_in_process(const ReportOptions& options);

// Writes `lines`, each followed by "\n", to DIR/NAME; returns the path.
std::string write_lines(const std::string& dir, const std::string& name,
                        const std::vector<std::string>& lines);

// Full path of xmllint (libxml2-utils) found on PATH, "" when missing.
std::string xmllint_path();

// Runs xmllint on `path`: "" when the file is well-formed XML, else its
// messages.  With `xpath`, the value of that expression instead.
std::string xmllint(const std::string& path, const std::string& xpath = "");

}  // namespace smstest
