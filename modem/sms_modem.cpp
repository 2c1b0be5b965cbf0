#include "modem/sms_modem.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "modem/answers.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

constexpr int kLargeResponse = 40960;
constexpr int kSendResponse = 2048;
const char kErrorToken[] = "ERROR";

// How long an answer without its final result ("OK" or "ERROR") is read on
// after its last piece: 1 to 2 whole seconds.
constexpr int kFinalResultSeconds = 2;

// The value that starts `skip` bytes after the label found at `label` and
// runs to the next CR.  A report whose value has no CR after it gives the
// value up to the end of the response; a label at the very end gives "".
std::string value_after(const char* response, int label, int skip) {
  size_t length = std::strlen(response);
  size_t start = static_cast<size_t>(label) + static_cast<size_t>(skip);
  if (start > length) start = length;
  const char* end = std::strchr(response + start, '\r');
  size_t stop = end != nullptr ? static_cast<size_t>(end - response) : length;
  return std::string(response + start, stop - start);
}

}  // namespace

SmsModem::SmsModem() : port(channel_.port) {}

SmsModem::SmsModem(std::unique_ptr<SerialDevice> device, Clock& clock)
    : channel_(std::move(device), clock), port(channel_.port) {}

void SmsModem::open_log(const char* path) { port.open_log(path); }

bool SmsModem::open(int portNumber, int baudRate, int testTimeout, int64_t testStart) {
  answered_ = channel_.open(portNumber, baudRate, testTimeout, testStart);
  if (!answered_) {
    lastError = channel_.lastError;
    return false;
  }
  int probe = probe_dasms();
  return probe == kProbeAccepted || probe == kProbeRejected;
}

int SmsModem::probe_dasms() {
  static const char kProbe[] = "AT!DASMS\r";
  if (!write_command(kProbe, 9)) return kProbeNotWritten;
  std::vector<char> response(kLargeResponse);
  char* buffer = response.data();
  int result = kResponseReadFailed;
  if (read_answer(buffer, kLargeResponse, kProbe)) {
    read_to_final_result(buffer, kLargeResponse);
    result = classify(buffer, kErrorToken, ReportSpan());
  }
  if (result == kResponseReadFailed) return kProbeNoResponse;
  if (result >= 0) {
    std::fprintf(stderr, "AT!DASMS is not supported for COM%d\n", port.portNumber);
    std::fflush(stderr);
    lastError = "AT!DASMS is not supported\n";
    return kProbeRejected;
  }
  return kProbeAccepted;
}

bool SmsModem::interrupted() {
  if (interrupt_signal() == 0) return false;
  lastError = interrupt_text();
  return true;
}

void SmsModem::wait_for_late_answer() {
  port.answerOwed = false;
  const int64_t left = port.testStart + port.testTimeout - port.clock().steady_seconds();
  const int seconds = static_cast<int>(left < kLateAnswerSeconds ? left : kLateAnswerSeconds);
  if (seconds <= 0) return;
  std::vector<char> response(kLargeResponse);
  if (port.read_com(response.data(), kLargeResponse, seconds)) {
    read_to_final_result(response.data(), kLargeResponse);
  }
  // A modem that never answers is owed nothing more.
  port.answerOwed = false;
}

bool SmsModem::write_command(const char* command, int length) {
  // An earlier command's answer that did not come in time may come now: it
  // is waited for (a few seconds at most) so that it can't pass for this
  // command's.  A modem that answers in time owes nothing, and its dialogue
  // and log are as they always were.
  if (port.answerOwed) wait_for_late_answer();
  // Whatever waits now answers nothing this command asks: the rest of an
  // earlier answer would otherwise pass for this one's.
  port.discard_input();
  if (!port.write_com(command, length)) {
    lastError = port.lastError;
    return false;
  }
  return true;
}

