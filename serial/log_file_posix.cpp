#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/log_file.h"

namespace smstest {

FILE* open_debug_log(const char* path) {
  // Opened without emptying it: only once the lock is ours may it go.
  int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  const bool usable = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode));
  // The lock lasts as long as the descriptor, so the whole run; every open
  // debug log holds one, even one of this process.
  if (!usable || (S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) != 0)) {
    close(fd);
    return nullptr;
  }
  if (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) {
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

}  // namespace smstest
