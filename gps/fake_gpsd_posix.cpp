// The gpsd stand-in: BSD sockets on loopback, poll() for every wait so that
// the destructor can stop it within a step.
#include "gps/fake_gpsd_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kStepMs = 20;

// Waits up to `ms` for `events` on `fd`; true when ready.
bool ready(int fd, short events, int ms) {
  pollfd entry{fd, events, 0};
  return ::poll(&entry, 1, ms) > 0;
}

}  // namespace

FakeGpsd::~FakeGpsd() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

bool FakeGpsd::start(std::vector<Script> scripts) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    lastError = strerror(errno);
    return false;
  }
  port_ = ntohs(address.sin_port);
  received_.assign(scripts.size(), "");
  thread_ = std::thread([this, scripts] { run(scripts); });
  return true;
}

int FakeGpsd::accepted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

std::vector<std::string> FakeGpsd::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::string FakeGpsd::errors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

void FakeGpsd::run(std::vector<Script> scripts) {
  for (size_t index = 0; index < scripts.size(); ++index) {
    int fd = -1;
    while (!stop_ && fd < 0) {
      if (ready(listener_, POLLIN, kStepMs))
        fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (fd < 0) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
    }
    if (index + 1 == scripts.size()) {
      // The last connection: refuse any further one.
      ::close(listener_);
      listener_ = -1;
    }
    bool closed = play(fd, scripts[index], index);
    // A script left open keeps reading until the end, as gpsd would.
    while (!closed && !stop_) {
      char buffer[256];
      if (ready(fd, POLLIN, kStepMs) && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
    }
    ::close(fd);
  }
}

bool FakeGpsd::play(int fd, const Script& script, size_t index) {
  for (const Step& step : script) {
    if (stop_) return false;
    switch (step.kind) {
      case Step::kSend:
        if (::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(step.bytes.size())) {
          std::lock_guard<std::mutex> lock(mutex_);
          errors_ += "send failed; ";
        }
        break;
      case Step::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
        break;
      case Step::kExpect: {
        SteadyClock::time_point end = SteadyClock::now() + std::chrono::seconds(5);
        while (true) {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            if (received_[index].find(step.bytes) != std::string::npos) break;
          }
          char buffer[256];
          ssize_t n = ready(fd, POLLIN, kStepMs) ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
          std::lock_guard<std::mutex> lock(mutex_);
          if (n > 0) received_[index].append(buffer, static_cast<size_t>(n));
          if (n == 0 || SteadyClock::now() > end || stop_) {
            errors_ += "expected \"" + step.bytes + "\"; ";
            return false;
          }
        }
        break;
      }
      case Step::kClose:
        return true;
    }
  }
  return false;
}

}  // namespace smstest
