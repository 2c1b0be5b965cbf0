#include "tests/whole_run.h"

#include <cmath>
#include <cstdlib>

std::vector<std::string> split(const std::string& text, char delimiter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delimiter, start);
    if (at == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

double seconds_of(const std::string& column) {
  if (column.empty() || column == "-Infinity") return NAN;
  char* end = nullptr;
  double value = std::strtod(column.c_str(), &end);
  return *end == '\0' ? value : NAN;
}

ToolRun run_tool(const std::string& portsDir, const std::string& record,
                 const std::string& dataTime, const std::string& workDir,
                 const std::string& resultName, double timeoutSeconds) {
  ToolRun run;
  run.dir = workDir.empty() ? make_temp_dir("run") : workDir;
  write_file(run.dir + "/cmd.txt", "SMS_TEST\n" + resultName + "\n" + record + "\n");
  run.process = run_process({SMS_TEST_BINARY, "cmd.txt", "status.txt", dataTime, "45.5N73.6W"},
                            run.dir, {"SMS_TEST_PORTS=" + portsDir}, timeoutSeconds);
  run.status = read_file(run.dir + "/status.txt");
  run.resultFile = read_file(run.dir + "/" + resultName);
  if (!run.resultFile.empty()) {
    std::string last = run.resultFile.substr(0, run.resultFile.size() - 1);
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    run.result = split(last, ',');
  }
  return run;
}
