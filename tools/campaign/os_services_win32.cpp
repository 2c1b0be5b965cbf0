#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "common/text.h"
#include "tools/campaign/os_services.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace smstest {

namespace {

// The exit code of a console process ended by Ctrl-C or Ctrl-Break.
constexpr DWORD kControlCExit = 0xC000013AUL;
// The exit code given to a child ended by kill(): 128 + 9, as a shell
// reports a process ended by SIGKILL.
constexpr DWORD kKilledExit = 137;

std::string system_error_text(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 && text != nullptr ? std::string(text, n) : format("error %lu", code);
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  return out;
}

// One argument as the C runtime of the child splits its command line again:
// quoted when it holds blanks or quotes, backslashes doubled only where they
// stand before a quote.
std::string quote_argument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out += arg[i];
  }
  out += '"';
  return out;
}

class Win32Child : public ChildProcess {
 public:
  Win32Child(HANDLE process, DWORD id) : process_(process), id_(id) {}
  ~Win32Child() override {
    wait();
    CloseHandle(process_);
  }

  ChildExit wait() override {
    // The process handle stays open until the object goes, so the id that
    // interrupt() uses can't pass to another process meanwhile.
    WaitForSingleObject(process_, INFINITE);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_) {
      DWORD code = 0;
      GetExitCodeProcess(process_, &code);
      ended_ = true;
      if (code == kControlCExit) {
        exit_.signal = kSignalInterrupt;
        exit_.exitCode = 128 + kSignalInterrupt;
      } else {
        exit_.exitCode = static_cast<int>(code);
      }
    }
    return exit_;
  }

  void interrupt(int /*signal*/) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return;
    // The child leads a process group of its own, which takes Ctrl-Break
    // (Ctrl-C can't be sent to another group).  Without a console to carry
    // it, ending the child the way a Ctrl-C would is the closest.
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id_)) TerminateProcess(process_, kControlCExit);
  }

  void kill() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return;
    TerminateProcess(process_, kKilledExit);
  }

 private:
  HANDLE process_;
  DWORD id_;
  std::mutex mutex_;
  bool ended_ = false;
  ChildExit exit_;
};

// Inheritable handles reach every child created while they are open, so
// children are created one at a time.
std::mutex g_startMutex;

std::mutex g_interruptMutex;
std::condition_variable g_interruptCond;
std::deque<int> g_interrupts;

BOOL WINAPI note_interrupt(DWORD event) {
  int signal = 0;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      signal = kSignalInterrupt;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signal = kSignalTerminate;
      break;
    default:
      return FALSE;
  }
  // The system calls this on a thread of its own, so it may lock.
  {
    std::lock_guard<std::mutex> lock(g_interruptMutex);
    g_interrupts.push_back(signal);
  }
  g_interruptCond.notify_all();
  // After a close, log-off or shut-down event the process ends as soon as
  // the handler returns; holding it here leaves the campaign the few
  // seconds the system grants to pass the event on and log its runs.  The
  // campaign's own exit ends this thread.
  if (signal == kSignalTerminate) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

// The environment block of a child: this process's variables, each of
// `added` ("NAME=value") in place of one of the same name (names compared
// without case, as Windows does); empty when nothing is added.
static std::vector<char> child_environment(const std::vector<std::string>& added) {
  std::vector<char> block;
  if (added.empty()) return block;
  char* strings = GetEnvironmentStringsA();
  for (const char* e = strings; e != nullptr && *e != '\0'; e += std::strlen(e) + 1) {
    // Names of the drive variables ("=C:=C:\\") begin with '='.
    const char* equals = std::strchr(e + 1, '=');
    const size_t name = equals != nullptr ? static_cast<size_t>(equals - e) : std::strlen(e);
    bool replaced = false;
    for (const std::string& a : added) {
      if (a.size() > name && a[name] == '=' && _strnicmp(a.c_str(), e, name) == 0) replaced = true;
    }
    if (!replaced) block.insert(block.end(), e, e + std::strlen(e) + 1);
  }
  if (strings != nullptr) FreeEnvironmentStringsA(strings);
  for (const std::string& a : added) block.insert(block.end(), a.c_str(), a.c_str() + a.size() + 1);
  block.push_back('\0');
  return block;
}

