#include "serial/com_port.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "serial/log_file.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

// A read request returns about 100 ms after it was issued with whatever has
// arrived, or sooner when all the requested bytes are there; a write of n
// bytes gets 50 n + 100 ms.
constexpr SerialTimeouts kPortTimeouts = {100, 0, 100, 50, 100};

// A write never gets less time than one read request; one whose own limit
// is no more than a second is left that limit.
constexpr int kMinimumWriteMs = 100;
constexpr int kUncappedWriteMs = 1000;

// The most that discard_input takes in one call.
constexpr int kMaxDiscarded = 65536;

// Holds a context text, a number and a system message.
char g_system_error[1024];

const char* system_error_text_for(const char* context, int code) {
  std::string message;
  if (!system_error_message(code, message)) message = "Unkown System Error";
  std::snprintf(g_system_error, sizeof g_system_error, "%s, error code: %d: %s\n",
                context != nullptr ? context : "", code, message.c_str());
  return g_system_error;
}

// Why an open failed, for the end of its message: " (<the system's text>)",
// with the port folder that was not used when there is one; "" when there is
// neither.
std::string open_failure_reason(int code, int portNumber) {
  std::string message;
  if (code == 0 || !system_error_message(code, message)) message.clear();
  message = trim_text(message);
  const std::string note = port_lookup_note(portNumber);
  if (!message.empty() && !note.empty()) message += "; ";
  message += note;
  return message.empty() ? "" : " (" + message + ")";
}

}  // namespace

ComPort::ComPort() : ComPort(make_serial_device(), system_clock()) {}

ComPort::ComPort(std::unique_ptr<SerialDevice> device, Clock& clock)
    : device_(std::move(device)), clock_(clock) {}

ComPort::~ComPort() {
  close_com();
  if (logFile != nullptr) std::fclose(logFile);
}

void ComPort::open_log(const char* path) {
  if (logFile != nullptr) std::fclose(logFile);
  logFile = open_debug_log(path);
  logOn = logFile != nullptr;
  if (!logOn) std::fprintf(stderr, "Cannot open log file %s\n", path);
}

bool ComPort::open_line(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  this->testTimeout = testTimeout;
  this->testStart = testStart;
  this->portNumber = portNumber;
  const std::string name = com_device_name(portNumber);

  close_com();
  if (!device_->open(name.c_str())) {
    lastError = format("Failed to open %s. Please make sure that this device is not in use.",
                       name.c_str()) +
                open_failure_reason(device_->error_code(), portNumber);
    return false;
  }
  if (!device_->configure(baudRate)) {
    int code = device_->error_code();
    const std::string context =
        format("open_com: Could not configure %s at %d baud", name.c_str(), baudRate);
    device_->close();
    lastError = system_error_text_for(context.c_str(), code);
    return false;
  }
  device_->set_timeouts(kPortTimeouts);
  writeCapMs_ = -1;
  device_->purge();
  return true;
}

void ComPort::cap_write(int length) {
  // Whole seconds to the test deadline, as the reads count them; once it has
  // passed a write still gets the time one read request gets.
  const int64_t perByte = static_cast<int64_t>(kPortTimeouts.writeTotalMultiplier) * length +
                          kPortTimeouts.writeTotalConstant;
  // A command of a few bytes gets a second at most anyway; only longer
  // writes are worth a look at the clock.
  int cap = -1;
  const int64_t left = perByte <= kUncappedWriteMs
                           ? perByte
                           : (testStart + testTimeout - clock_.steady_seconds()) * 1000;
  if (left < perByte) {
    cap = static_cast<int>(std::min<int64_t>(std::max<int64_t>(left, kMinimumWriteMs), INT_MAX));
  }
  if (cap == writeCapMs_) return;
  SerialTimeouts timeouts = kPortTimeouts;
  if (cap >= 0) {
    timeouts.writeTotalMultiplier = 0;
    timeouts.writeTotalConstant = cap;
  }
  device_->set_timeouts(timeouts);
  writeCapMs_ = cap;
}

bool ComPort::write_com(const char* data, int length) {
  // An interrupted run writes no further command.
  if (interrupt_signal() != 0) {
    lastError = interrupt_text();
    port_log(*this, "%s", lastError.c_str());
    return false;
  }
  cap_write(length);
  if (!device_->start_write(data, length)) {
    int code = device_->error_code();
    // A refusal that leaves no error code counts as a started write.
    if (code != 0) {
      const std::string context = format("write_com: Could not write to COM%d", portNumber);
      lastError = system_error_text_for(context.c_str(), code);
      port_log(*this, "%s", lastError.c_str());
      return false;
    }
  }
  port_log(*this, "\nWrote %d bytes\n", length);
  port_log_raw(data, length);
  return true;
}

