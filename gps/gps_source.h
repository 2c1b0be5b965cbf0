// The position source of a campaign: a GPS receiver behind gpsd or on a
// serial port, read by a thread of its own, asked for the current fix.
//
// A source is named by a short text (see parse_gps_source):
//   gpsd                   gpsd on localhost, port 2947
//   gpsd:HOST[:PORT]       gpsd elsewhere (an IPv6 address in brackets)
//   nmea:PORT[,BAUD]       an NMEA 0183 receiver on COM port PORT (a number,
//                          or COMn), or on the device path PORT; 4800 baud
//                          unless BAUD says otherwise
// COM port numbers name devices as SMS_TEST's own ports do
// (serial_device_name: on POSIX the links of SMS_TEST_PORTS, or /dev/ttyS).
//
// An NMEA receiver is read by a program of its own, sms_gps
// (tools/gps_reader), which opens the port through the serial device layer
// and writes the fixes as lines on its standard output (reader_line.h); the
// source starts it and reads those lines.  So the campaign that asks for
// positions links no serial code, and a reader that hangs on a driver can
// be ended without ending the campaign.
//
// GpsSource::start() starts the reader thread and returns at once; the
// thread connects (or opens the port), keeps the latest fix with the time it
// arrived, and reconnects after the source goes away or falls silent,
// waiting longer between tries (up to a limit) and never stopping the
// caller.  current() and state_text() may be asked from any thread.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gps/gps_fix.h"

namespace smstest {

struct GpsSourceAddress {
  enum class Kind { kGpsd, kNmea };
  Kind kind = Kind::kGpsd;
  std::string host = "localhost";  // gpsd
  int port = 2947;                 // gpsd
  int comPort = 0;                 // nmea: the COM port number, 0 for a path
  std::string device;              // nmea: the device's path when comPort is 0
  int baudRate = 4800;             // nmea
  // nmea: the reader program (sms_gps) that the source starts.
  std::string readerProgram;

  // "gpsd:HOST:PORT", or "nmea:" and the port as given (a COM port as
  // "COMn"), for messages.
  std::string name;
};

// Reads a source's text (forms above).  False, with the reason in `error`,
// for anything else.
bool parse_gps_source(const std::string& text, GpsSourceAddress* address, std::string* error);

// The text of an NMEA source with its baud rate, as the reader program
// takes it: "nmea:COM3,4800", "nmea:/dev/ttyACM0,9600".
std::string nmea_source_text(const GpsSourceAddress& address);

// How a source waits.  The defaults suit a receiver reporting once a second.
struct GpsSourceTiming {
  int connectTimeoutMs = 3000;  // for one connection to gpsd
  int firstRetryMs = 1000;      // first wait after a failure, doubled after each
  int maxRetryMs = 10000;       // longest wait between tries
  int silenceMs = 5000;         // no data for this long: reopen the source (the
                                // reader program's --silence-ms for NMEA)
  int readStepMs = 200;         // longest a read blocks (and stop() waits)
};

// The answer to "where are we now".
struct GpsReading {
  bool ok = false;         // a fix with a position, recent enough
  GpsFix fix;              // the latest fix (also when it is too old)
  double ageSeconds = -1;  // since the latest fix arrived, -1 without one
  std::string reason;      // why not ok: "no fix", "fix older than 5 s", ...
};

// What the reader thread knows, as current() judges it.
struct GpsSnapshot {
  enum class Link { kStarting, kUp, kDown };
  Link link = Link::kStarting;
  std::string linkProblem;  // kDown: why ("gpsd not reachable: ...")
  std::string note;         // kUp: what is wrong with the data, if anything
  bool anyFix = false;      // a fix (with a position or without) arrived
  GpsFix fix;
  double arrivedAt = 0;  // monotonic seconds when it arrived
};

// The reading for `snapshot` at monotonic time `now` of source `name`: ok
// when the latest fix has a position and is at most `maxAgeSeconds` old.
// Otherwise the reason, first match: a recent fix without a position: "no
// fix"; the link down: its problem; a fix (with a position) too old: "fix
// older than N s"; else "no data from NAME" (with the note after ": ") or,
// before the first try, "waiting for NAME".
GpsReading judge_gps_snapshot(const GpsSnapshot& snapshot, const std::string& name, double now,
                              double maxAgeSeconds);

class GpsFeed;

class GpsSource {
 public:
  explicit GpsSource(GpsSourceAddress address, GpsSourceTiming timing = GpsSourceTiming());
  // Stops the thread.
  ~GpsSource();
  GpsSource(const GpsSource&) = delete;
  GpsSource& operator=(const GpsSource&) = delete;

  // Starts the reader thread (once).  Returns at once.
  void start();
  // Stops the thread and closes the source; waits at most about a read step
  // or a connection's time-out.  May be called any number of times.
  void stop();

  // The fix if one with a position arrived within `maxAgeSeconds`, or why
  // not (judge_gps_snapshot).
  GpsReading current(double maxAgeSeconds) const;

  // For a progress line: "gps 45.501700;-73.567300 3D" or "gps: " and the
  // reason of current(`maxAgeSeconds`).
  std::string state_text(double maxAgeSeconds) const;

  const GpsSourceAddress& address() const { return address_; }

 private:
  void run();
  // Waits `milliseconds` or until stop(); false when stopping.
  bool pause(int milliseconds);
  void set_link(GpsSnapshot::Link link, const std::string& problem);

  GpsSourceAddress address_;
  GpsSourceTiming timing_;
  std::unique_ptr<GpsFeed> feed_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  GpsSnapshot snapshot_;
};

}  // namespace smstest
