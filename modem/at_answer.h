// Reading the modem's answers to the standard SMS commands (3GPP TS 27.005,
// with the result codes of TS 27.007), for the standard session
// (standard_session.h).
//
// A standard answer ends at its final result code ("OK", "ERROR",
// "+CMS ERROR: <n>", "+CME ERROR: <n>") or, for AT+CMGS, at the prompt for
// the message text; not at the first chunk that ends in white space, as
// ComPort::read_com has it.  AtReader reads the port one request at a time
// (ComPort::read_request), cuts what arrives into lines wherever the chunks
// split it, and sorts each line as it completes: the echo of the command (a
// modem that ignores ATE0), the answer's information lines and the data line
// that follows each one in a listing or a read, the final result code, and
// unsolicited lines, which are taken out of the answer and made notices
// (unsolicited.h): new messages, status reports and registration changes
// are kept for the session, every line is noted in the debug log.  A read returns as soon as the
// final result code is in; every chunk gets a counter reading when it arrives, so that a line's
// reading is taken within one request of its bytes.
//
// The debug log gets every byte in the port's record formats: a chunk that
// does not complete an answer (or, between answers, a line) as "\nRead
// Partial bytes: " and its bytes; the chunk that does as "\nRead %d bytes\n"
// and every byte since the last such record.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "modem/unsolicited.h"

namespace smstest {

class ComPort;

// What the answer to one command looks like.
struct ExpectedAnswer {
  // The command as written without its CR (or a message's text): a line
  // that repeats it before the answer's own lines is its echo, and skipped.
  std::string echo;
  // The prefix of the answer's information lines ("+CMGL:"); "" when the
  // answer has none.  Any other line is unsolicited.
  std::string info;
  // Each information line is followed by one data line: the text (or PDU)
  // of a listed or read message.
  bool dataLines = false;
  // The send prompt, "> " or a bare ">", ends the answer.
  bool promptEnds = false;
  // Lines without a prefix are information lines too, unless they look
  // unsolicited: the identity commands (AT+CGMI, AT+CIMI, ...) answer a
  // bare value.
  bool bareInfo = false;
};

enum class FinalCode { kNone, kOk, kError, kCmsError, kCmeError, kPrompt };

// One line and the counter reading taken when its last byte had arrived.
struct AnswerLine {
  std::string text;
  int64_t reading = kNoReading;
};

struct AtAnswer {
  FinalCode final = FinalCode::kNone;
  // The number of a +CMS or +CME ERROR; -1 when the modem gave a text.
  int code = -1;
  // The final result code as it came, without blanks around it.
  AnswerLine finalLine;
  // Information lines, without blanks around them.
  std::vector<AnswerLine> info;
  // With ExpectedAnswer::dataLines, the data line of each information line, as
  // it came but without its line end ("" when the modem gave none).
  std::vector<AnswerLine> data;
  // Every byte read for the answer, echo and unsolicited lines included.
  std::string bytes;
};

enum class ReadOutcome {
  kComplete,   // the answer is in (read_answer); the wait ended (wait, settle)
  kTimedOut,   // the calendar clock reached the deadline first (read_answer)
  kReadFailed  // the port failed: its text is in lastError
};

class AtReader {
 public:
  // Reads `port`, which must outlive the reader, and takes readings from the
  // port's clock.
  explicit AtReader(ComPort& port);

  // Reads the answer to the command just written until its final result code
  // (or, with expected.promptEnds, the prompt) has arrived, and returns at once
  // then.  Lines after the final result code that came in the same chunk are
  // sorted at once as unsolicited; an unfinished line waits for the next
  // read.  The deadline (calendar seconds) is checked after each request, so
  // at least one request is made: kTimedOut once the calendar reaches it,
  // or the counter reaches `untilMs` (of now_ms()), with `answer.bytes`
  // holding what came.
  ReadOutcome read_answer(const ExpectedAnswer& expected, int64_t deadline, AtAnswer& answer,
                          int64_t untilMs = INT64_MAX);

