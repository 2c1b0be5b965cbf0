// TCP on POSIX systems: a non-blocking BSD socket, with poll() giving the
// connect, send and receive their time limits.
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "common/text.h"
#include "gps/os_text.h"
#include "gps/tcp_socket.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string error_text(int code) { return os_error_text(code); }

// poll() on one descriptor for `events` within `timeoutMs`, carrying on
// after signals.  1 ready, 0 time out, -1 failure (errno set).
int wait_for(int fd, short events, int timeoutMs) {
  SteadyClock::time_point end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
    pollfd entry{fd, events, 0};
    int ready = ::poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready >= 0 || errno != EINTR) return ready > 0 ? 1 : ready;
  }
}

class PosixTcpSocket : public TcpSocket {
 public:
  ~PosixTcpSocket() override { close(); }

  bool connect(const std::string& host, int port, int timeoutMs) override {
    close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    std::string service = format("%d", port);
    int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (status != 0) {
      lastError = format("cannot resolve %s: %s", host.c_str(),
                         status == EAI_SYSTEM ? error_text(errno).c_str() : gai_strerror(status));
      return false;
    }
    std::string reason = "no address";
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
      if (try_address(*address, timeoutMs, reason)) break;
    }
    ::freeaddrinfo(addresses);
    if (fd_ < 0) {
      lastError = format("cannot connect to %s:%d: %s", host.c_str(), port, reason.c_str());
      return false;
    }
    return true;
  }

  bool send_all(const std::string& bytes, int timeoutMs) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (fd_ < 0) {
        lastError = "not connected";
        return false;
      }
      // MSG_NOSIGNAL: a server that went away is an error here, not SIGPIPE.
      ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n >= 0) {
        sent += static_cast<size_t>(n);
      } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        int ready = wait_for(fd_, POLLOUT, timeoutMs);
        if (ready <= 0) {
          lastError = ready == 0 ? "send timed out" : "send: " + error_text(errno);
          return false;
        }
      } else {
        lastError = "send: " + error_text(errno);
        return false;
      }
    }
    return true;
  }

  TcpReceive receive(std::string& into, int timeoutMs) override {
    if (fd_ < 0) {
      lastError = "not connected";
      return TcpReceive::kFailed;
    }
    int ready = wait_for(fd_, POLLIN, timeoutMs);
    if (ready == 0) return TcpReceive::kTimeout;
    if (ready < 0) {
      lastError = "receive: " + error_text(errno);
      return TcpReceive::kFailed;
    }
    char buffer[4096];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
      return TcpReceive::kData;
    }
    if (n == 0) return TcpReceive::kClosed;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return TcpReceive::kTimeout;
    lastError = "receive: " + error_text(errno);
    return TcpReceive::kFailed;
  }

  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool is_open() const override { return fd_ >= 0; }

 private:
  // Connects to one address; on success keeps the socket in fd_.
  bool try_address(const addrinfo& address, int timeoutMs, std::string& reason) {
    int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
      reason = error_text(errno);
      return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
      reason = error_text(errno);
      ::close(fd);
      return false;
    }
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS || error == EINTR) {
        int ready = wait_for(fd, POLLOUT, timeoutMs);
        socklen_t length = sizeof error;
        if (ready == 0) {
          error = ETIMEDOUT;
        } else if (ready < 0) {
          error = errno;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
          error = errno;
        }
      }
    }
    if (error != 0) {
      reason = error_text(error);
      ::close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }

  int fd_ = -1;
};

}  // namespace

std::unique_ptr<TcpSocket> make_tcp_socket() { return std::make_unique<PosixTcpSocket>(); }

}  // namespace smstest
