// Child processes on POSIX systems: fork and exec, one reaping thread per
// child blocked in wait4(), whose resource usage gives the CPU time and the
// peak resident set of that child alone.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "process/child_process.h"
#include "common/text.h"

extern char** environ;

namespace smstest {

namespace {

double seconds_of(const struct timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

}  // namespace

double monotonic_seconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct ChildGroup::Impl {
  struct Entry {
    pid_t pid = -1;
    double startedAt = 0;
    bool done = false;
    ChildResult result;
    std::thread reaper;
  };

  std::mutex mutex;
  std::condition_variable ended;
  // Entries are never moved once their reaper runs: the reaper holds a pointer.
  std::vector<std::unique_ptr<Entry>> entries;

  void reap(Entry* entry) {
    int status = 0;
    struct rusage usage;
    memset(&usage, 0, sizeof usage);
    pid_t done;
    do {
      done = wait4(entry->pid, &status, 0, &usage);
    } while (done < 0 && errno == EINTR);
    const double endedAt = monotonic_seconds();
    std::lock_guard<std::mutex> lock(mutex);
    ChildResult& r = entry->result;
    r.wallSeconds = endedAt - entry->startedAt;
    if (done == entry->pid) {
      if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
      r.userSeconds = seconds_of(usage.ru_utime);
      r.systemSeconds = seconds_of(usage.ru_stime);
      r.peakRssKiB = usage.ru_maxrss;  // kilobytes on Linux
      r.voluntarySwitches = usage.ru_nvcsw;
    }
    entry->done = true;
    ended.notify_all();
  }

  void kill_running() {
    std::lock_guard<std::mutex> lock(mutex);
    // A child not yet reaped keeps its pid, so this never hits another process.
    for (auto& entry : entries) {
      if (!entry->done) {
        entry->result.timedOut = true;
        kill(entry->pid, SIGKILL);
      }
    }
  }

  void join_all() {
    for (auto& entry : entries) {
      if (entry->reaper.joinable()) entry->reaper.join();
    }
  }
};

ChildGroup::ChildGroup() : impl_(new Impl) {}

ChildGroup::~ChildGroup() {
  impl_->kill_running();
  impl_->join_all();
}

bool ChildGroup::start(const ChildCommand& command) {
  if (command.argv.empty()) {
    lastError = "no program given";
    return false;
  }
  // Everything the child needs is prepared before fork(): other threads run,
  // and the child may only call async-signal-safe functions before exec.
  std::vector<std::string> envStrings(command.env);
  for (char** e = environ; *e != nullptr; ++e) envStrings.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& a : command.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string outPath = command.stdoutPath.empty() ? "/dev/null" : command.stdoutPath;
  const std::string errPath = command.stderrPath.empty() ? "/dev/null" : command.stderrPath;

  std::unique_ptr<Impl::Entry> entry(new Impl::Entry);
  entry->startedAt = monotonic_seconds();
  pid_t pid = fork();
  if (pid < 0) {
    lastError = format("fork failed: %s", strerror(errno));
    return false;
  }
  if (pid == 0) {
    if (!command.cwd.empty() && chdir(command.cwd.c_str()) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  entry->pid = pid;
  Impl::Entry* raw = entry.get();
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->entries.push_back(std::move(entry));
  }
  raw->reaper = std::thread([this, raw] { impl_->reap(raw); });
  return true;
}

int ChildGroup::pid(size_t index) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return index < impl_->entries.size() ? impl_->entries[index]->pid : -1;
}

std::vector<ChildResult> ChildGroup::wait_all(double timeoutSeconds) {
  {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<int64_t>(timeoutSeconds * 1000));
    impl_->ended.wait_until(lock, deadline, [this] {
      for (auto& entry : impl_->entries) {
        if (!entry->done) return false;
      }
      return true;
    });
  }
  impl_->kill_running();
  impl_->join_all();
  std::vector<ChildResult> results;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& entry : impl_->entries) results.push_back(entry->result);
  return results;
}

bool process_cpu_seconds(int pid, double& seconds) {
  std::ifstream in(format("/proc/%d/stat", pid));
  std::string line;
  if (!std::getline(in, line)) return false;
  // The command name (field 2) may hold blanks and parentheses: count the
  // fields from the last ')'.  utime and stime are fields 14 and 15.
  size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int k = 3; k <= 15 && (fields >> field); ++k) {
    if (k == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (k == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  if (!fields) return false;
  long ticks = sysconf(_SC_CLK_TCK);
  if (ticks <= 0) return false;
  seconds = static_cast<double>(utime + stime) / static_cast<double>(ticks);
  return true;
}

}  // namespace smstest
