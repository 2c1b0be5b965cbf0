// Child processes on POSIX systems: fork and exec, one reaping thread per
// child blocked in wait4(), whose resource usage gives the CPU time and the
// peak resident set of that child alone.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/clock.h"
#include "common/text.h"
#include "process/child_process.h"

extern char** environ;

namespace smstest {

namespace {

// Makes `fd` the child's descriptor `target`, open across exec.  A file
// opened onto the target number itself (the parent had it closed) only
// loses its close-on-exec flag: dup2() would leave it set.
bool as_standard_fd(int fd, int target) {
  if (fd == target) return fcntl(fd, F_SETFD, 0) == 0;
  return dup2(fd, target) == target;
}

double seconds_of(const struct timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

}  // namespace

struct ChildGroup::Impl {
  struct Entry {
    pid_t pid = -1;
    int output = -1;  // read end of the standard-output pipe, -1 for none
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

  // A child not yet reaped keeps its pid, so these never hit another
  // process.
  void signal_running(int signal) {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& entry : entries) {
      if (!entry->done) kill(entry->pid, signal);
    }
  }

  void kill_running() {
    std::lock_guard<std::mutex> lock(mutex);
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
  for (auto& entry : impl_->entries) {
    if (entry->output >= 0) close(entry->output);
  }
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
  const std::string inPath = command.stdinPath.empty() ? "/dev/null" : command.stdinPath;
  const std::string outPath = command.stdoutPath.empty() ? "/dev/null" : command.stdoutPath;
  const std::string errPath = command.stderrPath.empty() ? "/dev/null" : command.stderrPath;
  // Both ends close on exec, so that children started meanwhile by other
  // threads never hold the write end open; dup2() below clears the flag on
  // the child's standard output.
  int pipeFds[2] = {-1, -1};
  if (command.stdoutToPipe && pipe2(pipeFds, O_CLOEXEC) != 0) {
    lastError = format("pipe failed: %s", strerror(errno));
    return false;
  }

  std::unique_ptr<Impl::Entry> entry(new Impl::Entry);
  entry->startedAt = monotonic_seconds();
  pid_t pid = fork();
  if (pid < 0) {
    lastError = format("fork failed: %s", strerror(errno));
    if (pipeFds[0] >= 0) close(pipeFds[0]);
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    return false;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.  The files are opened
    // close-on-exec: the program gets them as 0, 1 and 2 only.
    if (!command.cwd.empty() && chdir(command.cwd.c_str()) != 0) _exit(127);
    int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = command.stdoutToPipe
                  ? pipeFds[1]
                  : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = command.inheritStderr
                  ? 2
                  : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    if (!as_standard_fd(in, 0) || !as_standard_fd(out, 1) || !as_standard_fd(err, 2)) _exit(127);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  entry->pid = pid;
  if (command.stdoutToPipe) {
    close(pipeFds[1]);
    entry->output = pipeFds[0];
  }
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

OutputRead ChildGroup::read_output(size_t index, double seconds, std::string& into) {
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (index < impl_->entries.size()) fd = impl_->entries[index]->output;
  }
  if (fd < 0) return OutputRead::kEnded;
  const double until = monotonic_seconds() + (seconds > 0 ? seconds : 0);
  for (;;) {
    const double left = until - monotonic_seconds();
    struct pollfd request = {fd, POLLIN, 0};
    const double wait = left > 0 ? std::min(left * 1000 + 1, 3.6e6) : 0;  // at most an hour
    int ready = poll(&request, 1, static_cast<int>(wait));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return OutputRead::kEnded;
    if (ready == 0) return OutputRead::kNothingYet;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return OutputRead::kEnded;
    into.append(buffer, static_cast<size_t>(n));
    return OutputRead::kGot;
  }
}

void ChildGroup::terminate_all() { impl_->signal_running(SIGTERM); }

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
