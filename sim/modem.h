// One simulated modem: its command interpreter, its echo state and its
// message store.  It turns the bytes a client writes into answers (with the
// modem's faults applied) and says what the network has to do; it does no
// I/O and keeps no clock, so the network (network.h) decides when each
// piece is written.  It looks every command up in the command table
// (command_table.h), where the proprietary and the standard commands share
// one state and one store.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/command_table.h"
#include "sim/message_store.h"
#include "sim/sim_config.h"

namespace smstest {

// One piece of an answer: written `pause` seconds after the previous piece
// (or after the command, for the first one).
struct AnswerPiece {
  double pause = 0;
  std::string bytes;
};

// What one command received on the line leads to.
struct Reply {
  std::string command;                // the command as received, without its line end
  std::vector<AnswerPiece> pieces;    // echo and answer, in order; empty when nothing is written
  bool sends = false;                 // the network takes a message ...
  bool sendsAtCommand = false;        // ... when the command arrives (else after the last piece)
  std::string to;                     // its destination number
  std::string text;                   // its text
  bool textUtf8 = false;              // ... in UTF-8 (a character beyond U+00FF)
  std::vector<unsigned char> header;  // its user-data header's elements; empty for none
  int ref = 0;                        // the reference given in "+CMGS: <ref>"
  bool wantsReport = false;           // the send asked for a status report
  bool hangUp = false;                // the line is closed after the last piece
  bool entryEcho = false;             // written back during a send's text entry: no command
  bool stall = false;                 // nothing more is read from the line
};

class SimModem {
 public:
  explicit SimModem(const ModemConfig& config);

  const ModemConfig& config() const { return config_; }
  bool echo() const { return state_.echo; }
  int commands() const { return commands_; }
  // The stored messages in the order they arrived.
  const std::deque<StoredMessage>& messages() const { return state_.store.by_arrival(); }

  // Takes bytes written by the client.  A command ends at CR or LF; empty
  // lines are skipped.  Appends one Reply per complete command to `replies`;
  // an unfinished command waits for its line end in the next call.  While a
  // send's text entry is open the bytes are its text (text_entry.cpp).
  void receive(const char* data, size_t size, std::vector<Reply>& replies);

  // Forgets an unfinished command and an open text entry (the client closed
  // the port).
  void drop_input();

  // Answers one command (without its line end) as this modem does,
  // including its echo while echo is on.  `terminator` is the byte that
  // ended the command, echoed with it.
  Reply answer(const std::string& command, char terminator = '\r');

  // Stores an arriving message (the text is already altered by the network;
  // UTF-8 when `utf8`) with the elements of its user-data header (none when
  // empty) and returns its index; 0 when the store is full and nothing was
  // stored.
  int store(const std::string& from, const std::string& text, int64_t arrived,
            const std::vector<unsigned char>& header = {}, bool utf8 = false);
  bool has_room() const { return !state_.store.full(); }

  // The unsolicited line announcing the message stored at `index`.
  std::string arrival_notice(int index) const { return smstest::arrival_notice(index); }
  // Whether and how a newly stored message is announced.
  NoticeMode notice_mode() const { return smstest::notice_mode(state_); }
  // True while a send's text entry holds the line (after its prompt).
  bool in_text_entry() const { return state_.entry.open; }
  // Whether the SIM is busy for the commands that arrive next.
  void set_sim_busy(bool busy) { state_.simBusy = busy; }
  // Whether the modem is out of coverage (a hole of the route it rides
  // along): its sends are refused as with the send-refused fault, and it
  // reports registration "searching" (<stat> 2) and no signal; back in
  // coverage it reports its radio settings again.  True when the coverage
  // changed; `lines` then gets the registration lines that the client asked
  // for (mode 1 only when the reported <stat> changed), else "".
  bool set_no_coverage(bool none, std::string& lines);
  // Applies a scheduled change of the radio ("SETTING[+SETTING...]",
  // radio.h) and returns the registration lines it leads to: "" when the
  // registration, area, cell and technology stay as they were, or the client
  // asked for no such lines.
  std::string change_radio(const std::string& settings);
  // What the modem keeps between commands: its settings and its store.
  const ModemState& state() const { return state_; }

  // Takes a status report from the service centre (status_reports.cpp):
  // the bytes to write to the client ("" when the report is stored without
  // a word); `ackId` not 0 when the client must answer with AT+CNMA.  A
  // +CDS due while the one before waits for its AT+CNMA turns routing off.
  std::string take_status_report(const SimReport& report, int& ackId);
  // The time for the AT+CNMA of +CDS `ackId` is over: routing is turned off
  // (<mt> and <ds> 0) unless it came.  False when it had come.
  bool drop_routing_unless_acknowledged(int ackId);

 private:
  std::string finish(const std::string& answer) const;  // faults that reshape every answer
  // Fills `reply` with the echo and the answer as pieces, with the faults
  // that reshape them; `unsolicitedInside` lets the urc-inside fault in.
  // `isReport`: the answer is a message report, which the split-report fault
  // holds back from its "Msg Body:" line on.
  void shape_reply(Reply& reply, const std::string& echoed, std::string answerText, double late,
                   bool unsolicitedInside, bool isReport = false) const;
  // Takes bytes of an open text entry; returns how many it used.
  size_t take_entry(const char* data, size_t size, std::vector<Reply>& replies);

  ModemConfig config_;
  ModemState state_;
  int atSeen_ = 0;
  int commands_ = 0;
  std::string input_;
};

// The text a message arrives with under `alteration`.
std::string alter_text(Alteration alteration, const std::string& text);

// Splits `bytes` into pieces `pause` seconds apart: every CR LF is broken
// between its two bytes and every longer stretch in its middle, so that a
// reader sees line ends split across reads.
std::vector<AnswerPiece> split_into_chunks(const std::string& bytes, double pause);

// A moment of the civil calendar (UTC), proleptic Gregorian.
struct CalendarTime {
  int year = 1970;  // in full
  int month = 1;    // 1-12
  int day = 1;      // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

CalendarTime calendar_time(int64_t calendarSeconds);

// "yy/MM/dd,hh:mm:ss+00" for calendar seconds (UTC).
std::string time_stamp(int64_t calendarSeconds);

}  // namespace smstest
