// Child processes for the programs and tests around SMS_TEST: start programs
// in directories of their own, wait for all of them with a time limit, and
// collect what each cost (wall time, CPU time, peak memory).  The benchmark
// harness (sms_bench) starts the tool and the simulator through this, the
// simulator's runner (sim/sim_process.h) reads the simulator's ready line
// through it, and the tests run whole programs with it
// (testsupport/run_process.h).  One implementation per platform
// (child_process_posix.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace smstest {

// One program to start.
struct ChildCommand {
  std::vector<std::string> argv;  // argv[0] is the program path
  std::string cwd;                // working directory of the child ("" for the caller's)
  std::vector<std::string> env;   // "NAME=value" entries added to the environment
  std::string stdinPath;          // where standard input comes from ("" for /dev/null)
  std::string stdoutPath;         // where standard output goes ("" for /dev/null)
  std::string stderrPath;         // where standard error goes ("" for /dev/null)
  // Standard output into a pipe that ChildGroup::read_output reads instead
  // of stdoutPath.
  bool stdoutToPipe = false;
  // Standard error where the caller's goes instead of stderrPath.
  bool inheritStderr = false;
};

// What one child cost, as the system accounts it once the child has ended.
struct ChildResult {
  int exitCode = -1;  // -1 when it did not exit normally
  int signal = 0;     // the signal that ended it, 0 when it exited
  bool timedOut = false;
  double wallSeconds = 0;      // from its start to the moment it was reaped
  double userSeconds = 0;      // CPU time in user mode
  double systemSeconds = 0;    // CPU time in the kernel
  long peakRssKiB = 0;         // largest resident set size
  long voluntarySwitches = 0;  // times it gave up the CPU to wait (its wake-ups)
  double cpu_seconds() const { return userSeconds + systemSeconds; }
};

// Outcome of ChildGroup::read_output.
enum class OutputRead {
  kGot,         // some bytes were appended
  kNothingYet,  // nothing came within the time given
  kEnded,       // the pipe is closed: the child ended or closed its output
};

// A set of children that run at the same time.  Each child is reaped by a
// thread of its own as soon as it ends, so its wall time is exact whatever the
// others do.  Children still running when the group is destroyed are killed
// and reaped.  Starting and waiting belong to one thread; pid() may be asked
// from any.
class ChildGroup {
 public:
  ChildGroup();
  ~ChildGroup();
  ChildGroup(const ChildGroup&) = delete;
  ChildGroup& operator=(const ChildGroup&) = delete;

  // Starts one child.  False, with the reason in `lastError`, when it could
  // not be started (a program that can't be executed, or whose files can't
  // be opened, exits with 127).
  bool start(const ChildCommand& command);

  // Process id of the `index`-th child started, -1 for no such child.
  int pid(size_t index) const;

  // Waits up to `seconds` (0: not at all) for output from the pipe of the
  // `index`-th child (started with stdoutToPipe) and appends to `into` what
  // one read gives.  A child without a pipe reads as kEnded.
  OutputRead read_output(size_t index, double seconds, std::string& into);

  // Asks every child still running to end (SIGTERM); returns at once.
  void terminate_all();

  // Waits until every child has ended, killing those still running
  // `timeoutSeconds` after this call; then returns their results in the
  // order they were started.
  std::vector<ChildResult> wait_all(double timeoutSeconds);

  std::string lastError;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// CPU time (user + kernel) that process `pid` has used so far, read while it
// runs; false when it can't be read.  Resolution: one clock tick (usually
// 10 ms).
bool process_cpu_seconds(int pid, double& seconds);

}  // namespace smstest
