// A TCP connection to a server, as the gpsd client (gpsd_client.h) uses it:
// connect with a time limit, send, receive with a time limit, close.
//
// One implementation per platform (tcp_socket_posix.cpp: BSD sockets;
// tcp_socket_win32.cpp: Winsock, started on first use), made by
// make_tcp_socket().  A failure returns false (or kFailed) and leaves the
// reason in `lastError`, with the system's own text of the error.
#pragma once

#include <memory>
#include <string>

namespace smstest {

enum class TcpReceive {
  kData,     // some bytes were appended
  kTimeout,  // nothing came within the time given
  kClosed,   // the server closed the connection
  kFailed,   // the connection broke (reason in lastError)
};

class TcpSocket {
 public:
  virtual ~TcpSocket() = default;

  // Resolves `host` (a name or a numeric address) and connects to `port`,
  // trying each address in turn, within `timeoutMs` for each.  Closes a
  // connection held before.  False when no address could be reached, with
  // the reason of the last try ("cannot connect to HOST:PORT: Connection
  // refused").
  virtual bool connect(const std::string& host, int port, int timeoutMs) = 0;

  // Sends all of `bytes`, waiting up to `timeoutMs` for room.  False when the
  // connection broke or the time ran out.
  virtual bool send_all(const std::string& bytes, int timeoutMs) = 0;

  // Waits up to `timeoutMs` for bytes and appends what one receive gives to
  // `into`.
  virtual TcpReceive receive(std::string& into, int timeoutMs) = 0;

  // Closes the connection if one is open; may be called any number of times.
  virtual void close() = 0;

  virtual bool is_open() const = 0;

  std::string lastError;
};

// A closed socket of this platform.
std::unique_ptr<TcpSocket> make_tcp_socket();

}  // namespace smstest
