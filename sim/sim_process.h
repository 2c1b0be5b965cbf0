// Runs modem_sim as a child process, for whole-run tests and the
// benchmarks: start it, wait for its ready line, run the tool against the
// links, read the records, stop it.  The child runs on process/child_process.h.
//
//   SimProcess sim;
//   ASSERT_TRUE(sim.start(MODEM_SIM_BINARY, {"--dir", dir, "--modem", "COM3=5550103"}))
//       << sim.lastError;
//   ... SMS_TEST_PORTS=dir SMS_TEST ...
//   EXPECT_EQ(0, sim.stop());
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace smstest {

class ChildGroup;

class SimProcess {
 public:
  SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess();  // stops a child still running

  // Starts `binary` with `args` and waits up to `seconds` for its ready
  // line.  Its standard error goes where the caller's goes.  False with the
  // reason in `lastError` (the child is then stopped); what the child wrote
  // to standard output is in output().
  bool start(const std::string& binary, const std::vector<std::string>& args,
             double seconds = 10.0);

  // The "modem_sim: ready ..." line, without its line end.
  const std::string& ready_line() const { return readyLine_; }

  // Everything read from the child's standard output so far.
  const std::string& output() const { return output_; }

  // Sends SIGTERM and waits up to `seconds` for the child to end; then
  // kills it.  Returns its exit code, 128 + the signal that ended it, or -1
  // when no child runs.
  int stop(double seconds = 5.0);

  bool running() const { return child_ != nullptr; }
  // The child's process id, -1 when none runs.
  int pid() const;

  std::string lastError;

 private:
  std::unique_ptr<ChildGroup> child_;  // one child while it runs
  std::string readyLine_;
  std::string output_;
};

}  // namespace smstest
