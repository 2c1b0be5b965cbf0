// Round trips of SMS_TEST against one running modem_sim, as sms_bench runs
// them: each in a working directory of its own, on a simulated modem of its
// own that both sends and receives, many at once.  After the runs the tool's
// status and result files and the simulator's records are read back, so that
// every reported time can be set beside the true one.
#pragma once

#include <string>
#include <vector>

#include "bench/run_records.h"
#include "process/child_process.h"

namespace smstest {

// One round trip to run.
struct RoundTripJob {
  std::string dir;         // working directory, created if missing
  std::string name;        // testName
  int port = 0;            // COM port number of the sending modem
  std::string number;      // the receiving modem's phone number
  int toPort = 0;          // the receiving modem's port; 0: `port` does both
  std::string dataTime;    // unique among the runs of one simulator
  std::string resultName;  // result file, as named in the command file
  int testTimeout = 30;
  std::string text = "benchmark";
  std::string commandSet;            // the command file's twelfth field; "" leaves it out
  std::vector<std::string> options;  // "name=value" lines after line 3
  int parts = 1;                     // parts the message goes in (PDU mode splits a long text)

  // The message as the simulator carries it: time marker, then the text.
  std::string message() const { return "tImE" + dataTime + "T" + text; }
};

// What one round trip left behind.
struct RoundTripOutcome {
  ChildResult process;
  std::string status;      // the status file, "" when none
  bool hasResult = false;  // a result line of this run was found and parsed
  ResultTimes result;
  bool traced = false;  // the simulator's records show the whole round trip
  RoundTripTrace trace;
  std::string traceError;

  bool succeeded() const { return process.exitCode == 0 && status == "0 SUCCESS\n"; }
  // Reported delivery time less the true delivery delay.
  double delivery_error() const;
  // Reported send time less the true confirmation delay.
  double send_error() const;
};

// The link name and phone number of the simulated modem on `port`.
std::string modem_name(int port);
std::string modem_number(int port);

// Writes the command file and starts SMS_TEST (`tool`) for `job` in `group`,
// with its ports in `portsDir`.  False, with the reason in `error`.
bool start_round_trip(ChildGroup& group, const std::string& tool, const std::string& portsDir,
                      const RoundTripJob& job, std::string& error);

// Reads back what the run of `job` left (status file, its line in the result
// file, the simulator's records in `portsDir`).
RoundTripOutcome collect_round_trip(const RoundTripJob& job, const ChildResult& process,
                                    const std::string& portsDir);

// Starts every job at once, waits up to `timeoutSeconds` for all of them and
// collects them.  False, with the reason in `error`, when a run could not be
// started (the others are then stopped).
bool run_round_trips(const std::string& tool, const std::string& portsDir,
                     const std::vector<RoundTripJob>& jobs, double timeoutSeconds,
                     std::vector<RoundTripOutcome>& outcomes, std::string& error);

// Creates `path` and its missing parents.  False when it can't.
bool make_dirs(const std::string& path);

}  // namespace smstest
