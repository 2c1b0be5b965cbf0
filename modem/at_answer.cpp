#include "modem/at_answer.h"

#include <cstdlib>

#include "common/clock.h"
#include "common/text.h"
#include "modem/at_errors.h"
#include "serial/com_port.h"

namespace smstest {

namespace {

// Bytes asked of one request: more than a whole answer usually is.
constexpr int kRequestBytes = 4096;
// A line this long without its line end is sorted as it stands: no line of
// an answer is (a message's text or PDU is a few hundred bytes at most), and
// a modem that never ends its line must not grow it without bound.
constexpr size_t kMaxLine = 8192;

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// A final result code (the prompt aside).  `code` gets the number of a
// +CMS/+CME ERROR, -1 for a text one.
bool parse_final(const std::string& line, FinalCode& final, int& code) {
  code = -1;
  if (line == "OK") {
    final = FinalCode::kOk;
  } else if (line == "ERROR") {
    final = FinalCode::kError;
  } else if (starts_with(line, "+CMS ERROR:") || starts_with(line, "+CME ERROR:")) {
    final = line[3] == 'S' ? FinalCode::kCmsError : FinalCode::kCmeError;
    std::string value = trim_text(line.substr(11));
    if (all_digits(value)) code = std::atoi(value.c_str());
  } else {
    return false;
  }
  return true;
}

// The echo of `echo`: the same text, maybe with the Ctrl-Z or ESC that ended
// a message's text.
bool is_echo(std::string line, const std::string& echo) {
  while (!line.empty() && (line.back() == 0x1A || line.back() == 0x1B)) line.pop_back();
  line = trim_text(line);
  return !line.empty() && line == trim_text(echo);
}

}  // namespace

// The state of the answer being read.
struct AtReader::Exchange {
  const ExpectedAnswer& expected;
  AtAnswer& answer;
  bool echoAllowed = true;  // no line of the answer's own yet
  bool expectData = false;  // the latest information line waits for its data line
  // An empty line right after an information line: the data line of an
  // empty message, or the CR LF in front of an unsolicited line.
  bool heldEmpty = false;
  int64_t heldReading = kNoReading;
  bool done = false;

  Exchange(const ExpectedAnswer& s, AtAnswer& a) : expected(s), answer(a) {}

  void take_data(const std::string& text, int64_t reading) {
    answer.data.push_back({text, reading});
    expectData = false;
    heldEmpty = false;
  }
};

AtReader::AtReader(ComPort& port) : port_(port), buffer_(kRequestBytes) {}

int64_t AtReader::reading_now() {
  int64_t reading = 0;
  return port_.clock().read_performance_counter(reading) ? reading : kNoReading;
}

int64_t AtReader::now_ms() {
  if (frequency_ <= 0 && !port_.clock().read_counter_frequency(frequency_)) frequency_ = 0;
  int64_t reading = reading_now();
  if (frequency_ <= 0 || reading == kNoReading) return port_.clock().steady_seconds() * 1000;
  // Whole seconds and the rest apart, so that a large reading can't overflow.
  return reading / frequency_ * 1000 + reading % frequency_ * 1000 / frequency_;
}

bool AtReader::read_chunk(std::string& chunk, int64_t& reading) {
  chunk.clear();
  int got = 0;
  if (!port_.read_request(buffer_.data(), static_cast<int>(buffer_.size()), got)) {
    lastError = port_.lastError;
    return false;
  }
  reading = reading_now();
  // The request returned a quiet time after its last byte: the bytes are
  // timed by their arrival.
  const int64_t lagUs = got > 0 ? port_.last_read_lag_us() : 0;
  if (lagUs > 0 && reading != kNoReading &&
      (frequency_ > 0 || port_.clock().read_counter_frequency(frequency_)) && frequency_ > 0) {
    reading -= lagUs / 1000000 * frequency_ + lagUs % 1000000 * frequency_ / 1000000;
  }
  chunk.assign(buffer_.data(), static_cast<size_t>(got));
  return true;
}

void AtReader::log_record() {
  port_log(port_, "\nRead %d bytes\n", static_cast<int>(record_.size()));
  port_.port_log_raw(record_.data(), static_cast<int>(record_.size()));
  record_.clear();
}

void AtReader::log_chunk(const std::string& chunk, bool complete) {
  if (chunk.empty()) return;
  if (complete) {
    record_ += chunk;
    log_record();
  } else {
    port_log(port_, "\nRead Partial bytes: ");
    port_.port_log_raw(chunk.data(), static_cast<int>(chunk.size()));
    record_ += chunk;
  }
}

void AtReader::flush_notes() {
  for (const std::string& note : notes_) port_log(port_, "%s", note.c_str());
  notes_.clear();
}

void AtReader::keep(const Notice& notice) {
  notes_.push_back(notice_note(notice));
  if (notice.kind == NoticeKind::kOther) return;
  if (notices_.size() >= kMaxNotices) notices_.pop_front();
  notices_.push_back(notice);
}

void AtReader::unsolicited(const std::string& line, int64_t reading) {
  if (line.empty()) return;
  bool dataFollows = false;
  Notice notice = make_notice(line, reading, dataFollows);
  if (dataFollows) {
    awaitingData_ = notice;
    dataPending_ = true;
    return;
  }
  keep(notice);
}

void AtReader::sort_line(Exchange* x, std::string line, int64_t reading) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
  const std::string text = trim_text(line);
  // The data line of an unsolicited line comes right after it, inside an
  // answer too, whatever it holds.
  if (dataPending_ && !text.empty()) {
    dataPending_ = false;
    awaitingData_.data = text;
    keep(awaitingData_);
    return;
  }
  if (x == nullptr || x->done) {
    unsolicited(text, reading);
    return;
  }
  if (x->expectData) {
    // The data line is the line right after the information line, whatever
    // it holds: "OK", "RING me back" and "+CMTI: \"SM\",2" are message texts
    // too.  Only an unsolicited line that comes after an empty line is taken
    // out: that empty line was its CR LF, not an empty text.
    if (text.empty() && !x->heldEmpty) {
      x->heldEmpty = true;
      x->heldReading = reading;
      return;
    }
    if (x->heldEmpty && !text.empty() && looks_unsolicited(text)) {
      x->heldEmpty = false;
      unsolicited(text, reading);
      return;
    }
    if (!x->heldEmpty) {
      x->take_data(line, reading);
      return;
    }
    x->take_data("", x->heldReading);
  }
  if (text.empty()) return;
  if (x->echoAllowed && !x->expected.echo.empty() && is_echo(text, x->expected.echo)) {
    x->echoAllowed = false;
    return;
  }
  FinalCode final = FinalCode::kNone;
  int code = -1;
  if (parse_final(text, final, code) || (x->expected.promptEnds && text == ">")) {
    if (text == ">") final = FinalCode::kPrompt;
    x->answer.final = final;
    x->answer.code = code;
    x->answer.finalLine = {text, reading};
    x->done = true;
    return;
  }
  if (!x->expected.info.empty() && starts_with(text, x->expected.info.c_str())) {
    x->answer.info.push_back({text, reading});
    x->echoAllowed = false;
    x->expectData = x->expected.dataLines;
    return;
  }
  if (x->expected.bareInfo && !looks_unsolicited(text)) {
    x->answer.info.push_back({text, reading});
    x->echoAllowed = false;
    return;
  }
  unsolicited(text, reading);
}

