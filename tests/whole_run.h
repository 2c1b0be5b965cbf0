// Test support for whole runs of SMS_TEST against the simulated modems.
#pragma once

#include <string>
#include <vector>

#include "tests/process.h"

struct ToolRun {
  std::string dir;  // working directory of the run
  ProcessResult process;
  std::string status;               // the status file, "" when none
  std::vector<std::string> result;  // columns of the last result line, empty when none
  std::string resultFile;           // the whole result file
};

// Runs SMS_TEST in a fresh directory (or `workDir` when given) with the
// command file "SMS_TEST\n<resultName>\n<record>\n", ports from `portsDir`,
// status file "status.txt" and dataTime `dataTime`, latLong "45.5N73.6W".
ToolRun run_tool(const std::string& portsDir, const std::string& record,
                 const std::string& dataTime = "42", const std::string& workDir = "",
                 const std::string& resultName = "results.csv", double timeoutSeconds = 90);

// Splits a text at `delimiter`.
std::vector<std::string> split(const std::string& text, char delimiter);

// The value of a time column as a number; NaN for "-Infinity" or garbage.
double seconds_of(const std::string& column);