bool ComPort::read_com(char* buffer, int capacity, int timeoutSeconds) {
  const int64_t t0 = clock_.steady_seconds();
  if (capacity < 1) {
    lastError = format("ReadCom: buffer size %d is too small\n", capacity);
    port_log(*this, "%s", lastError.c_str());
    return false;
  }

  int held = 0;
  for (;;) {
    // One byte always stays free for the terminating NUL.
    buffer[held] = '\0';
    // Looked at before every request, so that an interrupted run ends
    // within one request of the signal.
    if (interrupt_signal() != 0) {
      lastError = interrupt_text();
      port_log(*this, "%s", lastError.c_str());
      return false;
    }
    int got = 0;
    ReadRequest request = device_->read(buffer + held, capacity - held - 1, got);
    if (request != ReadRequest::kDone) {
      buffer[held] = '\0';
      lastError = system_error_text_for(request == ReadRequest::kRefused
                                            ? "read_com: Error reading from the comm port"
                                            : "read_com: Could not set comm mask",
                                        device_->error_code());
      return false;
    }

    // A full buffer fails even when its last byte is a terminator.
    if (held + got >= capacity - 1) {
      lastError = format("ReadCom: buffer size %d is too small\n", capacity);
      port_log(*this, "%s", lastError.c_str());
      buffer[capacity - 1] = '\0';
      return false;
    }

    // Only the last byte of the newest chunk decides: an answer that arrives
    // in pieces completes with the first piece that ends a line or prompt.
    if (got > 0) {
      if (is_read_terminator(static_cast<unsigned char>(buffer[held + got - 1]))) {
        buffer[held + got] = '\0';
        // What an earlier read waited for in vain has come now, if anything.
        answerOwed = false;
        port_log(*this, "\nRead %d bytes\n", held + got);
        port_log_raw(buffer, held + got);
        return true;
      }
      port_log(*this, "\nRead Partial bytes: ");
      port_log_raw(buffer + held, got);
      held += got;
    }
    buffer[held] = '\0';

    // Checked only after a request, so even a deadline already past gives
    // the port one request's chance to deliver.  The elapsed time in the
    // message is read from the clock again.
    const int64_t now = clock_.steady_seconds();
    const bool nothing = held == 0;
    if (timeoutSeconds == -1) {
      if (now - testStart >= testTimeout) {
        answerOwed = answerOwed || nothing;
        lastError = format("Read timedout, test timeout=%d, elapsed=%d", testTimeout,
                           static_cast<int>(clock_.steady_seconds() - testStart));
        port_log(*this, "%s\n", lastError.c_str());
        return false;
      }
    } else if (now - t0 >= timeoutSeconds) {
      answerOwed = answerOwed || nothing;
      lastError = format("Read timedout, timeout=%d, elapsed=%d", timeoutSeconds,
                         static_cast<int>(clock_.steady_seconds() - t0));
      port_log(*this, "%s\n", lastError.c_str());
      return false;
    }
  }
}

void ComPort::discard_input() {
  char scratch[4096];
  for (int total = 0; total < kMaxDiscarded;) {
    int got = 0;
    if (device_->read_waiting(scratch, sizeof scratch, got) != ReadRequest::kDone || got == 0) {
      return;
    }
    port_log(*this, "\nRead %d bytes\n", got);
    port_log_raw(scratch, got);
    total += got;
  }
}

void ComPort::close_com() {
  if (device_->is_open()) {
    const int64_t left = (testStart + testTimeout - clock_.steady_seconds()) * 1000;
    device_->drain(static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left, kCloseDrainMs))));
  }
  device_->close();
}

void ComPort::port_log_raw(const char* data, int length) {
  if (!logOn || logFile == nullptr || length <= 0) return;
  std::fwrite(data, 1, static_cast<size_t>(length), logFile);
  std::fflush(logFile);
}

bool ComPort::is_open() const { return device_->is_open(); }

void port_log(ComPort& port, const char* fmt, ...) {
  if (!port.logOn || port.logFile == nullptr) return;
  va_list args;
  va_start(args, fmt);
  std::vfprintf(port.logFile, fmt, args);
  va_end(args);
  std::fflush(port.logFile);
}

const char* system_error_text(const char* context) {
  return system_error_text_for(context, last_system_error());
}

std::string com_device_name(int portNumber) { return serial_device_name(portNumber); }

bool is_read_terminator(unsigned char c) { return is_c_space(c) || c == '>'; }

}  // namespace smstest
