// The whole report as the writers see it: where the runs came from, the
// KPIs for all runs and per group, and the data of the charts.  Built by
// report_app.cpp; each writer (table_writer.h, json_writer.h, csv_writer.h,
// html_writer.h) turns it into one output.
#pragma once

#include <string>
#include <vector>

#include "tools/report/input.h"
#include "tools/report/kpi.h"
#include "tools/report/run_settings.h"

namespace smstest {

struct InputSummary {
  std::string path;  // as given on the command line
  std::string file;  // the file read
  InputKind kind = InputKind::kResults;
  long long runs = 0;
  long long skippedLines = 0;
};

struct Report {
  GroupBy by = GroupBy::kTestName;
  std::vector<InputSummary> inputs;
  long long skippedLines = 0;
  // Failure causes are known only for runs from campaigns.
  bool campaignInput = false;
  // Runs whose latLong reads as a position, and the others.
  long long withPosition = 0;
  long long withoutPosition = 0;
  GroupReport all;
  std::vector<GroupReport> groups;
  ChartData charts;
  RunsSetup setup;
  // The settings of each command file (run_settings.h).
  std::map<std::string, CommandSettings, std::less<>> settings;
  bool settingsCapped = false;
};

// `value` rounded to a millionth, the resolution of the tool's own times.
double micro_rounded(double value);

}  // namespace smstest
