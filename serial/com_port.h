// ComPort: the channel to one modem on one COM port.
//
// Each modem session owns one ComPort.  open_line opens and configures the
// port (the handshake that shows a modem is there is the session's,
// modem/handshake.h); write_com then sends commands without waiting for them, and
// read_com collects one answer until a received chunk ends in white space or
// '>', or a wall-clock time-out runs out.  With a debug log open, every write
// and read leaves a record and its bytes in the log.
//
// Everything here runs on the caller's thread; every wait is bounded.  A
// failed operation returns false and leaves its text in `lastError`, which a
// later success never clears.  The device underneath is serial_device.h; the
// port and its device come with a clock (common/clock.h) that times the
// port's time-outs.  Both are given from outside, so that tests can run the
// port on a scripted device and a fake clock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace smstest {

class Clock;
class SerialDevice;

class ComPort {
 public:
  // On the platform's serial device and the system clock.  Logging off, no
  // device open, `lastError` empty.
  ComPort();
  // On `device` (closed; the port owns it from now on) and `clock`, which
  // must outlive the port.
  ComPort(std::unique_ptr<SerialDevice> device, Clock& clock);
  // Closes the device and the debug log.
  ~ComPort();
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  // Creates (or truncates) the debug log at `path`, mode "wb"
  // (open_debug_log).  On success `logOn` becomes true; on failure "Cannot
  // open log file %s\n" goes to the standard error stream and `logOn`
  // becomes false.  A log that another running port (a second run's on the
  // same port, say) holds is a log that can't be opened, and is left as it
  // is.  Open it before the port so that the handshake is logged.
  void open_log(const char* path);

  // Stores `testTimeout` (seconds), `testStart` (in the clock's steady
  // seconds, Clock::steady_seconds) and `portNumber`, opens the port's device
  // for exclusive use at `baudRate`, 8N1, RTS/CTS, sets the read timing that
  // read_com is specified with and drops whatever waits in the device.  No
  // byte is written: the modem's handshake is the session's
  // (modem/handshake.h).  False with `lastError` set when:
  // - the device can't be opened or is in use: "Failed to open %s. Please make
  //   sure that this device is not in use." (the device name) followed by
  //   " (<the system's reason>)", which also names the port link that was
  //   not used when SMS_TEST_PORTS names no folder (port_lookup_note);
  // - the device can't run at `baudRate`: a system error text; port closed.
  bool open_line(int portNumber, int baudRate, int testTimeout, int64_t testStart);

  // Starts sending `length` bytes of `data` and returns without waiting for
  // them to go out.  The device is given 50 ms per byte + 100 ms to take
  // them, but a write that would get more than a second gets no time past
  // the test deadline (and never less than 100 ms), so that a modem that
  // stopped reading holds a write up no longer than the test lasts; what the
  // device has not taken by then is dropped unnoticed.  Logs "\nWrote %d
  // bytes\n" and the bytes.  False only when the device refuses the write outright;
  // `lastError` and the log then get "write_com: Could not write to COM%d"
  // as a system error text.  An interrupted run (common/interrupt.h) writes
  // nothing and fails with "Interrupted by signal %d\n".
  bool write_com(const char* data, int length);

  // Reads one answer into `buffer` (`capacity` bytes, left NUL-terminated).
  // Bytes are requested in steps of about 100 ms; the read completes when the
  // newest chunk ends in C-locale white space or '>', and anything after that
  // chunk stays queued for the next read.  `timeoutSeconds` counts from the
  // call, or -1 for the test deadline `testStart` + `testTimeout`; the limit is
  // checked after each request, in whole seconds of the clock's steady time
  // (a step of the system clock moves no limit).  False with
  // `lastError` when:
  // - the answer fills the buffer (capacity - 1 bytes), even if it ended in a
  //   terminator: "ReadCom: buffer size %d is too small\n";
  // - the time runs out: "Read timedout, timeout=%d, elapsed=%d" or "Read
  //   timedout, test timeout=%d, elapsed=%d"; the buffer holds what arrived;
  // - the run was interrupted (common/interrupt.h), looked at before each
  //   request: "Interrupted by signal %d\n";
  // - the device fails (gone, hung up, closed): a system error text.
  bool read_com(char* buffer, int capacity, int timeoutSeconds);

