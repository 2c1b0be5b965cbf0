// The sms_report program above its command line: reads the inputs, prints
// the table, writes the files asked for.  sms_report.cpp parses the command
// line into ReportOptions and calls run_report; the tests call it directly.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/report/kpi.h"
#include "tools/report/run_source.h"

namespace smstest {

struct ReportOptions {
  GroupBy by = GroupBy::kTestName;
  std::string jsonPath;  // each empty when that output is not asked for
  std::string csvPath;
  std::string htmlPath;
  std::string geojsonPath;
  std::vector<std::string> inputs;
  // Runs from elsewhere (sms_report --from: a result store), read after the
  // inputs as one more; nullptr when none.  Not owned.
  RunSource* source = nullptr;
};

constexpr int kReportWritten = 0;
constexpr int kReportFailed = 2;

// Runs one report: the table goes to `out`; warnings (one per input with
// skipped lines) and the failure line go to `err`, each beginning
// "sms_report: ".  Returns kReportWritten, or kReportFailed when an input
// can't be read, the grouping needs a column an input lacks, or an output
// can't be written; output files already begun are then removed.
int run_report(const ReportOptions& options, std::FILE* out, std::FILE* err);

}  // namespace smstest
