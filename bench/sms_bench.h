// The parts of sms_bench, the whole-run benchmark of SMS_TEST against the
// simulated modems, and what they share: the options, the tool's rhythm and
// the targets, table and CSV output, the simulator.
//
//   fidelity.cpp  reported send and delivery times against the true ones,
//                 with the proprietary commands and in text mode
//   report_fidelity.cpp  confirmTime of runs with status reports
//   speed.cpp     fidelity by message size, 32 at once; run overhead and
//                 throughput of a modem pair
//   load.cpp      idle cost of a waiting run; many runs at once
//   sms_bench.cpp the command line and the helpers below
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "sim/sim_process.h"

namespace smstest {

// The tool's rhythm: a read request lasts about 100 ms when the answer does
// not fill the buffer, the receive poll pauses 100 ms between requests, and
// the send pauses 100 ms after its command before it takes `sendStart`.
constexpr double kReadRequest = 0.1;
constexpr double kPollPause = 0.1;
constexpr double kSendPause = 0.1;

// Targets of the measurements.
constexpr double kMedianErrorTarget = 0.15;  // |deliveryTime - true|, median
constexpr double kMaxErrorTarget = 0.3;      // |deliveryTime - true|, maximum
constexpr double kIdleCpuTarget = 0.01;      // share of one core while waiting
constexpr double kPeakRssTargetKiB = 8 * 1024;
// In text mode, for |deliveryTime - true| and |sendTime - true| alike.
constexpr double kTextMedianTarget = 0.02;
constexpr double kTextMaxTarget = 0.05;
// The speed part, standard sets: |error| per row, and a whole run's overhead.
constexpr double kSpeedMedianTarget = 0.002;
constexpr double kSpeedMaxTarget = 0.010;
constexpr double kSpeedMaxTargetLoaded = 0.020;  // 32 round trips at once
constexpr double kOverheadTarget = 0.15;

struct Options {
  std::string out;   // CSV files
  std::string work;  // working directories of the runs, the simulators' records
  std::string tool;
  std::string sim;
  std::vector<std::string> parts = {"fidelity", "fidelity-text", "fidelity-pdu", "fidelity-reports",
                                    "speed",    "idle",          "scale"};
  int runs = 10;      // fidelity runs per delivery and confirmation delay
  int parallel = 24;  // fidelity runs at once at most
  bool sweep = true;  // fidelity: the phase sweep as well
  double idleWait = 20;
  std::vector<int> scale = {1, 8, 32, 64};
  std::vector<double> delays = {0.5, 1, 2, 5};
  std::vector<double> confirms = {0, 0.5, 1};
};

// Each part prints its tables, writes its CSV files into `out` and returns
// false only when it could not run (the simulator or a run did not start).
bool run_fidelity(const Options& o);
bool run_fidelity_text(const Options& o);
bool run_fidelity_pdu(const Options& o);
bool run_fidelity_reports(const Options& o);
bool run_speed(const Options& o);
bool run_idle(const Options& o);
bool run_scale(const Options& o);

// Adds one line to the summary of targets printed at the end of the run.
void note_target(const std::string& line);

// One line of progress on standard error.
void progress(const std::string& text);

// A number for tables and CSV, "-" for NaN.
std::string num(double v, const char* fmt = "%.3f");
std::string signed_num(double v);

std::vector<double> absolutes(const std::vector<double>& values);

// A CSV file written row by row; nothing is written when it can't be created.
class Csv {
 public:
  explicit Csv(const std::string& path);
  ~Csv();
  Csv(const Csv&) = delete;
  Csv& operator=(const Csv&) = delete;
  void row(const std::vector<std::string>& cells);

 private:
  std::FILE* file_;
};

// Starts modem_sim with records in `ports` and the given "--modem" values.
bool start_sim(SimProcess& sim, const Options& o, const std::string& ports,
               const std::vector<std::string>& modems);

// CPU seconds the simulator has used so far; NaN when unknown.
double sim_cpu(const SimProcess& sim);

// One progress line for each run that did not succeed or can't be traced.
// False when a run could not even start the tool (exit code 127): the
// benchmark itself is broken then, and its part fails.
bool report_failures(const char* part, const std::vector<RoundTripJob>& jobs,
                     const std::vector<RoundTripOutcome>& outcomes);

}  // namespace smstest
