// Test support for whole runs of SMS_TEST against the simulated modems.
//
// The same tests run the native tool or, under Wine, the Windows build
// SMS_TEST.exe ("Windows mode", set up by tests/wine/run_wine_tests.sh):
//
//   SMS_TEST_WINE_EXE    the SMS_TEST.exe to run; Windows mode when set
//   SMS_TEST_WINE        the Wine loader (default /usr/lib/wine/wine64)
//   SMS_TEST_WINE_PORTS  the folder where the Wine prefix's COMn lead: the
//                        simulator must put its links there
//
// WINEPREFIX and the rest of Wine's environment are passed on as they are.
// In Windows mode the texts the tool writes in text mode (standard error,
// status file, result file) end their lines in CR LF; `run_tool` gives them
// back with LF line ends, so that one expected text serves both builds.
// Debug logs are binary files and are the same bytes on both.
//
// WholeRunFixture is the fixture of every whole-run test: a simulator on a
// folder of links of its own, the tool started against it, and the
// simulator's records.  run_fault_matrix() runs a table of faulty pairs of
// modems at once and checks what every row's report must show.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/text.h"  // split
#include "sim/sim_process.h"
#include "testsupport/run_process.h"

namespace smstest {

struct ToolRun {
  std::string dir;                  // working directory of the run
  ProcessResult process;            // standard error with LF line ends
  std::string status;               // the status file, "" when none
  std::vector<std::string> result;  // columns of the last result line, empty when none
  std::string resultFile;           // the whole result file
  // Windows mode: which of standard error, status file and result file
  // held a line feed without its CR ("" when none did).  Always "" natively.
  std::string lineEnds;
};

// Runs SMS_TEST in a fresh directory (or `workDir` when given) with the
// command file "SMS_TEST\n<resultName>\n<record>\n", ports from `portsDir`,
// status file "status.txt" and dataTime `dataTime`, latLong "45.5N73.6W".
// The run is killed after `timeoutSeconds` (process.timedOut is then set).
ToolRun run_tool(const std::string& portsDir, const std::string& record,
                 const std::string& dataTime = "42", const std::string& workDir = "",
                 const std::string& resultName = "results.csv", double timeoutSeconds = 90);

// True when runs start SMS_TEST.exe under Wine.
bool windows_mode();

// The folder for the simulator's COMn links: a fresh temporary folder
// natively; in Windows mode the fixed folder the Wine prefix maps its ports
// to, emptied of the links and records of earlier simulators.  "" when
// Windows mode names no such folder.
std::string ports_dir();

// The tool's message for a port that is not there, the system's reason
// included (natively the C library's text for ENOENT, in Windows mode
// Wine's for ERROR_FILE_NOT_FOUND).
std::string missing_port_failure(const std::string& portName);

// The device name the tool gives port `portNumber` in its messages:
// "<portsDir>/COMn" natively; "COMn" up to 9 and "\\.\COMn" above in
// Windows mode.
std::string port_name(const std::string& portsDir, int portNumber);

// A file the tool wrote in text mode, with LF line ends ("" when it can't
// be read).  In Windows mode each CR LF becomes LF; a line feed without its
// CR is added to `*lineEnds` (when given) as a complaint naming `path`.
std::string read_text(const std::string& path, std::string* lineEnds = nullptr);

// The value of a time column as a number; NaN for "-Infinity" or garbage.
double seconds_of(const std::string& column);

bool ends_with(const std::string& text, const std::string& end);
bool contains(const std::string& text, const std::string& part);

// What the tool writes on its error stream for a round trip of `text` that
// succeeded ("42" as dataTime).
std::string round_trip_err(const std::string& text = "hello");

// One row of a fault matrix: a pair of simulated modems, the receiving one
// with `toOptions`, the sending one with `fromOptions`, and a round trip of
// `text` from one to the other within `testTimeout` seconds.
struct FaultRow {
  FaultRow(std::string name_, std::string toOptions_, std::string fromOptions_, int testTimeout_,
           std::string status_, std::string statusPattern_, bool sendMeasured_,
           std::string fromLog_, std::string toLog_)
      : name(std::move(name_)),
        toOptions(std::move(toOptions_)),
        fromOptions(std::move(fromOptions_)),
        testTimeout(testTimeout_),
        status(std::move(status_)),
        statusPattern(std::move(statusPattern_)),
        sendMeasured(sendMeasured_),
        fromLog(std::move(fromLog_)),
        toLog(std::move(toLog_)) {}
  FaultRow& with_text(std::string sent) {
    text = std::move(sent);
    return *this;
  }
  FaultRow& with_to_log_pattern(std::string pattern) {
    toLogPattern = std::move(pattern);
    return *this;
  }
  FaultRow& with_err(std::string whole) {
    err = std::move(whole);
    return *this;
  }

