#include "sim/modem.h"

#include <cctype>

#include "common/text.h"
#include "sim/answer_faults.h"

namespace smstest {

namespace {

// A command line longer than this is garbage; it is answered with ERROR.
const size_t kMaxCommand = 8192;

std::string upper_case(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

SimModem::SimModem(const ModemConfig& config) : config_(config), state_(config) {}

void SimModem::receive(const char* data, size_t size, std::vector<Reply>& replies) {
  for (size_t i = 0; i < size; ++i) {
    if (state_.entry.open) {
      i += take_entry(data + i, size - i, replies) - 1;
      continue;
    }
    char c = data[i];
    if (c != '\r' && c != '\n') {
      if (input_.size() <= kMaxCommand) input_.push_back(c);
      continue;
    }
    // A CR LF pair from a terminal ends one command; the LF then finds an
    // empty line, which real modems ignore as well.
    if (input_.empty()) continue;
    std::string command;
    command.swap(input_);
    replies.push_back(answer(command, c));
  }
}

Reply SimModem::answer(const std::string& command, char terminator) {
  Reply reply;
  reply.command = command;
  ++commands_;
  const ModemFaults& f = config_.faults;
  if (f.hangupAfter > 0 && commands_ >= f.hangupAfter) reply.hangUp = true;
  if (f.stallAfter > 0 && commands_ >= f.stallAfter) reply.stall = true;
  if (f.silent) return reply;

  std::string name = upper_case(command);
  if (f.skipFirstAt && atSeen_ < 2) {
    if (name == "AT") ++atSeen_;
    if (atSeen_ < 2) return reply;  // still asleep: no echo, no answer
  }

  std::string echoed = state_.echo ? command + terminator : std::string();
  CommandAnswer answer;
  if (command.size() > kMaxCommand) {
    answer.text = "\r\nERROR\r\n";
  } else {
    answer_command(command, state_, answer);
  }
  reply.sends = answer.sends;
  reply.sendsAtCommand = answer.sendsAtCommand;
  reply.to = answer.to;
  reply.text = answer.message;
  reply.header = answer.header;
  reply.textUtf8 = answer.messageUtf8;
  reply.ref = answer.ref;
  reply.wantsReport = answer.wantsReport;
  shape_reply(reply, echoed, answer.text, answer.late, true, answer.report);
  return reply;
}

void SimModem::shape_reply(Reply& reply, const std::string& echoed, std::string answerText,
                           double late, bool unsolicitedInside, bool isReport) const {
  const ModemFaults& f = config_.faults;
  if (unsolicitedInside && !f.urcInside.empty() && !answerText.empty()) {
    answerText = with_unsolicited_line(answerText, f.urcInside);
  }

  // A report held back from its "Msg Body:" line on: a reader that takes
  // the first piece for the whole answer finds no body.
  size_t split = std::string::npos;
  if (f.splitReport > 0 && isReport) split = answerText.find("Msg Body:");
  if (split != std::string::npos && late == 0) {
    reply.pieces.push_back({0, echoed + finish(answerText.substr(0, split))});
    reply.pieces.push_back({f.splitReport, finish(answerText.substr(split))});
  } else if (!answerText.empty() && late == 0) {
    // Echo and an answer due at once go out in one write, so that a reader
    // sees them together, as from a modem that answers at once.
    reply.pieces.push_back({0, echoed + finish(answerText)});
  } else {
    if (!echoed.empty()) reply.pieces.push_back({0, echoed});
    if (!answerText.empty()) reply.pieces.push_back({late, finish(answerText)});
  }
  if (f.chunkPause > 0) {
    // Chunk the echo and the answer alike; a late answer keeps its delay.
    std::vector<AnswerPiece> chunked;
    for (const AnswerPiece& piece : reply.pieces) {
      std::vector<AnswerPiece> parts = split_into_chunks(piece.bytes, f.chunkPause);
      parts[0].pause = chunked.empty() ? piece.pause : piece.pause + f.chunkPause;
      chunked.insert(chunked.end(), parts.begin(), parts.end());
    }
    reply.pieces.swap(chunked);
  }
  if (f.byteGap > 0) reply.pieces = smstest::split_into_bytes(reply.pieces, f.byteGap);
}

size_t SimModem::take_entry(const char* data, size_t size, std::vector<Reply>& replies) {
  std::string output;
  bool ended = false;
  size_t used = take_entry_text(state_, data, size, output, ended);
  if (!output.empty()) {
    Reply echoReply;
    echoReply.entryEcho = true;
    shape_reply(echoReply, output, std::string(), 0, false);
    replies.push_back(echoReply);
  }
  if (ended) {
    // The text with its Ctrl-Z or ESC counts as a command of its own.
    Reply reply;
    CommandAnswer answer;
    finish_entry(state_, answer, reply.command);
    ++commands_;
    const ModemFaults& f = config_.faults;
    if (f.hangupAfter > 0 && commands_ >= f.hangupAfter) reply.hangUp = true;
    reply.sends = answer.sends;
    reply.sendsAtCommand = answer.sendsAtCommand;
    reply.to = answer.to;
    reply.text = answer.message;
    reply.header = answer.header;
    reply.textUtf8 = answer.messageUtf8;
    reply.ref = answer.ref;
    reply.wantsReport = answer.wantsReport;
    shape_reply(reply, std::string(), answer.text, answer.late, true);
    replies.push_back(reply);
  }
  return used;
}

bool SimModem::set_no_coverage(bool none, std::string& lines) {
  lines.clear();
  state_.faults.sendRefused = config_.faults.sendRefused || none;
  if (state_.outOfCoverage == none) return false;
  const int before = reported_radio(state_).stat;
  state_.outOfCoverage = none;
  const int after = reported_radio(state_).stat;
  if (before != after) lines = registration_notices(state_, true);
  return true;
}

std::string SimModem::change_radio(const std::string& settings) {
  const RadioSettings before = reported_radio(state_);
  apply_radio_settings(settings, state_.radio);
  const RadioSettings after = reported_radio(state_);
  // Area, cell and technology are told only while registered: a modem that
  // is searching has none to tell.
  bool moved = before.stat != after.stat ||
               (registered(after) && (before.lac != after.lac || before.cellId != after.cellId ||
                                      before.act != after.act));
  return moved ? registration_notices(state_, before.stat != after.stat) : std::string();
}

void SimModem::drop_input() {
  input_.clear();
  drop_entry(state_);
}

std::string SimModem::finish(const std::string& answer) const {
  if (!config_.faults.nulBytes) return answer;
  std::string out;
  for (size_t i = 0; i < answer.size(); ++i) {
    out.push_back(answer[i]);
    if (answer[i] == '\n' && i + 1 < answer.size()) out.push_back('\0');
  }
  return out;
}

int SimModem::store(const std::string& from, const std::string& text, int64_t arrived,
                    const std::vector<unsigned char>& header, bool utf8) {
  return state_.store.add(from, text, arrived, true, header, utf8);
}

std::string alter_text(Alteration alteration, const std::string& text) {
  switch (alteration) {
    case Alteration::none:
      return text;
    case Alteration::change: {
      if (text.empty()) return text;
      std::string out = text;
      char& middle = out[out.size() / 2];
      middle = middle == '#' ? '*' : '#';
      return out;
    }
    case Alteration::cut:
      return text.substr(0, text.size() / 2);
    case Alteration::prefix:
      return "FW: " + text;
  }
  return text;
}

std::vector<AnswerPiece> split_into_chunks(const std::string& bytes, double pause) {
  // Cut points: between CR and LF, then in the middle of every stretch of
  // four or more bytes between cuts.
  std::vector<size_t> cuts{0};
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == '\r' && bytes[i + 1] == '\n') cuts.push_back(i + 1);
  }
  cuts.push_back(bytes.size());
  std::vector<AnswerPiece> pieces;
  for (size_t k = 0; k + 1 < cuts.size(); ++k) {
    size_t begin = cuts[k], end = cuts[k + 1];
    if (begin == end) continue;
    size_t middle = end - begin >= 4 ? begin + (end - begin) / 2 : end;
    for (auto [from, to] : {std::pair<size_t, size_t>{begin, middle}, {middle, end}}) {
      if (from < to) pieces.push_back({pieces.empty() ? 0 : pause, bytes.substr(from, to - from)});
    }
  }
  if (pieces.empty()) pieces.push_back({0, bytes});
  return pieces;
}

CalendarTime calendar_time(int64_t calendarSeconds) {
  // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
  int64_t days = calendarSeconds >= 0 ? calendarSeconds / 86400 : (calendarSeconds - 86399) / 86400;
  int64_t secs = calendarSeconds - days * 86400;
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  CalendarTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  t.hour = static_cast<int>(secs / 3600);
  t.minute = static_cast<int>(secs / 60 % 60);
  t.second = static_cast<int>(secs % 60);
  return t;
}

std::string time_stamp(int64_t calendarSeconds) {
  CalendarTime t = calendar_time(calendarSeconds);
  return format("%02d/%02d/%02d,%02d:%02d:%02d+00", (t.year % 100 + 100) % 100, t.month, t.day,
                t.hour, t.minute, t.second);
}

}  // namespace smstest
