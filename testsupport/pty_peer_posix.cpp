#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/clock.h"
#include "common/text.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

bool ends_with(const std::string& text, const char* tail) {
  size_t n = strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// A poll() time-out for the seconds left until `until`, 0 once it passed.
int poll_wait(double until) {
  double left = until - monotonic_seconds();
  return left > 0 ? static_cast<int>(left * 1000) + 1 : 0;
}

}  // namespace

bool answer_complete(const std::string& answer) {
  return ends_with(answer, "OK\r\n") || ends_with(answer, "ERROR\r\n");
}

PtyPeer::~PtyPeer() { close(); }

bool PtyPeer::create() {
  close();
  char name[256];
  struct termios raw;
  // A raw line from the start: no echo, no line-end translation, so that
  // the master sees exactly what the port writes even before the port
  // configures the line itself.
  memset(&raw, 0, sizeof raw);
  cfmakeraw(&raw);
  cfsetispeed(&raw, B115200);
  cfsetospeed(&raw, B115200);
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
    lastError = format("openpty failed: %s", strerror(errno));
    return false;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  fd_ = master;
  master_ = true;
  slave_ = slave;
  slaveName_ = name;
  return true;
}

bool PtyPeer::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError = format("cannot open %s: %s", path.c_str(), strerror(errno));
    return false;
  }
  ioctl(fd, TIOCEXCL);
  struct termios settings;
  if (tcgetattr(fd, &settings) != 0) {
    lastError = format("%s is not a terminal: %s", path.c_str(), strerror(errno));
    ::close(fd);
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &settings);
  fd_ = fd;
  master_ = false;
  return true;
}

void PtyPeer::close() {
  stop_thread();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
  if (!link_.empty()) unlink(link_.c_str());
  link_.clear();
  slaveName_.clear();
  hungUp_ = false;
}

std::string PtyPeer::link(const std::string& dir, int portNumber) {
  if (slaveName_.empty()) return std::string();
  std::string name = dir + "/COM" + std::to_string(portNumber);
  unlink(name.c_str());
  if (symlink(slaveName_.c_str(), name.c_str()) != 0) return std::string();
  if (!link_.empty() && link_ != name) unlink(link_.c_str());
  link_ = name;
  return name;
}

// ---- Talking directly ----------------------------------------------------------

int PtyPeer::read_some(int waitMs, std::string& into) {
  if (fd_ < 0 || hungUp_) return -1;
  struct pollfd request = {fd_, POLLIN, 0};
  int ready = poll(&request, 1, waitMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  char chunk[4096];
  ssize_t n = ::read(fd_, chunk, sizeof chunk);
  if (n > 0) {
    into.append(chunk, static_cast<size_t>(n));
    return 1;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  // EIO on a master side: no slave side open at the moment, which is not the
  // line going away.  On an opened line, EIO or end-of-file is the far end
  // hanging up.
  if (master_ && (n == 0 || errno == EIO)) return 0;
  if (!master_) hungUp_ = true;
  return -1;
}

bool PtyPeer::write_all(const std::string& bytes, double seconds, std::string* error) {
  size_t done = 0;
  const double until = monotonic_seconds() + seconds;
  while (done < bytes.size()) {
    ssize_t n = fd_ >= 0 ? ::write(fd_, bytes.data() + done, bytes.size() - done) : -1;
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (fd_ >= 0 && n < 0 && (errno == EAGAIN || errno == EINTR) &&
               monotonic_seconds() < until) {
      struct pollfd request = {fd_, POLLOUT, 0};
      poll(&request, 1, 10);
    } else {
      if (error != nullptr) {
        *error = format("write failed: %s", n < 0 ? strerror(errno) : "nothing written");
      }
      return false;
    }
  }
  return true;
}

bool PtyPeer::write(const std::string& bytes) { return write_all(bytes, 2.0, &lastError); }

std::string PtyPeer::read_answer(double seconds) {
  std::string answer;
  const double until = monotonic_seconds() + seconds;
  while (!answer_complete(answer) && monotonic_seconds() < until) {
    if (read_some(poll_wait(until), answer) < 0) break;
  }
  return answer;
}

std::string PtyPeer::read_until(const std::function<bool(const std::string&)>& done,
                                double seconds) {
  std::string data;
  const double until = monotonic_seconds() + seconds;
  while (!done(data) && monotonic_seconds() < until) {
    if (read_some(poll_wait(until), data) < 0) break;
  }
  return data;
}

std::string PtyPeer::command(const std::string& command, double seconds) {
  if (!write(command + "\r")) return std::string();
  return read_answer(seconds);
}

std::string PtyPeer::read_for(double seconds) {
  std::string data;
  const double until = monotonic_seconds() + seconds;
  while (monotonic_seconds() < until) {
    if (read_some(poll_wait(until), data) < 0) break;
  }
  return data;
}

std::vector<std::pair<double, std::string>> PtyPeer::read_pieces(double seconds) {
  std::vector<std::pair<double, std::string>> pieces;
  const double start = monotonic_seconds();
  const double until = start + seconds;
  while (monotonic_seconds() < until) {
    std::string piece;
    int got = read_some(poll_wait(until), piece);
    if (got < 0) break;
    if (got > 0) pieces.emplace_back(monotonic_seconds() - start, piece);
  }
  return pieces;
}

// ---- A script --------------------------------------------------------------------

PtyPeer& PtyPeer::expect(const std::string& bytes) {
  steps_.push_back({Step::kExpect, bytes, 0});
  return *this;
}

PtyPeer& PtyPeer::send(const std::string& bytes) {
  steps_.push_back({Step::kSend, bytes, 0});
  return *this;
}

PtyPeer& PtyPeer::pause(int milliseconds) {
  steps_.push_back({Step::kPause, std::string(), milliseconds});
  return *this;
}

PtyPeer& PtyPeer::hang_up() {
  steps_.push_back({Step::kHangUp, std::string(), 0});
  return *this;
}

PtyPeer& PtyPeer::answer_handshake() {
  return expect("AT\r")
      .send("\r\nOK\r\n")
      .expect("AT\r")
      .send("\r\nOK\r\n")
      .expect("ATE0\r")
      .send("\r\nOK\r\n");
}

void PtyPeer::start() {
  stop_thread();
  stop_ = false;
  thread_ = std::thread([this] { run_script(); });
}

bool PtyPeer::receive(int waitMs) {
  std::string chunk;
  int got = read_some(waitMs, chunk);
  if (got > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ += chunk;
  }
  return got >= 0;
}

void PtyPeer::run_script() {
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::kExpect: {
        const double until = monotonic_seconds() + 5;
        for (;;) {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            size_t at = received_.find(step.bytes, matched_);
            if (at != std::string::npos) {
              matched_ = at + step.bytes.size();
              break;
            }
          }
          if (monotonic_seconds() >= until) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: timed out waiting for the port to send \"" + step.bytes + "\"";
            return;
          }
          if (!receive(20)) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: reading the line failed";
            return;
          }
        }
        break;
      }
      case Step::kSend: {
        size_t sent = 0;
        while (sent < step.bytes.size()) {
          ssize_t n = ::write(fd_, step.bytes.data() + sent, step.bytes.size() - sent);
          if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
              // The line is full: take in what the other side sends
              // meanwhile, so that neither side waits for the other.
              receive(5);
              continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: writing the line failed";
            return;
          }
          sent += static_cast<size_t>(n);
        }
        break;
      }
      case Step::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
        break;
      case Step::kHangUp:
        ::close(fd_);
        fd_ = -1;
        break;
    }
  }
}

