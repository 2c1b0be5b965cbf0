// libFuzzer target for the proprietary answer reader: the text rules of
// answers.h and SmsModem's reads of a poll's answer (echo, final result,
// a message report across reads), on the fake device and the fake clock.
// The first byte picks the command whose answer the bytes are, the second
// how the line cuts the rest into chunks.  Seeds: answers_fuzz_corpus/.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "modem/answers.h"
#include "modem/sms_modem.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

// The rules alone, on the bytes as one NUL-terminated answer.
void check_rules(const std::string& bytes, const char* command) {
  const std::string answer(bytes.c_str());  // up to the first NUL, as read_com leaves it
  const char* text = answer.c_str();
  size_t echo = 0;
  const EchoState state = echo_state(text, command, echo);
  check(state == EchoState::kWhole ? echo > 0 && echo <= answer.size() : echo == 0);
  holds_final_result(text, answer.size() / 2, "ERROR");
  const ReportSpan span = report_span(text);
  check(span.begin < 0 || (span.begin <= span.end && span.end <= static_cast<int>(answer.size())));
  report_complete(text, "ERROR");
  const int error = find_outside(text, "ERROR", span.begin, span.end);
  check(error < 0 || std::strncmp(text + error, "ERROR", 5) == 0);
  check(droppable_prefix(text, answer.size()) <= answer.size());
}

}  // namespace

}  // namespace smstest

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace smstest;
  if (size < 2) return 0;
  const uint8_t kind = data[0];
  const size_t chunk = 1 + data[1] % 16;
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  static const char* const kCommands[] = {"AT!GSMS?2,0\r", "AT!DSMS=3,0\r",
                                          "AT!SSMS=0,1,1,\"hi\"\r", "AT!DASMS\r"};
  const char* command = kCommands[kind & 3];
  check_rules(bytes, command);

  FakeClock clock;
  std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
  FakeSerialDevice& device = *owned;
  device.answer_handshake();
  std::vector<std::string> chunks;
  for (size_t at = 0; at < bytes.size(); at += chunk) chunks.push_back(bytes.substr(at, chunk));
  const std::string trigger(command, std::strlen(command) - 1);
  device.on_write(trigger, chunks, 0, 1, kind & 0x80 ? 10 : 0);
  device.set_responder([](const std::string&) { return std::vector<std::string>{"\r\nOK\r\n"}; });

  SmsModem modem(std::move(owned), clock);
  if (!modem.open(3, 115200, 5, clock.steady_seconds())) return 0;
  switch (kind & 3) {
    case 0: {
      std::string sender, body;
      int64_t foundAt = 0;
      if (modem.receive_sms(sender, body, foundAt, 2)) {
        // A report found is one the answer held; the device drops NUL
        // bytes, as the platform devices do.
        std::string line = bytes;
        line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
        check(line.find("Address:") != std::string::npos);
      }
      break;
    }
    case 1:
      modem.delete_messages();
      break;
    case 2: {
      int64_t start = 0, end = 0;
      modem.send_sms("1", "hi", start, end, 2);
      break;
    }
    default:
      modem.probe_dasms();
      break;
  }
  return 0;
}
