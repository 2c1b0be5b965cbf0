// TCP on Windows: a non-blocking Winsock socket, with select() giving the
// connect, send and receive their time limits.  Winsock is started on first
// use and left running until the process ends.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "common/text.h"
#include "gps/os_text.h"
#include "gps/tcp_socket.h"

namespace smstest {

namespace {

std::string error_text(int code) { return os_error_text(code); }

// WSAStartup once; its error code, 0 when Winsock runs.
int start_winsock() {
  static std::once_flag once;
  static int status = 0;
  std::call_once(once, [] {
    WSADATA data;
    status = WSAStartup(MAKEWORD(2, 2), &data);
  });
  return status;
}

// select() on one socket for reading or writing within `timeoutMs`.  1 ready
// (for a connect, an error also counts as ready), 0 time out, -1 failure.
int wait_for(SOCKET socket, bool forWrite, int timeoutMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval limit;
  limit.tv_sec = timeoutMs / 1000;
  limit.tv_usec = (timeoutMs % 1000) * 1000;
  int count = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &limit);
  if (count == SOCKET_ERROR) return -1;
  return count > 0 ? 1 : 0;
}

class Win32TcpSocket : public TcpSocket {
 public:
  ~Win32TcpSocket() override { close(); }

  bool connect(const std::string& host, int port, int timeoutMs) override {
    close();
    int status = start_winsock();
    if (status != 0) {
      lastError = "cannot start Winsock: " + error_text(status);
      return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    std::string service = format("%d", port);
    status = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (status != 0) {
      lastError = format("cannot resolve %s: %s", host.c_str(), error_text(status).c_str());
      return false;
    }
    std::string reason = "no address";
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
      if (try_address(*address, timeoutMs, reason)) break;
    }
    freeaddrinfo(addresses);
    if (socket_ == INVALID_SOCKET) {
      lastError = format("cannot connect to %s:%d: %s", host.c_str(), port, reason.c_str());
      return false;
    }
    return true;
  }

  bool send_all(const std::string& bytes, int timeoutMs) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (socket_ == INVALID_SOCKET) {
        lastError = "not connected";
        return false;
      }
      int n = ::send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
      if (n != SOCKET_ERROR) {
        sent += static_cast<size_t>(n);
        continue;
      }
      int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK) {
        lastError = "send: " + error_text(error);
        return false;
      }
      int ready = wait_for(socket_, true, timeoutMs);
      if (ready <= 0) {
        lastError = ready == 0 ? "send timed out" : "send: " + error_text(WSAGetLastError());
        return false;
      }
    }
    return true;
  }

  TcpReceive receive(std::string& into, int timeoutMs) override {
    if (socket_ == INVALID_SOCKET) {
      lastError = "not connected";
      return TcpReceive::kFailed;
    }
    int ready = wait_for(socket_, false, timeoutMs);
    if (ready == 0) return TcpReceive::kTimeout;
    if (ready < 0) {
      lastError = "receive: " + error_text(WSAGetLastError());
      return TcpReceive::kFailed;
    }
    char buffer[4096];
    int n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
      return TcpReceive::kData;
    }
    if (n == 0) return TcpReceive::kClosed;
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return TcpReceive::kTimeout;
    lastError = "receive: " + error_text(error);
    return TcpReceive::kFailed;
  }

  void close() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  bool is_open() const override { return socket_ != INVALID_SOCKET; }

 private:
  // Connects to one address; on success keeps the socket in socket_.
  bool try_address(const addrinfo& address, int timeoutMs, std::string& reason) {
    SOCKET candidate = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (candidate == INVALID_SOCKET) {
      reason = error_text(WSAGetLastError());
      return false;
    }
    u_long nonBlocking = 1;
    int error = 0;
    if (ioctlsocket(candidate, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
      error = WSAGetLastError();
    } else if (::connect(candidate, address.ai_addr, static_cast<int>(address.ai_addrlen)) ==
               SOCKET_ERROR) {
      error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        // A refused connect shows in the exception set; SO_ERROR says why.
        int ready = wait_for(candidate, true, timeoutMs);
        int length = sizeof error;
        if (ready == 0) {
          error = WSAETIMEDOUT;
        } else if (ready < 0) {
          error = WSAGetLastError();
        } else if (getsockopt(candidate, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                              &length) == SOCKET_ERROR) {
          error = WSAGetLastError();
        }
      }
    }
    if (error != 0) {
      reason = error_text(error);
      closesocket(candidate);
      return false;
    }
    socket_ = candidate;
    return true;
  }

  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<TcpSocket> make_tcp_socket() { return std::make_unique<Win32TcpSocket>(); }

}  // namespace smstest
