#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "serial/log_file.h"

namespace smstest {

FILE* open_debug_log(const char* path) {
  // Others may read the log while it is written, but no one else may write
  // it: a second writer's open fails with a sharing violation.  Opened
  // without emptying it, so that a refused open leaves it as it was.
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD kind = GetFileType(handle);
  if ((kind != FILE_TYPE_DISK && kind != FILE_TYPE_CHAR) ||
      (kind == FILE_TYPE_DISK && !SetEndOfFile(handle))) {
    CloseHandle(handle);
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

}  // namespace smstest