std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& argv,
                                          const std::string& cwd, const std::string& outputPath,
                                          std::string& error,
                                          const std::vector<std::string>& environment) {
  std::string commandLine;
  for (const std::string& a : argv) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += quote_argument(a);
  }
  std::lock_guard<std::mutex> lock(g_startMutex);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    error = format("cannot create %s: %s", outputPath.c_str(),
                   system_error_text(GetLastError()).c_str());
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    return nullptr;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  std::vector<char> env = child_environment(environment);
  BOOL started =
      CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                     env.empty() ? nullptr : env.data(), cwd.c_str(), &startup, &info);
  DWORD startError = GetLastError();
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  CloseHandle(output);
  if (!started) {
    error = format("cannot start %s: %s", argv[0].c_str(), system_error_text(startError).c_str());
    return nullptr;
  }
  CloseHandle(info.hThread);
  return std::unique_ptr<ChildProcess>(new Win32Child(info.hProcess, info.dwProcessId));
}

bool output_in_use(const std::string& path) {
  // The child holds its output open for writing; while it does, an open
  // that shares reading only is refused.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

namespace {

class Win32FolderLock : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE h) : h_(h) {}
  ~Win32FolderLock() override { CloseHandle(h_); }

 private:
  HANDLE h_;
};

// The byte locked: far past the process id written at the start, which
// another process must still be able to read.
constexpr DWORD kLockOffsetHigh = 1;

}  // namespace

std::unique_ptr<FolderLock> lock_folder(const std::string& path, long& holder, std::string& error) {
  holder = -1;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = format("cannot open %s: %s", path.c_str(), system_error_text(GetLastError()).c_str());
    return nullptr;
  }
  OVERLAPPED at = {};
  at.OffsetHigh = kLockOffsetHigh;
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    DWORD code = GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      error = format("cannot lock %s: %s", path.c_str(), system_error_text(code).c_str());
      CloseHandle(h);
      return nullptr;
    }
    holder = 0;
    for (int attempt = 0; attempt < 20 && holder <= 0; ++attempt) {
      char text[32] = {};
      DWORD n = 0;
      SetFilePointer(h, 0, nullptr, FILE_BEGIN);
      if (ReadFile(h, text, sizeof text - 1, &n, nullptr) && n > 0)
        holder = strtol(text, nullptr, 10);
      if (holder <= 0) Sleep(10);
    }
    if (holder < 0) holder = 0;
    CloseHandle(h);
    return nullptr;
  }
  const std::string id = format("%lu\n", GetCurrentProcessId());
  DWORD written = 0;
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  if (!SetEndOfFile(h) ||
      !WriteFile(h, id.data(), static_cast<DWORD>(id.size()), &written, nullptr) ||
      written != id.size()) {
    error = format("cannot write %s: %s", path.c_str(), system_error_text(GetLastError()).c_str());
    CloseHandle(h);
    return nullptr;
  }
  return std::unique_ptr<FolderLock>(new Win32FolderLock(h));
}

bool catch_interrupts(std::string& error) {
  if (!SetConsoleCtrlHandler(note_interrupt, TRUE)) {
    error = format("cannot catch console events: %s", system_error_text(GetLastError()).c_str());
    return false;
  }
  return true;
}

int wait_for_interrupt(int milliseconds) {
  std::unique_lock<std::mutex> lock(g_interruptMutex);
  if (!g_interruptCond.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [] { return !g_interrupts.empty(); }))
    return 0;
  int signal = g_interrupts.front();
  g_interrupts.pop_front();
  return signal;
}

bool stdout_is_terminal() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  // Redrawing in place needs the console to take cursor movements; older
  // consoles refuse them and get the plain lines.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminal_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

bool is_program(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string own_executable_path() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
}

const char* sms_test_program_name() { return "SMS_TEST.exe"; }

}  // namespace smstest