  std::string name;
  std::string toOptions;    // "" or the receiving modem's faults, e.g. "lose"
  std::string fromOptions;  // ... the sending modem's
  int testTimeout;
  // The status file exactly; when "", `statusPattern`, a regular expression
  // for it.  In both, and in `err`, "@TO" stands for the receiving modem's
  // number, "@PORT" for its device name and "@N" for its port number.  The
  // run succeeds (exit code 0) when the status is "0 SUCCESS\n", else fails
  // (exit code 2).
  std::string status;
  std::string statusPattern;
  bool sendMeasured;           // whether the result line holds a send time
  std::string fromLog;         // a text the sending modem's debug log must hold ("": none)
  std::string toLog;           // ... the receiving modem's
  std::string text = "hello";  // the message sent
  std::string toLogPattern;    // a regular expression for the receiving modem's whole log
  // The whole error stream; when "", a success's is round_trip_err(text)
  // and a failure's ends with the status file's text.
  std::string err;
};

// One row's run.
struct PairRun {
  int from = 0, to = 0;  // the ports of the sending and the receiving modem
  ToolRun run;
  std::string fromLog, toLog;  // their debug logs
};

class WholeRunFixture : public ::testing::Test {
 protected:
  // Starts the simulator with `args` after "--dir <folder>".
  void start_sim(std::vector<std::string> args);

  // One run of the tool (see run_tool), killed after `timeoutSeconds`
  // (runLimit_ when 0); it must end on its own, and every text it wrote
  // must have the platform's line ends.  Safe to call from several threads
  // at once.
  ToolRun run_sms_test(const std::string& record, const std::string& dataTime = "42",
                       const std::string& workDir = "",
                       const std::string& resultName = "results.csv", double timeoutSeconds = 0);

  // Runs every row at once on one simulator ("--delay 0.3"): row i's
  // modems are COM(10+2i), sending, and COM(11+2i), receiving, numbered
  // 55510<port>; the record is "F|<testTimeout>|<from>|<number of to>|<text>
  // |0|0|115200|<to>|115200|0", with "|<commandSet>" and the option radio=0
  // (the logs hold the SMS dialogue alone) when given.  Checks for
  // each row: the run ended on its own within its test time and 10 s; its
  // status file, exit code and error stream (a failure's text ends the
  // error stream); no NUL byte in either debug log; the texts and the
  // pattern of the row's logs.  What the result line holds is left to the
  // caller.
  std::vector<PairRun> run_fault_matrix(const std::vector<FaultRow>& rows,
                                        const std::string& commandSet = "");

  // `text` with "@TO", "@PORT" and "@N" standing for port `n`'s modem
  // number (55510<n>), device name and number.
  std::string expand(std::string text, int n) const;

  // The name the tool gives port `n` in its messages.
  std::string port(int n) const { return port_name(ports_, n); }
  // The simulator's records: the network's, and port `n`'s traffic.
  std::string network_log() const { return read_file(ports_ + "/network.log"); }
  std::string traffic(int n) const {
    return read_file(ports_ + "/COM" + std::to_string(n) + ".traffic.log");
  }

  std::string ports_;  // the folder of the simulator's links
  SimProcess sim_;
  double runLimit_ = 90;  // seconds before a run is killed
};

}  // namespace smstest