bool SmsModem::read_answer(char* buffer, int capacity, const char* command) {
  bool ok = port.read_com(buffer, capacity, -1);
  for (;;) {
    size_t echo = 0;
    const EchoState state = echo_state(buffer, command, echo);
    const size_t held = std::strlen(buffer);
    if (state == EchoState::kPartial) {
      // The modem echoes what it is sent (it ignored "ATE0"), and the read
      // ended inside the echo, at a blank of the message text.  When no
      // more comes, what came is echo all the same.
      if (!ok) {
        buffer[0] = '\0';
        break;
      }
      ok = port.read_com(buffer + held, capacity - static_cast<int>(held), -1);
      continue;
    }
    if (state == EchoState::kWhole) {
      // The echo is no part of the answer: an "OK" or "ERROR" in the text
      // it repeats must not count.
      std::memmove(buffer, buffer + echo, held - echo + 1);
      if (ok && trim_text(buffer).empty()) {
        const size_t rest = std::strlen(buffer);
        ok = port.read_com(buffer + rest, capacity - static_cast<int>(rest), -1);
      }
    }
    break;
  }
  if (!ok) lastError = port.lastError;
  return ok;
}

void SmsModem::read_to_final_result(char* buffer, int capacity) {
  // An answer that came in pieces, its final result after the read ended,
  // would leave that result to pass for the next command's answer.
  for (;;) {
    if (holds_final_result(buffer, 0, kErrorToken)) return;
    const size_t held = std::strlen(buffer);
    if (held + 1 >= static_cast<size_t>(capacity)) return;
    if (!port.read_com(buffer + held, capacity - static_cast<int>(held), kFinalResultSeconds)) {
      // Nothing more came: the answer is what arrived.  A full buffer stays
      // the caller's to see.
      return;
    }
  }
}

int SmsModem::classify(const char* buffer, const char* errorToken, const ReportSpan& report) {
  int error = find_outside(buffer, errorToken, report.begin, report.end);
  if (find_text(buffer, "+CMGL:") >= 0) {
    if (error >= 0)
      port_log(port, "Warning modem returned warning and response to CMGL, assumed OK\n");
    return kResponseUsable;
  }
  if (error >= 0) {
    lastError = "Modem returned an error";
    return error;
  }
  return kResponseUsable;
}

int SmsModem::wait_response(char* buffer, int capacity, int timeoutSeconds,
                            const char* errorToken) {
  if (!port.read_com(buffer, capacity, timeoutSeconds)) {
    lastError = port.lastError;
    return kResponseReadFailed;
  }
  return classify(buffer, errorToken, ReportSpan());
}

bool SmsModem::send_sms(const char* number, const char* text, int64_t& sendStart, int64_t& sendEnd,
                        int timeoutSeconds) {
  const int64_t started = port.clock().steady_seconds();
  // The command text must outlive the write: the port does not copy it.
  const std::string command = format("AT!SSMS=0,%s,%s,\"%s\"\r", number, number, text);
  if (!write_command(command.c_str(), static_cast<int>(command.size()))) return false;
  port.clock().sleep_milliseconds(100);
  if (!port.clock().read_performance_counter(sendStart)) {
    lastError = "Call to QueryPerformanceCounter failed\n";
    return false;
  }
  std::vector<char> response(kSendResponse);
  char* buffer = response.data();
  // The first answer may begin with the command's echo, which repeats the
  // message text.
  int result = read_answer(buffer, kSendResponse, command.c_str())
                   ? classify(buffer, kErrorToken, ReportSpan())
                   : kResponseReadFailed;
  for (;;) {
    if (interrupted()) return false;
    // A failed read (kResponseReadFailed) is examined like a full response: the confirmation
    // may be in the part that arrived.
    if (result >= 0) {
      lastError = "On sending SMS Text, Com port returned ERROR";
      return false;
    }
    if (find_text(buffer, "OK") >= 0 || find_text(buffer, "+CMGS:") > 0) {
      if (!port.clock().read_performance_counter(sendEnd)) {
        lastError = "Call to QueryPerformanceCounter failed\n";
        return false;
      }
      return true;
    }
    if (port.clock().steady_seconds() - started > timeoutSeconds) {
      lastError = "Send Timed Out Waiting for +CMGW:\n";
      return false;
    }
    port.clock().sleep_milliseconds(50);
    result = wait_response(buffer, kSendResponse, -1, kErrorToken);
  }
}

