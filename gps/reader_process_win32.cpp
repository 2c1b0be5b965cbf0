// The reader process on Windows: CreateProcess with the program's standard
// output on an anonymous pipe.  An anonymous pipe can't be waited on with a
// time limit, so receive() looks at it with PeekNamedPipe every few
// milliseconds.  Only the write end is inherited, and only by this child
// (an explicit handle list), so that no SMS_TEST run started at the same
// moment keeps it open.
#include <windows.h>

#include <chrono>

#include "gps/os_text.h"
#include "gps/reader_process.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A command line argument quoted the way the C runtime splits them.
std::string quote_argument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

class Win32ReaderProcess : public ReaderProcess {
 public:
  ~Win32ReaderProcess() override { stop(); }

  bool start(const std::vector<std::string>& argv) override {
    stop();
    if (argv.empty()) {
      lastError = "no program to start";
      return false;
    }
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
      lastError = "cannot make a pipe: " + os_error_text(static_cast<int>(GetLastError()));
      return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE handles[2] = {writeEnd, nul};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    bool ok = nul != INVALID_HANDLE_VALUE && InitializeProcThreadAttributeList(list, 1, 0, &size) &&
              UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                        sizeof handles, nullptr, nullptr);
    std::string commandLine;
    for (const std::string& arg : argv) {
      if (!commandLine.empty()) commandLine += ' ';
      commandLine += quote_argument(arg);
    }
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = nul;
    startup.lpAttributeList = list;
    PROCESS_INFORMATION process{};
    if (ok) {
      ok =
          CreateProcessA(argv[0].c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                         EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP,
                         nullptr, nullptr, &startup.StartupInfo, &process);
    }
    const DWORD error = GetLastError();
    if (size > 0 && list != nullptr) DeleteProcThreadAttributeList(list);
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) {
      CloseHandle(readEnd);
      lastError = "cannot start " + argv[0] + ": " + os_error_text(static_cast<int>(error));
      return false;
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    pipe_ = readEnd;
    return true;
  }

  ReaderReceive receive(std::string& into, int timeoutMs) override {
    if (pipe_ == nullptr) return ReaderReceive::kEnded;
    const SteadyClock::time_point end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
      DWORD waiting = 0;
      if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &waiting, nullptr)) {
        const DWORD error = GetLastError();
        if (error == ERROR_BROKEN_PIPE) return ReaderReceive::kEnded;
        lastError = "pipe: " + os_error_text(static_cast<int>(error));
        return ReaderReceive::kFailed;
      }
      if (waiting > 0) {
        char buffer[4096];
        DWORD got = 0;
        DWORD want = waiting < sizeof buffer ? waiting : static_cast<DWORD>(sizeof buffer);
        if (!ReadFile(pipe_, buffer, want, &got, nullptr)) {
          const DWORD error = GetLastError();
          if (error == ERROR_BROKEN_PIPE) return ReaderReceive::kEnded;
          lastError = "read: " + os_error_text(static_cast<int>(error));
          return ReaderReceive::kFailed;
        }
        into.append(buffer, got);
        return ReaderReceive::kData;
      }
      if (SteadyClock::now() >= end) return ReaderReceive::kTimeout;
      Sleep(20);
    }
  }

  void stop() override {
    if (pipe_ != nullptr) CloseHandle(pipe_);
    pipe_ = nullptr;
    if (process_ != nullptr) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, INFINITE);
      CloseHandle(process_);
    }
    process_ = nullptr;
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE pipe_ = nullptr;
};

}  // namespace

std::unique_ptr<ReaderProcess> make_reader_process() {
  return std::make_unique<Win32ReaderProcess>();
}

}  // namespace smstest
