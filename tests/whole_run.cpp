#include "tests/whole_run.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "common/result_line.h"

namespace smstest {

namespace {

std::string env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// Undoes the C runtime's text mode of Windows: each CR LF back to LF.  A
// line feed that stands alone could not have come from a text-mode write,
// so it is reported in `*lineEnds`.
std::string from_windows_text(const std::string& text, const std::string& what,
                              std::string* lineEnds) {
  std::string out;
  out.reserve(text.size());
  bool bare = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) bare = true;
    out.push_back(text[i]);
  }
  if (bare && lineEnds != nullptr) *lineEnds += what + ": a line feed without CR\n";
  return out;
}

}  // namespace

bool windows_mode() { return !env_or("SMS_TEST_WINE_EXE", "").empty(); }

std::string ports_dir() {
  if (!windows_mode()) return make_temp_dir("ports");
  std::string dir = env_or("SMS_TEST_WINE_PORTS", "");
  if (dir.empty() || !file_exists(dir)) return std::string();
  // The Wine prefix leads every COMn here, so each test's simulator uses the
  // same folder: what an earlier one left must not pass for this one's.
  for (const std::string& name : list_dir(dir)) unlink((dir + "/" + name).c_str());
  return dir;
}

std::string port_name(const std::string& portsDir, int portNumber) {
  std::string n = std::to_string(portNumber);
  if (!windows_mode()) return portsDir + "/COM" + n;
  return portNumber <= 9 ? "COM" + n : "\\\\.\\COM" + n;
}

std::string read_text(const std::string& path, std::string* lineEnds) {
  std::string text = read_file(path);
  return windows_mode() ? from_windows_text(text, path, lineEnds) : text;
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
  // The command file is read in text mode on Windows too, where a lone LF
  // ends a line as well; the tool must not depend on CR LF here.
  write_file(run.dir + "/cmd.txt", "SMS_TEST\n" + resultName + "\n" + record + "\n");
  std::vector<std::string> args = {"cmd.txt", "status.txt", dataTime, "45.5N73.6W"};
  if (windows_mode()) {
    // The loader runs the program in its own process, so the time limit's
    // kill ends the run itself.
    args.insert(args.begin(),
                {env_or("SMS_TEST_WINE", "/usr/lib/wine/wine64"), env_or("SMS_TEST_WINE_EXE", "")});
    run.process = run_process(args, run.dir, {}, timeoutSeconds);
    run.process.out = from_windows_text(run.process.out, "standard output", &run.lineEnds);
    run.process.err = from_windows_text(run.process.err, "standard error", &run.lineEnds);
  } else {
    args.insert(args.begin(), SMS_TEST_BINARY);
    run.process = run_process(args, run.dir, {"SMS_TEST_PORTS=" + portsDir}, timeoutSeconds);
  }
  run.status = read_text(run.dir + "/status.txt", &run.lineEnds);
  run.resultFile = read_text(run.dir + "/" + resultName, &run.lineEnds);
  if (!run.resultFile.empty()) {
    std::string last = run.resultFile.substr(0, run.resultFile.size() - 1);
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    run.result = result_columns(last);
  }
  return run;
}

}  // namespace smstest
