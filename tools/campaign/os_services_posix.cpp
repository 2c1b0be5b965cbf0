#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>

#include "common/text.h"
#include "tools/campaign/os_services.h"

namespace smstest {

namespace {

// What the child reports through its error pipe when it can't get to exec.
struct StartFailure {
  int step;  // 0 folder, 1 program
  int error;
};

class PosixChild : public ChildProcess {
 public:
  explicit PosixChild(pid_t pid) : pid_(pid) {}
  ~PosixChild() override { wait(); }

  ChildExit wait() override {
    // The child is waited for without being reaped first, so that its
    // process id can't be handed to another process while interrupt() may
    // still signal it; only then is it reaped under the lock.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (reaped_) return exit_;
    }
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return exit_;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    if (WIFEXITED(status)) {
      exit_.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      exit_.signal = WTERMSIG(status);
      exit_.exitCode = 128 + exit_.signal;
    }
    return exit_;
  }

  void interrupt(int signal) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const int number = signal == kSignalTerminate ? SIGTERM
                       : signal == kSignalHangup  ? SIGHUP
                                                  : SIGINT;
    if (!reaped_) ::kill(pid_, number);
  }

  void kill() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reaped_) ::kill(pid_, SIGKILL);
  }

 private:
  pid_t pid_;
  std::mutex mutex_;
  bool reaped_ = false;
  ChildExit exit_;
};

// The self-pipe of the interrupt handler: the handler only writes the signal
// number into it, which is all a signal handler may safely do.
int g_interruptPipe[2] = {-1, -1};

void note_interrupt(int signal) {
  int saved = errno;
  unsigned char number = static_cast<unsigned char>(signal);
  ssize_t ignored = write(g_interruptPipe[1], &number, 1);
  (void)ignored;
  errno = saved;
}

}  // namespace

// The environment of a child: this process's, each variable of `added`
// ("NAME=value") in place of one of the same name.  The pointers stay valid
// as long as `added` and the environment do.
static std::vector<char*> child_environment(const std::vector<std::string>& added) {
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* equals = strchr(*e, '=');
    const size_t name = equals != nullptr ? static_cast<size_t>(equals - *e) : strlen(*e);
    bool replaced = false;
    for (const std::string& a : added) {
      if (a.size() > name && a[name] == '=' && a.compare(0, name, *e, name) == 0) replaced = true;
    }
    if (!replaced) env.push_back(*e);
  }
  for (const std::string& a : added) env.push_back(const_cast<char*>(a.c_str()));
  env.push_back(nullptr);
  return env;
}

std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& argv,
                                          const std::string& cwd, const std::string& outputPath,
                                          std::string& error,
                                          const std::vector<std::string>& environment) {
  // Everything is prepared before fork(): other threads run, so the child
  // may only make the system calls that lead to exec.  Every descriptor is
  // close-on-exec, so a child started at the same moment by another thread
  // inherits none of this one's.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env = child_environment(environment);
  int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  int report[2] = {-1, -1};
  // The lock goes with the open file that the child's output streams share:
  // it lasts as long as the child (or a process it started) holds them.
  // No other process holds it: a run number is never used twice.
  if (output >= 0) (void)flock(output, LOCK_EX | LOCK_NB);
  if (input < 0 || output < 0 || pipe2(report, O_CLOEXEC) != 0) {
    error = output < 0 ? format("cannot create %s: %s", outputPath.c_str(), strerror(errno))
                       : format("cannot start %s: %s", argv[0].c_str(), strerror(errno));
    for (int fd : {input, output, report[0], report[1]})
      if (fd >= 0) close(fd);
    return nullptr;
  }
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    // The campaign ignores SIGPIPE (see catch_interrupts); SMS_TEST gets
    // the default back, as if started from a shell.
    struct sigaction deflt;
    memset(&deflt, 0, sizeof deflt);
    deflt.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &deflt, nullptr);
    StartFailure failure = {0, 0};
    if (chdir(cwd.c_str()) == 0) {
      dup2(input, STDIN_FILENO);
      dup2(output, STDOUT_FILENO);
      dup2(output, STDERR_FILENO);
      execve(args[0], args.data(), env.data());
      failure.step = 1;
    }
    failure.error = errno;
    ssize_t ignored = write(report[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }
  int forkError = errno;
  close(input);
  close(output);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    error = format("cannot start %s: %s", argv[0].c_str(), strerror(forkError));
    return nullptr;
  }
  // Also set here: whichever of the two runs first, the child is in its own
  // group before anything is signalled.
  setpgid(pid, pid);
  StartFailure failure;
  ssize_t n;
  while ((n = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  std::unique_ptr<ChildProcess> child(new PosixChild(pid));
  if (n == static_cast<ssize_t>(sizeof failure)) {
    child->wait();
    error = failure.step == 0
                ? format("cannot enter %s: %s", cwd.c_str(), strerror(failure.error))
                : format("cannot start %s: %s", argv[0].c_str(), strerror(failure.error));
    return nullptr;
  }
  return child;
}

bool output_in_use(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool busy = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return busy;
}

namespace {

class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FolderLock> lock_folder(const std::string& path, long& holder, std::string& error) {
  holder = -1;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = format("cannot open %s: %s", path.c_str(), strerror(errno));
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) {
      error = format("cannot lock %s: %s", path.c_str(), strerror(errno));
      close(fd);
      return nullptr;
    }
    // The holder writes its id right after it took the lock.
    holder = 0;
    for (int attempt = 0; attempt < 20 && holder <= 0; ++attempt) {
      char text[32] = {};
      ssize_t n = pread(fd, text, sizeof text - 1, 0);
      if (n > 0) holder = strtol(text, nullptr, 10);
      if (holder <= 0) usleep(10000);
    }
    if (holder < 0) holder = 0;
    close(fd);
    return nullptr;
  }
  const std::string id = format("%ld\n", static_cast<long>(getpid()));
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, id.data(), id.size(), 0) != static_cast<ssize_t>(id.size())) {
    error = format("cannot write %s: %s", path.c_str(), strerror(errno));
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<FolderLock>(new PosixFolderLock(fd));
}

bool catch_interrupts(std::string& error) {
  if (g_interruptPipe[0] < 0) {
    if (pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      error = format("cannot create a pipe: %s", strerror(errno));
      return false;
    }
  }
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = note_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // Progress piped into a reader that goes away must not end the campaign
  // without its runs' lines: writes to it fail instead.
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0 ||
      sigaction(SIGHUP, &action, nullptr) != 0 || sigaction(SIGPIPE, &ignore, nullptr) != 0) {
    error = format("cannot catch signals: %s", strerror(errno));
    return false;
  }
  return true;
}

int wait_for_interrupt(int milliseconds) {
  if (g_interruptPipe[0] < 0) return 0;
  struct pollfd p = {g_interruptPipe[0], POLLIN, 0};
  if (poll(&p, 1, milliseconds) <= 0) return 0;
  unsigned char number = 0;
  if (read(g_interruptPipe[0], &number, 1) != 1) return 0;
  if (number == SIGHUP) return kSignalHangup;
  return number == SIGTERM ? kSignalTerminate : kSignalInterrupt;
}

bool stdout_is_terminal() {
  if (!isatty(STDOUT_FILENO)) return false;
  const char* term = getenv("TERM");
  return term == nullptr || strcmp(term, "dumb") != 0;
}

int terminal_columns() {
  struct winsize size;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool is_program(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string own_executable_path() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

const char* sms_test_program_name() { return "SMS_TEST"; }

}  // namespace smstest
