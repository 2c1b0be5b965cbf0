// gpsd's JSON protocol: the reader of one line of it, and a client that
// watches a gpsd over TCP for position reports.
//
// A gpsd client sends ?WATCH={"enable":true,"json":true}; and then reads one
// JSON object per line: VERSION first, then DEVICES, WATCH and, as the
// receiver reports, TPV (time-position-velocity), SKY and others.  Only TPV
// makes a fix; DEVICES and DEVICE tell whether gpsd has a receiver at all.
// Fields a newer gpsd adds are ignored.  Used by the gpsd source
// (gps_source.h); the socket underneath is tcp_socket.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "gps/gps_fix.h"
#include "gps/tcp_socket.h"

namespace smstest {

// One line of gpsd, read.
struct GpsdMessage {
  std::string kind;  // the "class" member: "TPV", "VERSION", "DEVICES", ...
  // TPV: mode 0 or 1 (or a TPV without latitude and longitude) is no fix,
  // 2 and 3 a 2D and a 3D fix.  The horizontal error is "eph" when given,
  // otherwise the root sum square of "epx" and "epy" (each an error along
  // one axis) when both are; "time" is an ISO 8601 text, or seconds since
  // 1970 from a gpsd older than protocol 3.10.
  GpsFix fix;
  std::string release;  // VERSION: gpsd's release
  int devices = -1;     // DEVICES: how many; DEVICE: 1 activated, 0 gone
  std::string message;  // ERROR: gpsd's text
};

// Reads one line (without its line end).  False, with the reason in
// `error`, for text that is not a JSON object with a "class" member.
bool parse_gpsd_line(std::string_view line, GpsdMessage* message, std::string* error);

// The command that asks gpsd for JSON reports.
extern const char kGpsdWatchCommand[];

enum class GpsdRead {
  kFix,      // a TPV came (with or without a position)
  kNothing,  // no TPV within the time given
  kLost,     // the connection closed or broke (reason in lastError)
};

class GpsdClient {
 public:
  // Talks through `socket` (closed; owned from now on).
  explicit GpsdClient(std::unique_ptr<TcpSocket> socket);

  // Connects to `host`:`port` within `timeoutMs` and sends the watch
  // command.  False with the reason in `lastError`.
  bool connect(const std::string& host, int port, int timeoutMs);

  // Reads lines until a TPV comes (kFix, `fix` set) or `timeoutMs` passes.
  // Lines that are not JSON are skipped (counted in bad_lines()); a line of
  // more than 1 MiB without an end breaks the connection.
  GpsdRead read(GpsFix* fix, int timeoutMs);

  void close();

  // gpsd's release from its VERSION line, "" before it.
  const std::string& release() const { return release_; }
  // False when gpsd's last DEVICES (or a DEVICE going away) said it has no
  // receiver; true otherwise.
  bool has_device() const { return hasDevice_; }
  int bad_lines() const { return badLines_; }

  std::string lastError;

 private:
  // Takes the complete lines out of buffer_; true when one was a TPV.
  bool take_lines(GpsFix* fix);

  std::unique_ptr<TcpSocket> socket_;
  std::string buffer_;
  std::string release_;
  bool hasDevice_ = true;
  int badLines_ = 0;
};

}  // namespace smstest
