// The reader process on POSIX systems: posix_spawn with the program's
// standard output on a pipe, poll() giving the reads their time limits.
//
// The pipe's ends are close-on-exec, so that no other child of the campaign
// (an SMS_TEST run started at the same moment) keeps the write end open and
// hides the reader's end.  The reader gets a process group of its own (a
// Ctrl-C at the terminal is the campaign's to handle) and the default
// actions of the signals the campaign catches or ignores: a reader whose
// campaign is gone dies of SIGPIPE at its next line.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gps/os_text.h"
#include "gps/reader_process.h"

extern char** environ;

namespace smstest {

namespace {

class PosixReaderProcess : public ReaderProcess {
 public:
  ~PosixReaderProcess() override { stop(); }

  bool start(const std::vector<std::string>& argv) override {
    stop();
    if (argv.empty()) {
      lastError = "no program to start";
      return false;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      lastError = "cannot make a pipe: " + os_error_text(errno);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int status = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (status != 0) {
      ::close(ends[0]);
      lastError = "cannot start " + argv[0] + ": " + os_error_text(status);
      return false;
    }
    pid_ = pid;
    fd_ = ends[0];
    return true;
  }

  ReaderReceive receive(std::string& into, int timeoutMs) override {
    if (fd_ < 0) return ReaderReceive::kEnded;
    pollfd entry{fd_, POLLIN, 0};
    int ready = ::poll(&entry, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return ReaderReceive::kTimeout;
    if (ready < 0) {
      lastError = "poll: " + os_error_text(errno);
      return ReaderReceive::kFailed;
    }
    char buffer[4096];
    ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<size_t>(got));
      return ReaderReceive::kData;
    }
    if (got == 0) return ReaderReceive::kEnded;
    if (errno == EINTR || errno == EAGAIN) return ReaderReceive::kTimeout;
    lastError = "read: " + os_error_text(errno);
    return ReaderReceive::kFailed;
  }

  void stop() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<ReaderProcess> make_reader_process() {
  return std::make_unique<PosixReaderProcess>();
}

}  // namespace smstest