  // Reads what the modem sends by itself, sorting it as unsolicited, until
  // the counter reaches `untilMs` (of now_ms()), the calendar reaches
  // `deadline`, or, with `stopAtMessage`, a new-message notice is waiting
  // (at once, when one is waiting already).  Otherwise at least one request
  // is made.
  ReadOutcome wait(int64_t untilMs, int64_t deadline, bool stopAtMessage);

  // Sorts, as wait() does, what has arrived already, without waiting: the
  // cheap look at a port that another port's wait stands for.
  ReadOutcome take_arrived();

  // Drops what is left of answers that came in pieces before this reader
  // took over the port: reads until the line has been quiet for `quietMs`,
  // or the calendar reaches `deadline`.  Notices are kept; other lines are
  // noted and dropped.
  ReadOutcome settle(int quietMs, int64_t deadline);

  // The oldest notice of `kind` not taken yet; false when there is none.
  // Notices of kind kOther are only noted, never kept; at most kMaxNotices
  // are kept, the oldest going first.
  bool take_notice(NoticeKind kind, Notice& notice);
  bool has_notice(NoticeKind kind) const;
  // The oldest notice of any kind but kNewMessage (which the receive takes).
  bool take_other_notice(Notice& notice);
  // Whether a new-message notice not taken yet names store index `index`.
  bool noticed(int index) const;

  static constexpr size_t kMaxNotices = 64;

  // The counter in milliseconds (from its own zero); falls back to calendar
  // seconds when the counter can't be read.
  int64_t now_ms();

  std::string lastError;

 private:
  struct Exchange;

  // One request; a chunk that came is in `chunk` with its reading.
  bool read_chunk(std::string& chunk, int64_t& reading);
  // Sorts `bytes` into lines for `x` (null: nothing expected, every line is
  // unsolicited).  Returns how many bytes it used: all of them, unless the
  // answer ended before their end.
  size_t feed(Exchange* x, const std::string& bytes, int64_t reading);
  void sort_line(Exchange* x, std::string line, int64_t reading);
  bool prompt_in_pending(Exchange& x, int64_t reading);
  void unsolicited(const std::string& line, int64_t reading);
  // Notes `notice` and keeps it unless it is of kind kOther.
  void keep(const Notice& notice);
  // Logs a chunk: a completed record when `complete`, else a partial one.
  void log_chunk(const std::string& chunk, bool complete);
  // Logs every byte since the last completed record as a completed one.
  void log_record();
  void flush_notes();
  int64_t reading_now();

  ComPort& port_;
  int64_t frequency_ = 0;
  std::string pending_;  // an unfinished line
  std::string record_;   // bytes since the last completed log record
  std::vector<std::string> notes_;
  std::deque<Notice> notices_;
  // The notice of an unsolicited line whose data line is still to come.
  Notice awaitingData_;
  bool dataPending_ = false;
  std::vector<char> buffer_;
};

// "OK", "ERROR", "+CMS ERROR: 330 (SMSC address unknown)", "+CME ERROR: 14
// (SIM busy)", a text error as it came ("+CMS ERROR: SIM busy"), "the
// prompt"; "no final result code" for an answer without one.
std::string describe_final(const AtAnswer& answer);

// +CMS ERROR: 314 or +CME ERROR: 14, or their texts.
bool is_sim_busy(const AtAnswer& answer);

// `bytes` for a message: CR, LF, tab, '"', '\' and other control bytes
// escaped (\r \n \t \" \\ \xHH), cut after `limit` bytes with "...".
std::string escape_text(const std::string& bytes, size_t limit = 200);

// The comma-separated fields of an information line's values ("1,\"REC
// READ\",\"+1555\",,\"24/01/01,12:00:00+00\""), commas inside double quotes
// kept, the quotes taken off, blanks around unquoted fields trimmed.
std::vector<std::string> split_fields(const std::string& values);

}  // namespace smstest
