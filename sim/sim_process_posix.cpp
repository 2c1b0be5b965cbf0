#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "common/text.h"
#include "sim/sim_process.h"

namespace smstest {

namespace {

double now_seconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const char kReady[] = "modem_sim: ready";

}  // namespace

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start(const std::string& binary, const std::vector<std::string>& args,
                       double seconds) {
  stop();
  readyLine_.clear();
  output_.clear();
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    lastError = format("pipe failed: %s", strerror(errno));
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) {
    lastError = format("fork failed: %s", strerror(errno));
    close(pipeFds[0]);
    close(pipeFds[1]);
    return false;
  }
  if (pid_ == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  out_ = pipeFds[0];
  fcntl(out_, F_SETFD, FD_CLOEXEC);

  double until = now_seconds() + seconds;
  for (;;) {
    size_t end = output_.find('\n');
    if (end != std::string::npos && output_.compare(0, sizeof kReady - 1, kReady) == 0) {
      readyLine_ = output_.substr(0, end);
      return true;
    }
    double left = until - now_seconds();
    struct pollfd p = {out_, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) {
      lastError = "modem_sim did not get ready in time";
      break;
    }
    char buffer[512];
    ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      lastError = "modem_sim ended before it was ready";
      break;
    }
    output_.append(buffer, static_cast<size_t>(n));
  }
  stop();
  return false;
}

int SimProcess::stop(double seconds) {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  double until = now_seconds() + seconds;
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && now_seconds() < until) {
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  if (out_ >= 0) {
    // Keep what the child wrote after its ready line.
    char buffer[512];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    ssize_t n;
    while ((n = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, n);
    close(out_);
    out_ = -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace smstest
