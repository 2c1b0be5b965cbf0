#include "modem/answers.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace smstest {

namespace {

const char kAddressLabel[] = "Address:";
const char kBodyLabel[] = "Msg Body:";

// Where the value of a label found at `label` ends: its CR, or the end of the
// answer.  A report line is the label, one separator byte, the value and a
// CR.
int value_end(const char* answer, int label, size_t labelLength) {
  const size_t length = std::strlen(answer);
  const size_t start = std::min(length, static_cast<size_t>(label) + labelLength + 1);
  const char* cr = std::strchr(answer + start, '\r');
  return static_cast<int>(cr != nullptr ? static_cast<size_t>(cr - answer) : length);
}

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// The longest piece of a label that can end a buffer: "Msg Body" without
// its colon, and some room.
constexpr size_t kLabelTail = 16;

}  // namespace

EchoState echo_state(const char* answer, const char* command, size_t& echoLength) {
  echoLength = 0;
  const size_t held = std::strlen(answer);
  size_t echo = std::strlen(command);
  if (echo > 0 && command[echo - 1] == '\r') --echo;
  if (held == 0 || echo == 0) return EchoState::kNone;
  if (std::memcmp(answer, command, std::min(held, echo)) != 0) return EchoState::kNone;
  if (held <= echo) return EchoState::kPartial;
  echoLength = echo + (answer[echo] == '\r' ? 1 : 0);
  return EchoState::kWhole;
}

bool holds_final_result(const char* answer, size_t from, const char* errorToken) {
  const size_t length = std::strlen(answer);
  if (from > length) return false;
  return find_text(answer + from, "OK") >= 0 || find_text(answer + from, errorToken) >= 0;
}

ReportSpan report_span(const char* answer) {
  ReportSpan span;
  const int address = find_text(answer, kAddressLabel);
  const int body = find_text(answer, kBodyLabel);
  if (address >= 0) {
    span.begin = address;
    span.end = value_end(answer, address, sizeof kAddressLabel - 1);
  }
  if (body >= 0) {
    span.begin = span.begin < 0 ? body : std::min(span.begin, body);
    span.end = std::max(span.end, value_end(answer, body, sizeof kBodyLabel - 1));
  }
  return span;
}

bool report_complete(const char* answer, const char* errorToken) {
  const int address = find_text(answer, kAddressLabel);
  const int body = find_text(answer, kBodyLabel);
  if (address < 0 || body < 0) return false;
  const int addressEnd = value_end(answer, address, sizeof kAddressLabel - 1);
  const int bodyEnd = value_end(answer, body, sizeof kBodyLabel - 1);
  if (answer[addressEnd] != '\r' || answer[bodyEnd] != '\r') return false;
  return holds_final_result(answer, static_cast<size_t>(std::max(addressEnd, bodyEnd)), errorToken);
}

int find_outside(const char* text, const char* token, int from, int to) {
  const size_t length = std::strlen(text);
  const size_t tokenLength = std::strlen(token);
  for (size_t at = 0; at + tokenLength <= length; ++at) {
    if (std::memcmp(text + at, token, tokenLength) != 0) continue;
    const bool overlaps =
        from >= 0 && static_cast<int>(at)<to&& static_cast<int>(at + tokenLength)> from;
    if (!overlaps) return static_cast<int>(at);
  }
  return -1;
}

size_t droppable_prefix(const char* answer, size_t length) {
  const ReportSpan span = report_span(answer);
  if (span.begin >= 0) {
    size_t start = static_cast<size_t>(span.begin);
    while (start > 0 && !is_line_end(answer[start - 1])) --start;
    return start;
  }
  size_t tail = 0;
  while (tail < length && !is_line_end(answer[length - 1 - tail])) ++tail;
  return length - std::min(tail, kLabelTail);
}

}  // namespace smstest