// The prompt stands at the end of what came, with no line end after it:
// "\r\n> ", a bare ">", or right behind an echo's CR.
bool AtReader::prompt_in_pending(Exchange& x, int64_t reading) {
  if (!x.expected.promptEnds || x.done || x.expectData || pending_.empty()) return false;
  size_t cr = pending_.rfind('\r');
  std::string tail = pending_.substr(cr == std::string::npos ? 0 : cr + 1);
  if (trim_text(tail) != ">") return false;
  if (cr != std::string::npos) {
    std::string head = pending_.substr(0, cr);
    pending_.erase(0, cr + 1);
    sort_line(&x, head, reading);
    if (x.done) return false;
  }
  x.answer.final = FinalCode::kPrompt;
  x.answer.finalLine = {">", reading};
  x.done = true;
  pending_.clear();
  return true;
}

size_t AtReader::feed(Exchange* x, const std::string& bytes, int64_t reading) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool lineEnd = bytes[i] == '\n';
    if (!lineEnd) pending_.push_back(bytes[i]);
    if (!lineEnd && pending_.size() < kMaxLine) continue;
    std::string line;
    line.swap(pending_);
    sort_line(x, line, reading);
    if (x != nullptr && x->done) return i + 1;
  }
  if (x != nullptr) prompt_in_pending(*x, reading);
  return bytes.size();
}

ReadOutcome AtReader::read_answer(const ExpectedAnswer& expected, int64_t deadline,
                                  AtAnswer& answer, int64_t untilMs) {
  answer = AtAnswer();
  Exchange x(expected, answer);
  answer.bytes = pending_;
  // What came before the command and waits as an unfinished line may be the
  // prompt itself.
  if (prompt_in_pending(x, reading_now())) {
    log_record();
    flush_notes();
    return ReadOutcome::kComplete;
  }
  std::string chunk;
  int64_t reading = kNoReading;
  for (;;) {
    if (!read_chunk(chunk, reading)) {
      flush_notes();
      return ReadOutcome::kReadFailed;
    }
    if (!chunk.empty()) {
      size_t used = feed(&x, chunk, reading);
      answer.bytes += chunk.substr(0, used);
      if (x.done) {
        log_chunk(chunk.substr(0, used), true);
        flush_notes();
        // What follows the answer is no part of it: its whole lines are
        // sorted now, so that a "+CMTI:" keeps the reading of its arrival.
        std::string rest = chunk.substr(used);
        feed(nullptr, rest, reading);
        log_chunk(rest, pending_.empty());
        flush_notes();
        return ReadOutcome::kComplete;
      }
      log_chunk(chunk, false);
      flush_notes();
    }
    if (port_.clock().steady_seconds() >= deadline) return ReadOutcome::kTimedOut;
    if (untilMs != INT64_MAX && now_ms() >= untilMs) return ReadOutcome::kTimedOut;
  }
}