bool SmsModem::receive_sms(std::string& sender, std::string& body, int64_t& foundAt,
                           int timeoutSeconds) {
  const int64_t deadline = timeoutSeconds > 0 ? port.clock().steady_seconds() + timeoutSeconds
                                              : port.testStart + port.testTimeout;
  static const char kPoll[] = "AT!GSMS?2,0\r";
  std::vector<char> response(kLargeResponse);
  char* buffer = response.data();
  for (;;) {
    if (!write_command(kPoll, sizeof kPoll - 1)) return false;
    bool ok = read_answer(buffer, kLargeResponse, kPoll);
    ok = read_report(buffer, kLargeResponse, ok, deadline);
    // Only an error outside the reported message counts: a body (or a
    // sender) may hold "ERROR" as any other text.
    if (interrupted()) return false;
    int result = ok ? classify(buffer, kErrorToken, report_span(buffer)) : kResponseReadFailed;
    if ((result == kResponseUsable || result == kResponseReadFailed) &&
        find_text(buffer, "Address:") >= 0) {
      if (parse_message(buffer, sender, body) == 0) return false;
      if (!port.clock().read_performance_counter(foundAt)) {
        lastError = "Call to QueryPerformanceCounter failed\n";
        return false;
      }
      return true;
    }
    // An "ERROR" answer is only a poll without a message.
    if (port.clock().steady_seconds() > deadline) {
      lastError = "Operation Timed out during SMS Receive.";
      return false;
    }
    port.clock().sleep_milliseconds(100);
  }
}

bool SmsModem::send(const OutgoingMessage& message, SendReceipt& receipt, int timeoutSeconds) {
  receipt = SendReceipt();
  if (!send_sms(message.number.c_str(), message.text.c_str(), receipt.sendStart, receipt.sendEnd,
                timeoutSeconds)) {
    return false;
  }
  receipt.parts.push_back({-1, receipt.sendEnd, receipt.sendStart});
  return true;
}

bool SmsModem::receive(ReceivedMessage& message, int timeoutSeconds) {
  message = ReceivedMessage();
  if (!receive_sms(message.sender, message.text, message.foundAt, timeoutSeconds)) return false;
  message.raw = message.text;
  return true;
}

bool SmsModem::read_report(char* buffer, int capacity, bool ok, int64_t deadline) {
  for (;;) {
    size_t held = std::strlen(buffer);
    if (held + 1 >= static_cast<size_t>(capacity)) {
      // The answer is longer than the buffer: what can't be part of a
      // report goes, and the rest is read on in the room it leaves, so that
      // a report across the end of the buffer is not lost.  A modem that
      // never stops talking is listened to until the deadline only.
      if (port.clock().steady_seconds() > deadline) return ok;
      const size_t drop = droppable_prefix(buffer, held);
      if (drop == 0) return ok;
      std::memmove(buffer, buffer + drop, held - drop + 1);
      held -= drop;
    } else if (!ok) {
      return false;
    } else if (find_text(buffer, "Address:") >= 0) {
      // A report whose body line or final result has not come yet is read
      // on until it has, within the receive's deadline.
      if (report_complete(buffer, kErrorToken)) return true;
      if (port.clock().steady_seconds() > deadline) return true;
    } else {
      read_to_final_result(buffer, capacity);
      return true;
    }
    ok = port.read_com(buffer + held, capacity - static_cast<int>(held), -1);
    if (!ok) lastError = port.lastError;
  }
}

int SmsModem::parse_message(const char* response, std::string& sender, std::string& body) {
  body.clear();
  int address = find_text(response, "Address:");
  if (address < 0) {
    lastError = "Unexpected SMS Message getting from phone number.";
    return 0;
  }
  // The label, one separator byte (normally a blank), then the value.
  sender = value_after(response, address, 9);
  int text = find_text(response, "Msg Body:");
  if (text < 0) {
    lastError = "Unexpected SMS Message getting message body.";
    return 0;
  }
  body = value_after(response, text, 10);
  port_log(port, "Got SMS message: %s\n", body.c_str());
  return 1;
}

bool SmsModem::delete_messages() {
  static const char kDelete[] = "AT!DSMS=3,0\r";
  if (!write_command(kDelete, sizeof kDelete - 1)) return false;
  std::vector<char> response(kLargeResponse);
  char* buffer = response.data();
  int result = kResponseReadFailed;
  if (read_answer(buffer, kLargeResponse, kDelete)) {
    read_to_final_result(buffer, kLargeResponse);
    result = classify(buffer, kErrorToken, ReportSpan());
  }
  if (result == kResponseReadFailed) return false;
  if (result >= 0) {
    lastError = "On command AT!DSMS=3,0, Com port returned ERROR";
    return false;
  }
  return true;
}

}  // namespace smstest