bool PtyPeer::finish(int drain_ms) {
  stop_thread();
  if (drain_ms > 0 && fd_ >= 0) {
    const double until = monotonic_seconds() + drain_ms / 1000.0;
    while (monotonic_seconds() < until) receive(poll_wait(until));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return error_.empty();
}

std::string PtyPeer::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

std::string PtyPeer::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

// ---- A responder -----------------------------------------------------------------

void PtyPeer::serve(Responder responder, int chunkPauseMs) {
  stop_thread();
  stop_ = false;
  thread_ = std::thread([this, responder = std::move(responder), chunkPauseMs] {
    run_responder(responder, chunkPauseMs);
  });
}

std::vector<std::string> PtyPeer::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

void PtyPeer::run_responder(Responder responder, int chunkPauseMs) {
  std::string pending;
  while (!stop_) {
    int got = read_some(20, pending);
    if (got < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    size_t cr;
    while ((cr = pending.find('\r')) != std::string::npos) {
      const std::string command = pending.substr(0, cr + 1);
      pending.erase(0, cr + 1);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(command);
      }
      const std::vector<std::string> chunks = responder(command);
      for (size_t i = 0; i < chunks.size() && !stop_; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(chunkPauseMs));
        write_all(chunks[i], 2.0, nullptr);
      }
    }
  }
}

void PtyPeer::stop_thread() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

// ---- PortFolder ------------------------------------------------------------------

PortFolder::PortFolder() {
  char pattern[] = "/tmp/sms_ports_XXXXXX";
  if (mkdtemp(pattern) != nullptr) dir_ = pattern;
  setenv("SMS_TEST_PORTS", dir_.c_str(), 1);
}

PortFolder::~PortFolder() {
  unsetenv("SMS_TEST_PORTS");
  for (const std::string& file : files_) unlink(file.c_str());
  if (!dir_.empty()) rmdir(dir_.c_str());
}

std::string PortFolder::link(int portNumber, const std::string& target) {
  std::string name = path("COM" + std::to_string(portNumber));
  unlink(name.c_str());
  if (symlink(target.c_str(), name.c_str()) != 0) return std::string();
  return name;
}

std::string PortFolder::path(const std::string& name) {
  std::string full = dir_ + "/" + name;
  files_.push_back(full);
  return full;
}

}  // namespace smstest
