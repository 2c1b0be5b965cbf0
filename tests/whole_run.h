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
#pragma once

#include <string>
#include <vector>

#include "common/text.h"  // split
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

}  // namespace smstest
