#include "testsupport/pty_peer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace smstest {

namespace {
using Clock = std::chrono::steady_clock;
}

PtyPeer::PtyPeer() {
  char name[256];
  struct termios raw;
  // A raw line from the start: no echo, no line-end translation, so that the
  // master sees exactly what the port writes even before the port configures
  // the line itself.
  std::memset(&raw, 0, sizeof raw);
  cfmakeraw(&raw);
  cfsetispeed(&raw, B115200);
  cfsetospeed(&raw, B115200);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  slave_name_ = name;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  finish();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

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
  thread_ = std::thread([this] { run(); });
}

bool PtyPeer::finish(int drain_ms) {
  if (thread_.joinable()) thread_.join();
  if (drain_ms > 0 && master_ >= 0) {
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(drain_ms);
    while (Clock::now() < end) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
      read_some(left > 0 ? left : 0);
    }
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

// Reads what the master has within `wait_ms`; false when the master side is
// closed or failed.
bool PtyPeer::read_some(int wait_ms) {
  struct pollfd request = {master_, POLLIN, 0};
  int ready = poll(&request, 1, wait_ms);
  if (ready <= 0) return ready == 0 || errno == EINTR;
  char chunk[4096];
  ssize_t n = read(master_, chunk, sizeof chunk);
  // EIO: no slave side open at the moment; that is not an error of the peer.
  if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO;
  std::lock_guard<std::mutex> lock(mutex_);
  received_.append(chunk, static_cast<size_t>(n));
  return true;
}

void PtyPeer::run() {
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::kExpect: {
        Clock::time_point end = Clock::now() + std::chrono::seconds(5);
        for (;;) {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            size_t at = received_.find(step.bytes, matched_);
            if (at != std::string::npos) {
              matched_ = at + step.bytes.size();
              break;
            }
          }
          if (Clock::now() >= end) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: timed out waiting for the port to send \"" + step.bytes + "\"";
            return;
          }
          if (!read_some(20)) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: reading the master side failed";
            return;
          }
        }
        break;
      }
      case Step::kSend: {
        size_t sent = 0;
        while (sent < step.bytes.size()) {
          ssize_t n = write(master_, step.bytes.data() + sent, step.bytes.size() - sent);
          if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
              read_some(5);
              continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "peer: writing the master side failed";
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
        close(master_);
        master_ = -1;
        break;
    }
  }
}

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
