#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "common/files.h"

namespace smstest {

std::string join_path(const std::string& dir, const std::string& name) { return dir + "/" + name; }

namespace {

// `path` with "//", "." and ".." taken out (".." above the root stays at the
// root).
std::string normal_path(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

// The path that `path` (absolute) leads to through its links, the last part
// included even when it leads nowhere yet.
std::string resolved_path(std::string path) {
  for (int depth = 0; depth < 16; ++depth) {
    path = normal_path(path);
    const size_t slash = path.rfind('/');
    const std::string dir = path.substr(0, slash == 0 ? 1 : slash);
    char real[PATH_MAX];
    std::string base = path.substr(slash + 1);
    std::string head = realpath(dir.c_str(), real) != nullptr ? std::string(real) : dir;
    if (head.back() != '/') head += '/';
    path = head + base;
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return path;
    target[n] = '\0';
    path = target[0] == '/' ? std::string(target) : head + target;
  }
  return path;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  return resolved_path(a) == resolved_path(b);
}

namespace {

// Opens `path` with `flags` (O_WRONLY or O_RDWR and more) without waiting
// for a reader, and keeps it only if it is a regular file or a character
// device (the null device, a terminal): a FIFO or a socket could make a
// later write wait.  -1 when it can't be opened or is of another kind.
int open_for_writing(const std::string& path, int flags, struct stat& info) {
  int fd = open(path.c_str(), flags | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  // Reading is only there to look at the last byte: a file that may be
  // written but not read is written all the same.
  if (fd < 0 && (flags & O_ACCMODE) == O_RDWR && errno == EACCES) {
    fd = open(path.c_str(), (flags & ~O_ACCMODE) | O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC,
              0666);
  }
  if (fd < 0) return -1;
  if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
    close(fd);
    return -1;
  }
  return fd;
}

// Writes all of `data`; false when a write fails or takes nothing (a full
// disk, a device that would make it wait).
bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Takes the lock every appender of a result file takes, for up to two
// seconds: a holder that never lets go (no run of this tool does) must not
// hold the run up.
bool lock_for_append(int fd) {
  for (int tries = 0; tries < 200; ++tries) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

}  // namespace

bool append_line(const std::string& path, const std::string& line) {
  struct stat info;
  int fd = open_for_writing(path, O_RDWR | O_APPEND, info);
  if (fd < 0) return false;
  const bool regular = S_ISREG(info.st_mode);
  // Appenders take turns, so that the end of the file can be looked at and
  // put back; O_APPEND still lands every write at the end as one piece.
  const bool locked = regular && lock_for_append(fd);
  std::string text = line;
  off_t before = 0;
  if (regular && fstat(fd, &info) == 0) {
    before = info.st_size;
    char last = '\n';
    if (before > 0 && pread(fd, &last, 1, before - 1) == 1 && last != '\n') text.insert(0, "\n");
  }
  bool ok = write_all(fd, text.data(), text.size());
  // What a failed write left is taken off again: the next run's line must
  // not be glued to a fragment of this one.
  if (!ok && regular && locked) {
    int ignored = ftruncate(fd, before);
    (void)ignored;
  }
  if (locked) flock(fd, LOCK_UN);
  if (close(fd) != 0) ok = false;
  return ok;
}

FileWrite replace_file(const std::string& path, const std::string& text) {
  struct stat info;
  int fd = open_for_writing(path, O_WRONLY | O_TRUNC, info);
  if (fd < 0) return FileWrite::kNotOpened;
  bool ok = write_all(fd, text.data(), text.size());
  if (!ok && S_ISREG(info.st_mode)) {
    // Half a status line would tell the caller something this run never
    // said.
    int ignored = ftruncate(fd, 0);
    (void)ignored;
  }
  if (close(fd) != 0) ok = false;
  return ok ? FileWrite::kWritten : FileWrite::kIncomplete;
}

}  // namespace smstest
