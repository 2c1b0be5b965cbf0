#include "tests/whole_run.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <thread>

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

std::string missing_port_failure(const std::string& portName) {
  // Wine answers CreateFile on a COM port that leads nowhere with
  // ERROR_ACCESS_DENIED, so the system's reason under Wine is its text.
  return "Failed to open " + portName + ". Please make sure that this device is not in use. (" +
         (windows_mode() ? "Access denied." : "No such file or directory") + ")";
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

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string round_trip_err(const std::string& text) {
  return "Sending SMS: OK.\nNew Message Found.\nDeleting Message: OK - tImE42T" + text + "\n";
}

void WholeRunFixture::start_sim(std::vector<std::string> args) {
  ports_ = ports_dir();
  ASSERT_FALSE(ports_.empty()) << "no folder for the simulator's links (SMS_TEST_WINE_PORTS?)";
  args.insert(args.begin(), {"--dir", ports_});
  ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
}

ToolRun WholeRunFixture::run_sms_test(const std::string& record, const std::string& dataTime,
                                      const std::string& workDir, const std::string& resultName,
                                      double timeoutSeconds) {
  ToolRun r = run_tool(ports_, record, dataTime, workDir, resultName,
                       timeoutSeconds > 0 ? timeoutSeconds : runLimit_);
  EXPECT_EQ(r.lineEnds, "") << record;
  EXPECT_FALSE(r.process.timedOut) << record << ": the run did not end on its own";
  return r;
}

std::string WholeRunFixture::expand(std::string text, int n) const {
  const std::pair<std::string, std::string> names[] = {
      {"@TO", "55510" + std::to_string(n)}, {"@PORT", port(n)}, {"@N", std::to_string(n)}};
  for (const auto& [name, value] : names) {
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
      text.replace(at, name.size(), value);
      at += value.size();
    }
  }
  return text;
}

std::vector<PairRun> WholeRunFixture::run_fault_matrix(const std::vector<FaultRow>& rows,
                                                       const std::string& commandSet) {
  const int n = static_cast<int>(rows.size());
  std::vector<std::string> args = {"--delay", "0.3"};
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 2; ++k) {
      const std::string& options = k == 0 ? rows[i].fromOptions : rows[i].toOptions;
      const std::string p = std::to_string(10 + 2 * i + k);
      args.push_back("--modem");
      args.push_back("COM" + p + "=55510" + p + (options.empty() ? "" : ",") + options);
    }
  }
  std::vector<PairRun> runs(n);
  start_sim(args);
  if (HasFatalFailure()) return runs;
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      PairRun& r = runs[i];
      r.from = 10 + 2 * i;
      r.to = r.from + 1;
      const std::string to = std::to_string(r.to);
      const std::string record = "F|" + std::to_string(rows[i].testTimeout) + "|" +
                                 std::to_string(r.from) + "|55510" + to + "|" + rows[i].text +
                                 "|0|0|115200|" + to + "|115200|0" +
                                 (commandSet.empty() ? "" : "|" + commandSet + "\nradio=0");
      r.run = run_sms_test(record, "42", "", "results.csv", rows[i].testTimeout + 15);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < n; ++i) {
    const FaultRow& row = rows[i];
    PairRun& r = runs[i];
    const ToolRun& run = r.run;
    SCOPED_TRACE(row.name);
    EXPECT_LE(run.process.seconds, row.testTimeout + 10);
    if (!row.status.empty()) {
      EXPECT_EQ(run.status, expand(row.status, r.to)) << run.process.err;
    } else {
      EXPECT_TRUE(std::regex_match(run.status, std::regex(expand(row.statusPattern, r.to))))
          << run.status;
    }
    const bool success = run.status == "0 SUCCESS\n";
    EXPECT_EQ(run.process.exitCode, success ? 0 : 2) << run.process.err;
    if (!row.err.empty()) {
      EXPECT_EQ(run.process.err, expand(row.err, r.to));
    } else if (success) {
      EXPECT_EQ(run.process.err, round_trip_err(row.text));
    } else if (run.status.size() > 2) {
      // A failure's text goes to the error stream as it goes to the status file.
      EXPECT_TRUE(ends_with(run.process.err, run.status.substr(2))) << run.process.err;
    }
    r.fromLog = read_file(run.dir + "/F." + std::to_string(r.from) + ".debug.log");
    r.toLog = read_file(run.dir + "/F." + std::to_string(r.to) + ".debug.log");
    // NUL bytes of the line never reach the logs.
    EXPECT_FALSE(contains(r.fromLog, std::string(1, '\0'))) << r.fromLog;
    EXPECT_FALSE(contains(r.toLog, std::string(1, '\0'))) << r.toLog;
    if (!row.fromLog.empty()) {
      EXPECT_TRUE(contains(r.fromLog, row.fromLog)) << r.fromLog;
    }
    if (!row.toLog.empty()) {
      EXPECT_TRUE(contains(r.toLog, row.toLog)) << r.toLog;
    }
    if (!row.toLogPattern.empty()) {
      EXPECT_TRUE(std::regex_match(r.toLog, std::regex(row.toLogPattern))) << r.toLog;
    }
  }
  return runs;
}

}  // namespace smstest
