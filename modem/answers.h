// The text rules by which SmsModem reads a modem's answers: the echo of a
// command that a modem still sends although "ATE0" asked it not to, the
// final result that ends an answer, and the extent of a message report.
//
// All of them look at NUL-terminated answers as read_com leaves them and
// keep no state; SmsModem (sms_modem.h) decides what to read next.
#pragma once

#include <cstddef>

namespace smstest {

// How the start of an answer stands to the echo of the command it answers.
enum class EchoState {
  kNone,     // the answer does not start with the command's echo
  kPartial,  // the answer so far is all echo, and more of it is to come
  kWhole,    // the answer starts with the whole echo
};

// Compares the start of `answer` with `command` (its bytes as written; a
// final CR is echoed too).  For kWhole, `echoLength` receives the bytes to
// drop: the command and its CR when that has arrived.  An empty answer is
// kNone.
EchoState echo_state(const char* answer, const char* command, size_t& echoLength);

// True when `answer` holds a final result, "OK" or `errorToken`, at or after
// position `from`.
bool holds_final_result(const char* answer, size_t from, const char* errorToken);

// The part of a message report that comes from the network: from its first
// label ("Address:" or "Msg Body:") to the CR that ends the later label's
// value, or to the end of the answer when that CR has not come.  `begin` is
// -1 when the answer holds neither label.
struct ReportSpan {
  int begin = -1;
  int end = -1;
};
ReportSpan report_span(const char* answer);

// True when `answer` holds a whole message report: both labels, the CR after
// each value, and a final result after the report.
bool report_complete(const char* answer, const char* errorToken);

// The first position of `token` in `text` that does not overlap [from, to),
// or -1.  With `from` -1 the whole text is searched.
int find_outside(const char* text, const char* token, int from, int to);

// For a buffer of `length` bytes that an answer filled: how many bytes from
// its start can go so that the answer can be read on in the room they leave
// without losing a report that began in it.  Keeps the report from the start
// of the line that holds its first label; without a label it keeps the last
// unfinished line (which may end in the start of a label).  0 when nothing
// can go.
size_t droppable_prefix(const char* answer, size_t length);

}  // namespace smstest
