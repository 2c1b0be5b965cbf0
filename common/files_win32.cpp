#include <windows.h>

#include <string>

#include "common/files.h"

namespace smstest {

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

namespace {

// The line ends of a Windows text file, as the C runtime writes them in
// text mode: every line feed becomes CR LF.
std::string windows_text(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Only a disk file or a character device (NUL, the console) is written: a
// pipe could make the write wait for a reader.
bool writable_kind(HANDLE file) {
  const DWORD kind = GetFileType(file);
  return kind == FILE_TYPE_DISK || kind == FILE_TYPE_CHAR;
}

bool write_all(HANDLE file, const std::string& text) {
  const char* data = text.data();
  DWORD left = static_cast<DWORD>(text.size());
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, left, &written, nullptr) || written == 0) return false;
    data += written;
    left -= written;
  }
  return true;
}

// Cuts the file at `path` back to `size` bytes through a handle of its own
// (the appender's handle may only append).
void cut_back(const std::string& path, LONGLONG size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER at;
  at.QuadPart = size;
  if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) SetEndOfFile(file);
  CloseHandle(file);
}

}  // namespace

bool append_line(const std::string& path, const std::string& line) {
  std::string text = windows_text(line);

  // Append-only access (FILE_APPEND_DATA without FILE_WRITE_DATA) makes the
  // system put every write at the end of the file as one piece, so lines of
  // runs appending at the same moment never interleave.  Others may read and
  // append while the file is open.  Read access is there so that the file
  // can be locked and its last byte looked at.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!writable_kind(file)) {
    CloseHandle(file);
    return false;
  }
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  // Where the end of the file is found and written in two steps (Wine, some
  // network file systems), appenders must also take turns: every writer
  // locks the same byte, far beyond any real end of the file, for the length
  // of its write.
  OVERLAPPED turn = {};
  turn.OffsetHigh = 0x40000000;
  const bool locked = disk && LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
  LARGE_INTEGER size;
  size.QuadPart = 0;
  if (disk && GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    // A file left without a line end at its end gets one first.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    if (ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n') text.insert(0, "\r\n");
  }
  bool ok = write_all(file, text);
  // What a failed write left is taken off again: the next run's line must
  // not be glued to a fragment of this one.
  if (!ok && locked) cut_back(path, size.QuadPart);
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  if (!CloseHandle(file)) ok = false;
  return ok;
}

FileWrite replace_file(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileWrite::kNotOpened;
  if (!writable_kind(file)) {
    CloseHandle(file);
    return FileWrite::kNotOpened;
  }
  bool ok = write_all(file, windows_text(text));
  if (!ok && GetFileType(file) == FILE_TYPE_DISK) {
    // Half a status line would tell the caller something this run never
    // said.
    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) SetEndOfFile(file);
  }
  if (!CloseHandle(file)) ok = false;
  return ok ? FileWrite::kWritten : FileWrite::kIncomplete;
}

}  // namespace smstest
