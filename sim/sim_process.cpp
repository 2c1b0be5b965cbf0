#include "sim/sim_process.h"

#include "common/clock.h"
#include "process/child_process.h"

namespace smstest {

namespace {

const char kReady[] = "modem_sim: ready";

}  // namespace

SimProcess::SimProcess() = default;

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start(const std::string& binary, const std::vector<std::string>& args,
                       double seconds) {
  stop();
  readyLine_.clear();
  output_.clear();
  ChildCommand command;
  command.argv.push_back(binary);
  command.argv.insert(command.argv.end(), args.begin(), args.end());
  command.stdoutToPipe = true;
  command.inheritStderr = true;
  child_.reset(new ChildGroup);
  if (!child_->start(command)) {
    lastError = child_->lastError;
    child_.reset();
    return false;
  }

  const double until = monotonic_seconds() + seconds;
  for (;;) {
    size_t end = output_.find('\n');
    if (end != std::string::npos && output_.compare(0, sizeof kReady - 1, kReady) == 0) {
      readyLine_ = output_.substr(0, end);
      return true;
    }
    const double left = until - monotonic_seconds();
    OutputRead read = left > 0 ? child_->read_output(0, left, output_) : OutputRead::kNothingYet;
    if (read == OutputRead::kNothingYet) {
      lastError = "modem_sim did not get ready in time";
      break;
    }
    if (read == OutputRead::kEnded) {
      lastError = "modem_sim ended before it was ready";
      break;
    }
  }
  stop();
  return false;
}

int SimProcess::stop(double seconds) {
  if (!child_) return -1;
  child_->terminate_all();
  const ChildResult result = child_->wait_all(seconds).front();
  // Keep what the child wrote after its ready line.
  while (child_->read_output(0, 0, output_) == OutputRead::kGot) {
  }
  child_.reset();
  if (result.exitCode >= 0) return result.exitCode;
  if (result.signal > 0) return 128 + result.signal;
  return -1;
}

int SimProcess::pid() const { return child_ ? child_->pid(0) : -1; }

}  // namespace smstest
