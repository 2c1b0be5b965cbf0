#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
