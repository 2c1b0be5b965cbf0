#include "modem/at_channel.h"

#include <utility>

#include "common/clock.h"
#include "common/text.h"
#include "modem/handshake.h"
#include "serial/serial_device.h"

namespace smstest {

AtChannel::AtChannel() : reader(port) {}

AtChannel::AtChannel(std::unique_ptr<SerialDevice> device, Clock& clock)
    : port(std::move(device), clock), reader(port) {}

bool AtChannel::open(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  if (!open_modem_port(port, portNumber, baudRate, testTimeout, testStart)) {
    lastError = port.lastError;
    return false;
  }
  return true;
}

bool AtChannel::open_answering(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  if (!port.open_line(portNumber, baudRate, testTimeout, testStart)) {
    lastError = port.lastError;
    return false;
  }
  sliceMs_ = 0;
  port.set_request_timing(kQuietMs, kRequestMs);
  if (!answering_handshake(port, reader, lastError)) return false;
  port.set_request_timing(kQuietMs, kRequestMs);
  return true;
}

void AtChannel::use_slices(int sliceMs) {
  if (sliceMs == sliceMs_) return;
  sliceMs_ = sliceMs;
  port.set_request_timing(kQuietMs, sliceMs > 0 ? sliceMs : kRequestMs);
}

bool AtChannel::write_bytes(const std::string& bytes) {
  use_slices(0);
  written_ = bytes;
  if (!port.write_com(written_.data(), static_cast<int>(written_.size()))) {
    lastError = port.lastError;
    return false;
  }
  return true;
}

bool AtChannel::read_answer(const ExpectedAnswer& expected, int64_t deadline, AtAnswer& answer,
                            bool& timedOut) {
  const ReadOutcome outcome = reader.read_answer(expected, deadline, answer);
  timedOut = outcome == ReadOutcome::kTimedOut;
  if (outcome == ReadOutcome::kReadFailed) {
    lastError = reader.lastError;
    return false;
  }
  return true;
}

bool AtChannel::wait(int64_t untilMs, int64_t deadline, bool stopAtMessage) {
  if (reader.wait(untilMs, deadline, stopAtMessage) == ReadOutcome::kReadFailed) {
    lastError = reader.lastError;
    return false;
  }
  return true;
}

bool AtChannel::take_arrived() {
  if (reader.take_arrived() == ReadOutcome::kReadFailed) {
    lastError = reader.lastError;
    return false;
  }
  return true;
}

bool AtChannel::ask(const std::string& command, ExpectedAnswer expected, int64_t deadline,
                    AtAnswer& answer) {
  expected.echo = command;
  for (;;) {
    const int64_t triedAt = now_ms();
    if (!write_bytes(command + "\r")) return false;
    bool timedOut = false;
    if (!read_answer(expected, deadline, answer, timedOut)) return false;
    if (timedOut) {
      return fail(with_what_came(format("No final result code for %s in time", command.c_str()),
                                 answer.bytes));
    }
    if (!is_sim_busy(answer) || clock().steady_seconds() >= test_deadline()) return true;
    note_error(command, answer, "trying again in a second");
    if (!wait(triedAt + kRetryMs, test_deadline(), false)) return false;
  }
}

void AtChannel::note_error(const std::string& command, const AtAnswer& answer,
                           const char* consequence) {
  port_log(port, "%s answered %s: %s\n", command.c_str(), describe_final(answer).c_str(),
           consequence);
}

bool AtChannel::fail(const std::string& text) {
  lastError = text;
  port_log(port, "%s\n", text.c_str());
  return false;
}

bool AtChannel::fail_answer(const std::string& command, const AtAnswer& answer) {
  return fail(format("%s answered %s", command.c_str(), describe_final(answer).c_str()));
}

std::string with_what_came(std::string text, const std::string& bytes) {
  if (!bytes.empty()) text += format(" (the modem sent \"%s\")", escape_text(bytes).c_str());
  return text;
}

}  // namespace smstest
