#include "modem/unsolicited.h"

#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "modem/at_answer.h"

namespace smstest {

namespace {

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "<mem>,<index>" of +CMTI and +CDSI.
bool parse_stored(const std::string& values, Notice& notice) {
  std::vector<std::string> fields = split_fields(values);
  if (fields.size() < 2 || !all_digits(fields[1])) return false;
  notice.memory = fields[0];
  notice.index = std::atoi(fields[1].c_str());
  return true;
}

bool parse_new_stored(const std::string& values, Notice& notice) {
  notice.kind = NoticeKind::kNewMessage;
  return parse_stored(values, notice);
}

bool parse_report_stored(const std::string& values, Notice& notice) {
  notice.kind = NoticeKind::kStatusReport;
  return parse_stored(values, notice);
}

// +CMT: the message itself follows in the data line.
bool parse_new_delivered(const std::string& /*values*/, Notice& notice) {
  notice.kind = NoticeKind::kNewMessage;
  return true;
}

// +CBM: a cell broadcast, its page (text or PDU) in the data line; the
// sessions do not act on it.
bool parse_broadcast(const std::string& /*values*/, Notice& notice) {
  notice.kind = NoticeKind::kOther;
  return true;
}

// +CDS: "<length>" before a PDU line, or "<fo>,<mr>,..." in text mode.
bool parse_report(const std::string& values, Notice& notice) {
  notice.kind = NoticeKind::kStatusReport;
  std::vector<std::string> fields = split_fields(values);
  if (fields.size() == 1) return all_digits(fields[0]);
  if (fields.size() < 2 || !all_digits(fields[1])) return false;
  notice.reference = std::atoi(fields[1].c_str());
  return true;
}

// "<stat>[,...]" of an unsolicited registration line; the answer to a read
// ("<n>,<stat>[,...]") is no unsolicited line, but a modem that sends one
// by itself gives the state second.
bool parse_registration(const std::string& values, Notice& notice) {
  notice.kind = NoticeKind::kRegistration;
  std::vector<std::string> fields = split_fields(values);
  if (fields.empty() || !all_digits(fields[0])) return false;
  notice.status = std::atoi(fields[0].c_str());
  return true;
}

const UnsolicitedKind kKinds[] = {
    {"+CMTI:", DataLine::kNone, parse_new_stored},
    {"+CMT:", DataLine::kAlways, parse_new_delivered},
    {"+CBM:", DataLine::kAlways, parse_broadcast},
    {"+CDSI:", DataLine::kNone, parse_report_stored},
    {"+CDS:", DataLine::kAfterLength, parse_report},
    {"+CREG:", DataLine::kNone, parse_registration},
    {"+CGREG:", DataLine::kNone, parse_registration},
    {"+CEREG:", DataLine::kNone, parse_registration},
};

// Lines of kinds the sessions do not act on: cell broadcasts, rings, signal
// and call events, and the '^' lines with which several makers report their
// own events.
const char* const kOtherPrefixes[] = {
    "+CBMI:", "+C5GREG:", "+CIEV:", "+CRING:",    "RING",
    "+CUSD:", "+CCWA:",   "+CLIP:", "NO CARRIER", "^",
};

}  // namespace

bool all_digits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

const UnsolicitedKind* unsolicited_kind(const std::string& line) {
  for (const UnsolicitedKind& kind : kKinds) {
    if (starts_with(line, kind.prefix)) return &kind;
  }
  return nullptr;
}

bool looks_unsolicited(const std::string& line) {
  if (unsolicited_kind(line) != nullptr) return true;
  for (const char* prefix : kOtherPrefixes) {
    if (starts_with(line, prefix)) return true;
  }
  return false;
}

Notice make_notice(const std::string& line, int64_t reading, bool& dataFollows) {
  Notice notice;
  notice.line = line;
  notice.reading = reading;
  dataFollows = false;
  const UnsolicitedKind* kind = unsolicited_kind(line);
  if (kind == nullptr) return notice;
  const std::string values = trim_text(line.substr(std::char_traits<char>::length(kind->prefix)));
  if (!kind->parse(values, notice)) {
    Notice other;
    other.line = line;
    other.reading = reading;
    return other;
  }
  dataFollows = kind->dataLine == DataLine::kAlways ||
                (kind->dataLine == DataLine::kAfterLength && all_digits(values));
  return notice;
}

std::string notice_note(const Notice& notice) {
  std::string note;
  switch (notice.kind) {
    case NoticeKind::kNewMessage:
      note = "Unsolicited line, a new message: " + notice.line + "\n";
      break;
    case NoticeKind::kStatusReport:
      note = "Unsolicited line, a status report: " + notice.line + "\n";
      break;
    case NoticeKind::kRegistration:
    case NoticeKind::kOther:
      // The sessions go on as if the line had not come.
      note = "Unsolicited line ignored: " + notice.line + "\n";
      break;
  }
  if (!notice.data.empty()) note += "Its data line: " + escape_text(notice.data) + "\n";
  return note;
}

}  // namespace smstest
