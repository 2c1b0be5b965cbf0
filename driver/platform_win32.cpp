#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/platform.h"

namespace smstest {

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

std::string join_path(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

namespace {

// The file's volume and index, which tell files apart however their paths
// are spelt.  False when it can't be opened.
bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  return ok;
}

std::string full_path(const std::string& path) {
  char full[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string out = n > 0 && n < sizeof full ? std::string(full, n) : path;
  for (char& c : out) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  if (file_identity(a, first) && file_identity(b, second)) {
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
  }
  // Windows paths are compared without regard to case.
  return full_path(a) == full_path(b);
}

void show_message_box(const char* text) {
  // A console tool run from scripts: a modal box would stall the run until
  // someone clicked it, so the text goes to the error stream instead.
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

bool append_line(const std::string& path, const std::string& line) {
  // The result file is a Windows text file, like the status file the C
  // runtime writes in text mode: every line feed becomes CR LF.
  std::string text;
  text.reserve(line.size() + 2);
  for (char c : line) {
    if (c == '\n') text += '\r';
    text += c;
  }

  // Append-only access (FILE_APPEND_DATA without FILE_WRITE_DATA) makes the
  // system put every write at the end of the file as one piece, so lines of
  // runs appending at the same moment never interleave.  Others may read and
  // append while the file is open.  Read access is there only so that the
  // file can be locked.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Where the end of the file is found and written in two steps (Wine, some
  // network file systems), appenders must also take turns: every writer
  // locks the same byte, far beyond any real end of the file, for the length
  // of its write.
  OVERLAPPED turn = {};
  turn.OffsetHigh = 0x40000000;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
  const char* data = text.data();
  DWORD left = static_cast<DWORD>(text.size());
  bool ok = true;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, left, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    data += written;
    left -= written;
  }
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  if (!CloseHandle(file)) ok = false;
  return ok;
}

}  // namespace smstest
