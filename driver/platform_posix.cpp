#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/interrupt.h"
#include "driver/platform.h"

namespace smstest {

namespace {

void on_signal(int signalNumber) { request_interrupt(signalNumber); }

}  // namespace

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is `fd` itself.
    int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  // No SA_RESTART: a wait that the signal cuts short goes round its loop
  // and finds the request.
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool init_framework() { return true; }

bool working_directory(std::string& dir, std::string& error) {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  dir = buffer;
  return true;
}

void show_message_box(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

}  // namespace smstest
