#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/platform.h"

namespace smstest {

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

void show_message_box(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

bool append_line(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // O_APPEND makes each write land at the end of the file as one piece; a
  // short write (disk full) is continued rather than silently dropped.
  const char* data = line.data();
  size_t left = line.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace smstest
