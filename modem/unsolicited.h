// The lines a modem sends by itself, between or inside the answers to its
// commands, and the notices the answer reader (at_answer.h) makes of them.
//
// One table holds every kind of line the sessions act on: its prefix,
// whether a data line follows it, and the parser that turns its values into
// a Notice:
//   +CMTI: <mem>,<index>           a new message, stored      kNewMessage
//   +CMT: ...  and a data line     a new message, not stored  kNewMessage
//   +CDSI: <mem>,<index>           a status report, stored    kStatusReport
//   +CDS: <length> and a PDU line  a status report (PDU mode) kStatusReport
//   +CDS: <fo>,<mr>,...            a status report (text mode) kStatusReport
//   +CBM: ... and a data line      a cell broadcast           kOther
//   +CREG: / +CGREG: / +CEREG:     the registration state     kRegistration
// Any other line that is no part of an answer is "other": noted in the
// debug log and dropped.  A new kind of line goes into the table in
// unsolicited.cpp with its parser; a line that fails its parser counts as
// other.
#pragma once

#include <cstdint>
#include <string>

namespace smstest {

// Counter reading of a line whose reading failed.
constexpr int64_t kNoReading = -1;

enum class NoticeKind { kNewMessage, kStatusReport, kRegistration, kOther };

struct Notice {
  NoticeKind kind = NoticeKind::kOther;
  std::string line;    // the line as it came, without blanks around it
  std::string data;    // the data line of a two-line form, "" for the others
  std::string memory;  // +CMTI, +CDSI: the store
  // +CMTI, +CDSI: the index in the store; -1 when the notice carries the
  // message or report itself (in `line` and `data`).
  int index = -1;
  // +CDS in text mode: the reference (<mr>) of the message it reports on.
  int reference = -1;
  int status = -1;               // registration: <stat>
  int64_t reading = kNoReading;  // when the line had arrived
};

// Whether a data line follows a line of a kind.
enum class DataLine {
  kNone,
  kAlways,
  kAfterLength,  // when the values are one number: PDU mode's "+CDS: <length>"
};

struct UnsolicitedKind {
  const char* prefix;
  DataLine dataLine;
  // Fills `notice` (kind and fields) from the values after the prefix;
  // false when they are not of this kind's form.
  bool (*parse)(const std::string& values, Notice& notice);
};

// The kind of `line` in the table, or null.
const UnsolicitedKind* unsolicited_kind(const std::string& line);

// True for a line a modem sends by itself: one of the table's, or of the
// other kinds modems send (rings, signal, cell broadcast, maker's '^'
// lines).  Inside a listing or a read, where a line of unknown form is the
// message's data, only such a line is taken out.
bool looks_unsolicited(const std::string& line);

// Makes the notice of `line` (trimmed), read at `reading`.  `dataFollows`
// tells whether the next line is its data line (Notice::data).
Notice make_notice(const std::string& line, int64_t reading, bool& dataFollows);

// The debug-log note of a notice, ending in a line end.
std::string notice_note(const Notice& notice);

// True when `text` is 1 to 9 decimal digits.
bool all_digits(const std::string& text);

}  // namespace smstest
