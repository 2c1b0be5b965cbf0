#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/interrupt.h"
#include "driver/platform.h"

namespace smstest {

namespace {

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      request_interrupt(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      request_interrupt(SIGBREAK);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process when this returns: give the run the
      // time it needs to write its reports (it ends within about 100 ms).
      request_interrupt(SIGTERM);
      Sleep(2000);
      return TRUE;
    default:
      return FALSE;
  }
}

void on_signal(int signalNumber) {
  request_interrupt(signalNumber);
  signal(signalNumber, on_signal);
}

// Reopens `stream` on the null device when the program was started without
// it.
void reopen_if_closed(FILE* stream, const char* mode) {
  const int fd = _fileno(stream);
  if (fd >= 0 && _get_osfhandle(fd) != -1) return;
  FILE* reopened = freopen("NUL", mode, stream);
  (void)reopened;
}

}  // namespace

void prepare_process() {
  reopen_if_closed(stdin, "r");
  reopen_if_closed(stdout, "w");
  reopen_if_closed(stderr, "w");
  SetConsoleCtrlHandler(on_console_event, TRUE);
  signal(SIGTERM, on_signal);
}

bool init_framework() {
  // What the framework start-up needs from the system: the program's own
  // module and its command line.  Without either the process can't run.
  return GetModuleHandleA(nullptr) != nullptr && GetCommandLineA() != nullptr;
}

bool working_directory(std::string& dir, std::string& error) {
  char buffer[4096];
  if (_getcwd(buffer, sizeof buffer) == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  dir = buffer;
  return true;
}

void show_message_box(const char* text) {
  // A console tool run from scripts: a modal box would stall the run until
  // someone clicked it, so the text goes to the error stream instead.
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

}  // namespace smstest
