// libFuzzer target for AtReader: the bytes come from the modem.  The first
// byte picks what the answer is expected to look like, the second how the
// line cuts the rest into chunks; the reader reads an answer, waits for
// unsolicited lines and settles, on the fake device and the fake clock.
// Seeds: at_answer_fuzz_corpus/.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "modem/at_answer.h"
#include "serial/com_port.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

}  // namespace smstest

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace smstest;
  if (size < 2) return 0;
  const uint8_t kind = data[0];
  const size_t chunk = 1 + data[1] % 16;
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  FakeClock clock;
  std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
  FakeSerialDevice& device = *owned;
  ComPort port(std::move(owned), clock);
  if (!port.open_line(3, 115200, 60, clock.steady_seconds())) std::abort();
  port.set_request_timing(1, 100);
  std::vector<std::string> chunks;
  for (size_t at = 0; at < bytes.size(); at += chunk) chunks.push_back(bytes.substr(at, chunk));
  device.queue_chunks(chunks, 0, kind & 0x80 ? 10 : 0);

  ExpectedAnswer expected;
  static const char* const kInfo[] = {"", "+CMGL:", "+CMGR:", "+CMGS:"};
  expected.info = kInfo[kind & 3];
  expected.dataLines = (kind & 4) != 0;
  expected.promptEnds = (kind & 8) != 0;
  if (kind & 16) expected.echo = "AT+CMGR=1";

  AtReader reader(port);
  AtAnswer answer;
  ReadOutcome outcome = reader.read_answer(expected, clock.steady_seconds() + 2, answer);
  check(outcome != ReadOutcome::kReadFailed);
  // What the answer holds came from the line, in order; the device drops
  // NUL bytes, as the platform devices do.
  std::string line = bytes;
  line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
  check(line.compare(0, answer.bytes.size(), answer.bytes) == 0);
  check((outcome == ReadOutcome::kComplete) == (answer.final != FinalCode::kNone));
  check(expected.promptEnds || answer.final != FinalCode::kPrompt);
  check(answer.data.size() <= answer.info.size());
  check(expected.info.empty() ? answer.info.empty() : true);
  describe_final(answer);
  reader.wait(reader.now_ms() + 500, clock.steady_seconds() + 2, (kind & 32) != 0);
  reader.settle(200, clock.steady_seconds() + 2);
  Notice notice;
  // Kept notices are of a kind the table knows; a stored one names its index.
  while (reader.take_other_notice(notice)) check(notice.kind != NoticeKind::kOther);
  while (reader.take_notice(NoticeKind::kNewMessage, notice)) {
    check(notice.index >= 0 || notice.line.rfind("+CMT:", 0) == 0);
  }
  for (const AnswerLine& line : answer.info) split_fields(line.text);
  escape_text(answer.bytes, kind);
  return 0;
}
