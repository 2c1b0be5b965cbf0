// The platform's serial device, as ComPort (serial/com_port.h) uses it.
//
// ComPort holds the port's own logic (the handshake, the read loop with its
// terminators and time-outs, the debug log); this interface is the handful of
// device operations underneath it.  Each platform has one implementation
// (serial_device_posix.cpp: a terminal device in raw mode; a Win32 one with
// overlapped I/O), made by make_serial_device(); tests hand ComPort a scripted
// fake instead (testsupport/fake_serial_device.h).
//
// Failures return false and leave a system error code that error_code()
// reports (on the platform devices the thread's errno or last-error value),
// which ComPort turns into a message; nothing here writes a message of its
// own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace smstest {

// Read and write timing of a port, in milliseconds, with the meaning of the
// Windows port time-outs:
// - a read request returns once `readTotalConstant` + `readTotalMultiplier`
//   per requested byte have passed since it was issued, or once more than
//   `readInterval` passes between two received bytes, or at once when all the
//   requested bytes have arrived, whichever comes first; 0 disables a limit.
// - a write of n bytes is given `writeTotalMultiplier` * n +
//   `writeTotalConstant` to be taken by the device; what it has not taken by
//   then is dropped.
struct SerialTimeouts {
  int readInterval = 0;
  int readTotalMultiplier = 0;
  int readTotalConstant = 0;
  int writeTotalMultiplier = 0;
  int writeTotalConstant = 0;
};

// Outcome of one read request.
enum class ReadRequest {
  kDone,        // returned normally, with zero or more bytes
  kRefused,     // the request could not be issued (for instance no device)
  kWaitFailed,  // it was issued, but waiting for it failed (device gone, line hung up)
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the device `name` for exclusive reading and writing.  False when it
  // does not exist or another process (or another SerialDevice) has it.
  virtual bool open(const char* name) = 0;

  // Sets the line: `baudRate`, 8 data bits, no parity, one stop bit, RTS/CTS
  // hardware flow control, no XON/XOFF, no character translation, and NUL
  // bytes received are discarded.  False when the device refuses the settings
  // or cannot run at `baudRate`.
  virtual bool configure(int baudRate) = 0;

  // Sets the read-request and write timing used from now on.
  virtual bool set_timeouts(const SerialTimeouts& timeouts) = 0;

  // Discards whatever is waiting in the device's input and output queues.
  virtual bool purge() = 0;

  // Issues one read request for up to `count` bytes into `buffer` and waits for
  // it as the timing of set_timeouts() says.  `got` receives the number of bytes
  // stored (NULs already removed), 0 when nothing arrived.  A device that went
  // away, or a line that hung up, fails the request at once.
  virtual ReadRequest read(char* buffer, int count, int& got) = 0;

  // Takes up to `count` bytes that have already arrived, without waiting:
  // `got` is 0 when nothing is waiting.  NULs are removed and failures are
  // reported as by read().
  virtual ReadRequest read_waiting(char* buffer, int count, int& got) = 0;

  // How long before the latest read() returned its last byte had arrived,
  // in microseconds: a request that ends on a quiet line returns only once
  // the line has been quiet for the interval time-out, and a reader that
  // times an answer by its arrival takes this off.  0 when the request got
  // nothing, ended on its byte count, or the device can't tell.
  virtual int64_t last_byte_lag_us() const { return 0; }

  // Starts writing `length` bytes of `data`.  True when the write was accepted;
  // it is waited for at most its own write time-out, and what the device has not
  // taken by then is dropped without notice.  False only when the device refuses
  // the write outright.
  virtual bool start_write(const char* data, int length) = 0;

  // Waits until the bytes written so far have left the device, for at most
  // `timeoutMs` milliseconds; true when they have (or nothing was waiting).
  // A close after a successful drain keeps what the line still holds (a
  // pseudo-terminal's peer that has not read it yet); otherwise a close
  // abandons output that is still queued.
  virtual bool drain(int timeoutMs) = 0;

  // Closes the device if it is open; may be called any number of times.
  virtual void close() = 0;

  virtual bool is_open() const = 0;

  // The system error code of the operation that failed last, as
  // system_error_message() reads it.  Asked right after the failure.
  virtual int error_code() const = 0;
};

// A closed device of this platform.
std::unique_ptr<SerialDevice> make_serial_device();

// The platform's name of the device behind COM port `portNumber` (any number,
// including 0 and negative ones, gives some name; opening it may then fail).
std::string serial_device_name(int portNumber);

// When the name of COM port `portNumber` is not the one the environment asks
// for (SMS_TEST_PORTS is set but names no folder), what was looked for and
// why it was not used; otherwise "".
std::string port_lookup_note(int portNumber);

// The calling thread's last system error code.
int last_system_error();

// The system's own text for error `code`, as the system writes it.  False when
// the system has no text for it.
bool system_error_message(int code, std::string& text);

}  // namespace smstest
