#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "common/text.h"
#include "testsupport/sim_client.h"

namespace smstest {

namespace {

double now_seconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool ends_with(const std::string& text, const char* tail) {
  size_t n = strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

}  // namespace

bool answer_complete(const std::string& answer) {
  return ends_with(answer, "OK\r\n") || ends_with(answer, "ERROR\r\n");
}

bool SimClient::open(const std::string& path) {
  close();
  hungUp_ = false;
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    lastError = format("cannot open %s: %s", path.c_str(), strerror(errno));
    return false;
  }
  ioctl(fd_, TIOCEXCL);
  struct termios settings;
  if (tcgetattr(fd_, &settings) != 0) {
    lastError = format("%s is not a terminal: %s", path.c_str(), strerror(errno));
    close();
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd_, TCSANOW, &settings);
  return true;
}

void SimClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SimClient::write(const std::string& bytes) {
  size_t done = 0;
  double until = now_seconds() + 2.0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && now_seconds() < until) {
      struct pollfd p = {fd_, POLLOUT, 0};
      poll(&p, 1, 10);
    } else {
      lastError = format("write failed: %s", n < 0 ? strerror(errno) : "nothing written");
      return false;
    }
  }
  return true;
}

bool SimClient::read_once(double seconds, std::string& into) {
  if (fd_ < 0 || hungUp_) return false;
  struct pollfd p = {fd_, POLLIN, 0};
  int ms = seconds <= 0 ? 0 : static_cast<int>(seconds * 1000) + 1;
  if (poll(&p, 1, ms) <= 0) return false;
  char buffer[4096];
  ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }
  if (n == 0 || (errno != EAGAIN && errno != EINTR)) hungUp_ = true;  // EIO: the modem hung up
  return false;
}

std::string SimClient::read_answer(double seconds) {
  std::string answer;
  double until = now_seconds() + seconds;
  while (!answer_complete(answer) && !hungUp_) {
    double left = until - now_seconds();
    if (left <= 0) break;
    read_once(left, answer);
  }
  return answer;
}

std::string SimClient::command(const std::string& command, double seconds) {
  if (!write(command + "\r")) return std::string();
  return read_answer(seconds);
}

std::string SimClient::read_for(double seconds) {
  std::string data;
  double until = now_seconds() + seconds;
  for (double left = seconds; left > 0 && !hungUp_; left = until - now_seconds()) {
    read_once(left, data);
  }
  return data;
}

std::vector<std::pair<double, std::string>> SimClient::read_pieces(double seconds) {
  std::vector<std::pair<double, std::string>> pieces;
  double start = now_seconds();
  for (double left = seconds; left > 0 && !hungUp_; left = start + seconds - now_seconds()) {
    std::string piece;
    if (read_once(left, piece)) pieces.emplace_back(now_seconds() - start, piece);
  }
  return pieces;
}

}  // namespace smstest