ReadOutcome AtReader::wait(int64_t untilMs, int64_t deadline, bool stopAtMessage) {
  if (stopAtMessage && has_notice(NoticeKind::kNewMessage)) return ReadOutcome::kComplete;
  std::string chunk;
  int64_t reading = kNoReading;
  for (;;) {
    if (!read_chunk(chunk, reading)) return ReadOutcome::kReadFailed;
    if (!chunk.empty()) {
      feed(nullptr, chunk, reading);
      log_chunk(chunk, pending_.empty());
      flush_notes();
    }
    if (stopAtMessage && has_notice(NoticeKind::kNewMessage)) return ReadOutcome::kComplete;
    if (now_ms() >= untilMs || port_.clock().steady_seconds() >= deadline) {
      return ReadOutcome::kComplete;
    }
  }
}

ReadOutcome AtReader::take_arrived() {
  int got = 0;
  if (!port_.read_arrived(buffer_.data(), static_cast<int>(buffer_.size()), got)) {
    lastError = port_.lastError;
    return ReadOutcome::kReadFailed;
  }
  if (got == 0) return ReadOutcome::kComplete;
  const int64_t reading = reading_now();
  const std::string chunk(buffer_.data(), static_cast<size_t>(got));
  feed(nullptr, chunk, reading);
  log_chunk(chunk, pending_.empty());
  flush_notes();
  return ReadOutcome::kComplete;
}

ReadOutcome AtReader::settle(int quietMs, int64_t deadline) {
  std::string chunk;
  int64_t reading = kNoReading;
  int64_t quietSince = now_ms();
  for (;;) {
    if (!read_chunk(chunk, reading)) return ReadOutcome::kReadFailed;
    if (!chunk.empty()) {
      quietSince = now_ms();
      feed(nullptr, chunk, reading);
      log_chunk(chunk, pending_.empty());
      flush_notes();
    }
    if (now_ms() - quietSince >= quietMs || port_.clock().steady_seconds() >= deadline) {
      return ReadOutcome::kComplete;
    }
  }
}

bool AtReader::take_notice(NoticeKind kind, Notice& notice) {
  for (auto it = notices_.begin(); it != notices_.end(); ++it) {
    if (it->kind != kind) continue;
    notice = *it;
    notices_.erase(it);
    return true;
  }
  return false;
}

bool AtReader::take_other_notice(Notice& notice) {
  for (auto it = notices_.begin(); it != notices_.end(); ++it) {
    if (it->kind == NoticeKind::kNewMessage) continue;
    notice = *it;
    notices_.erase(it);
    return true;
  }
  return false;
}

bool AtReader::has_notice(NoticeKind kind) const {
  for (const Notice& notice : notices_) {
    if (notice.kind == kind) return true;
  }
  return false;
}

bool AtReader::noticed(int index) const {
  for (const Notice& notice : notices_) {
    if (notice.kind == NoticeKind::kNewMessage && notice.index == index) return true;
  }
  return false;
}

std::string describe_final(const AtAnswer& answer) {
  switch (answer.final) {
    case FinalCode::kNone:
      return "no final result code";
    case FinalCode::kPrompt:
      return "the prompt";
    case FinalCode::kCmsError:
      if (answer.code >= 0) {
        return format("+CMS ERROR: %d (%s)", answer.code, cms_error_meaning(answer.code));
      }
      return answer.finalLine.text;
    case FinalCode::kCmeError:
      if (answer.code >= 0) {
        return format("+CME ERROR: %d (%s)", answer.code, cme_error_meaning(answer.code));
      }
      return answer.finalLine.text;
    case FinalCode::kOk:
    case FinalCode::kError:
      break;
  }
  return answer.finalLine.text;
}

bool is_sim_busy(const AtAnswer& answer) {
  if (answer.final == FinalCode::kCmsError) {
    return answer.code == kCmsSimBusy ||
           (answer.code < 0 && answer.finalLine.text.find("SIM busy") != std::string::npos);
  }
  if (answer.final == FinalCode::kCmeError) {
    return answer.code == kCmeSimBusy ||
           (answer.code < 0 && answer.finalLine.text.find("SIM busy") != std::string::npos);
  }
  return false;
}

std::string escape_text(const std::string& bytes, size_t limit) {
  std::string out;
  size_t n = bytes.size() < limit ? bytes.size() : limit;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += format("\\x%02X", c);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  if (bytes.size() > limit) out += "...";
  return out;
}

std::vector<std::string> split_fields(const std::string& values) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;     // inside double quotes
  bool wasQuoted = false;  // the field had quotes: blanks after them don't count
  for (char c : values) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
      wasQuoted = true;
      field.clear();  // blanks before the opening quote
    } else if (c == ',') {
      fields.push_back(wasQuoted ? field : trim_text(field));
      field.clear();
      wasQuoted = false;
    } else if (!wasQuoted) {
      field.push_back(c);
    }
  }
  fields.push_back(wasQuoted ? field : trim_text(field));
  return fields;
}

}  // namespace smstest