  // Takes what is already waiting in the device's input queue (the rest of
  // an earlier answer, a line the modem sent on its own) and discards it,
  // leaving one "\nRead %d bytes\n" record with the bytes in the log for each
  // piece; nothing is logged when nothing waits.  Never waits; stops after
  // 64 KiB so that a modem that talks without end can't hold the run.  A
  // device failure is left for the next write or read to find.
  void discard_input();

  // Closes the device if one is open; otherwise does nothing.  What was
  // written is drained first (an ESC that cancels a text entry must reach
  // the modem), for at most kCloseDrainMs and never past the test deadline;
  // what is still queued then is abandoned.
  void close_com();
  static constexpr int kCloseDrainMs = 2000;

  // Read requests from now on (read_request; read_com too) return once the
  // line has been quiet for `quietMilliseconds` after a byte, or after
  // `waitMilliseconds` when nothing arrives; writes keep their timing.
  // open_line sets the timing that read_com is specified with (100 ms both),
  // so call this after it.  Logs nothing.
  void set_request_timing(int quietMilliseconds, int waitMilliseconds);

  // One read request of the device: up to `capacity` bytes into `buffer`
  // (not NUL-terminated), `got` the number that arrived (0 when the request
  // ran out with nothing).  Logs nothing and looks at no terminator: the
  // caller records and sorts the bytes.  False, with the system error text
  // in `lastError` as read_com words it, when the device fails.
  bool read_request(char* buffer, int capacity, int& got);

  // How long before the latest read_request returned its last byte had
  // arrived, in microseconds (SerialDevice::last_byte_lag_us): what a reader
  // takes off its reading to time the bytes by their arrival rather than by
  // the end of the quiet time that closed the request.
  int64_t last_read_lag_us() const;

  // As read_request, but takes only what has arrived already, without
  // waiting (`got` 0 when nothing waits).
  bool read_arrived(char* buffer, int capacity, int& got);

  // Writes `length` raw bytes to the log when logging is on, and flushes.
  void port_log_raw(const char* data, int length);

  bool is_open() const;

  // The clock the port times its reads with.
  Clock& clock() const { return clock_; }

  bool logOn = false;
  FILE* logFile = nullptr;
  std::string lastError;
  int testTimeout = 0;
  int64_t testStart = 0;
  int portNumber = 0;
  // Set when a read_com ran out of its time with nothing read: the answer
  // it waited for may still come, and pass for the next command's.  A later
  // read_com that gets an answer clears it, and so does the caller once it
  // has waited for that answer.
  bool answerOwed = false;

 private:
  // Gives the device's write time-out for a write of `length` bytes: the
  // port's per-byte limit or what is left of the test time, the smaller.
  void cap_write(int length);

  std::unique_ptr<SerialDevice> device_;
  Clock& clock_;
  int writeCapMs_ = -1;  // the device's write time-out: -1 the per-byte limit
};

// printf-style note into the port's log when logging is on, flushed at once.
void port_log(ComPort& port, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// "%s, error code: %d: %s\n" with `context`, the last system error code and
// the system's text for it ("Unkown System Error" when it has none).  The
// text lives in one static buffer that the next call overwrites (a text too
// long for it is cut); copy it at once.
const char* system_error_text(const char* context);

// The device name of COM port `portNumber` on this platform, as the messages
// of open_line show it.
std::string com_device_name(int portNumber);

// True for the bytes that end an answer when a received chunk ends in one:
// the six C-locale white-space characters and '>'.
bool is_read_terminator(unsigned char c);

}  // namespace smstest
