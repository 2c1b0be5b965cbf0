// The request-by-request reading of ComPort, for readers that decide for
// themselves where an answer ends (the standard SMS commands end theirs at a
// final result code, not at a chunk that ends in white space).
#include <string>

#include "common/text.h"
#include "serial/com_port.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

// The text read_com leaves for a failed device, with the device's own code.
std::string device_error_text(const char* context, int code) {
  std::string message;
  if (!system_error_message(code, message)) message = "Unkown System Error";
  return format("%s, error code: %d: %s\n", context, code, message.c_str());
}

}  // namespace

void ComPort::set_request_timing(int quietMilliseconds, int waitMilliseconds) {
  // Writes keep the 50 ms per byte + 100 ms that open_line gives them.
  SerialTimeouts timeouts = {quietMilliseconds, 0, waitMilliseconds, 50, 100};
  device_->set_timeouts(timeouts);
}

bool ComPort::read_request(char* buffer, int capacity, int& got) {
  got = 0;
  if (capacity < 1) return true;
  ReadRequest request = device_->read(buffer, capacity, got);
  if (request == ReadRequest::kDone) return true;
  got = 0;
  lastError = device_error_text(request == ReadRequest::kRefused
                                    ? "read_com: Error reading from the comm port"
                                    : "read_com: Could not set comm mask",
                                device_->error_code());
  return false;
}

int64_t ComPort::last_read_lag_us() const { return device_ ? device_->last_byte_lag_us() : 0; }

bool ComPort::read_arrived(char* buffer, int capacity, int& got) {
  got = 0;
  if (capacity < 1) return true;
  ReadRequest request = device_->read_waiting(buffer, capacity, got);
  if (request == ReadRequest::kDone) return true;
  got = 0;
  lastError = device_error_text(request == ReadRequest::kRefused
                                    ? "read_com: Error reading from the comm port"
                                    : "read_com: Could not set comm mask",
                                device_->error_code());
  return false;
}

}  // namespace smstest
