#include "modem/handshake.h"

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "modem/at_answer.h"
#include "serial/com_port.h"

namespace smstest {

namespace {

constexpr int kHandshakeBufferSize = 8192;
constexpr int kHandshakeSeconds = 3;
constexpr int kEchoOffSeconds = 1;

// The failure of a modem that did not answer: the port is closed.
std::string no_modem_text(ComPort& port) {
  port.close_com();
  if (interrupt_signal() != 0) return interrupt_text();
  return format(
      "%s failed to respond to at comand. Please make sure that the device is connected and "
      "the baudrate and other port settings are correct.",
      com_device_name(port.portNumber).c_str());
}

// Writes `command` and CR and reads its answer until its final result code
// or `seconds` (whole seconds of the steady clock) have passed.  False when
// the write or the port failed (`error` set).
bool ask_for(ComPort& port, AtReader& reader, const char* command, int seconds, AtAnswer& answer,
             std::string& error) {
  const std::string line = std::string(command) + "\r";
  if (!port.write_com(line.data(), static_cast<int>(line.size()))) {
    error = port.lastError;
    return false;
  }
  ExpectedAnswer expected;
  expected.echo = command;
  if (reader.read_answer(expected, port.clock().steady_seconds() + seconds, answer) ==
      ReadOutcome::kReadFailed) {
    error = reader.lastError;
    return false;
  }
  return true;
}

}  // namespace

bool open_modem_port(ComPort& port, int portNumber, int baudRate, int testTimeout,
                     int64_t testStart) {
  if (!port.open_line(portNumber, baudRate, testTimeout, testStart)) return false;

  // The first "AT" may be swallowed by a modem that is just waking up or
  // still sorting out the baud rate, so only the second must be answered.
  // What it answers is not looked at: "ERROR" proves a modem as well as "OK".
  char answer[kHandshakeBufferSize];
  port.write_com("AT\r", 3);
  port.read_com(answer, sizeof answer, kHandshakeSeconds);

  if (!port.write_com("AT\r", 3)) return false;
  if (!port.read_com(answer, sizeof answer, kHandshakeSeconds) || answer[0] == '\0') {
    port.lastError = no_modem_text(port);
    return false;
  }

  port.write_com("ATE0\r", 5);
  port.read_com(answer, sizeof answer, kEchoOffSeconds);
  return true;
}

bool answering_handshake(ComPort& port, AtReader& reader, std::string& error) {
  AtAnswer answer;
  // A final result code to the first "AT" proves a modem at once; a modem
  // that swallowed it gets a second chance, and then any answer counts.
  bool proven = ask_for(port, reader, "AT", kHandshakeSeconds, answer, error);
  if (proven && answer.final == FinalCode::kNone) {
    proven = ask_for(port, reader, "AT", kHandshakeSeconds, answer, error);
    if (proven && answer.final == FinalCode::kNone && trim_text(answer.bytes).empty()) {
      error = no_modem_text(port);
      return false;
    }
  }
  // "ATE0" is given as long as "AT": the read ends at its final result code
  // anyway, and a deadline in whole seconds may come at once after 1.
  if (!proven || !ask_for(port, reader, "ATE0", kHandshakeSeconds, answer, error)) {
    port.close_com();
    return false;
  }
  // The rest of an answer to a first "AT" that came late, or a noisy line,
  // read in requests no longer than the quiet time.
  port.set_request_timing(1, kSettleQuietMs);
  if (reader.settle(kSettleQuietMs, port.clock().steady_seconds() + kHandshakeSeconds) ==
      ReadOutcome::kReadFailed) {
    error = reader.lastError;
    port.close_com();
    return false;
  }
  return true;
}

}  // namespace smstest
