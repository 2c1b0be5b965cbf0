// One simulated modem: its command interpreter, its echo state and its
// message store.  It turns the bytes a client writes into answers (with the
// modem's faults applied) and says what the network has to do; it does no
// I/O and keeps no clock, so the network (network.h) decides when each
// piece is written.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

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
  std::string command;              // the command as received, without its line end
  std::vector<AnswerPiece> pieces;  // echo and answer, in order; empty when nothing is written
  bool sends = false;               // the network takes a message ...
  bool sendsAtCommand = false;      // ... when the command arrives (else after the last piece)
  std::string to;                   // its destination number
  std::string text;                 // its text
  int ref = 0;                      // the reference given in "+CMGS: <ref>"
  bool hangUp = false;              // the line is closed after the last piece
  bool stall = false;               // nothing more is read from the line
};

struct StoredMessage {
  std::string from;
  std::string text;
  int64_t arrived = 0;  // calendar seconds
};

class SimModem {
 public:
  explicit SimModem(const ModemConfig& config);

  const ModemConfig& config() const { return config_; }
  bool echo() const { return echo_; }
  int commands() const { return commands_; }
  const std::deque<StoredMessage>& messages() const { return messages_; }

  // Takes bytes written by the client.  A command ends at CR or LF; empty
  // lines are skipped.  Appends one Reply per complete command to `replies`;
  // an unfinished command waits for its line end in the next call.
  void receive(const char* data, size_t size, std::vector<Reply>& replies);

  // Forgets an unfinished command (the client closed the port).
  void drop_input() { input_.clear(); }

  // Answers one command (without its line end) as this modem does,
  // including its echo while echo is on.  `terminator` is the byte that
  // ended the command, echoed with it.
  Reply answer(const std::string& command, char terminator = '\r');

  // Stores an arriving message (the text is already altered by the network).
  void store(const std::string& from, const std::string& text, int64_t arrived);

  // The unsolicited line announcing the newest stored message.
  std::string arrival_notice() const;

 private:
  std::string report() const;
  std::string finish(const std::string& answer) const;  // faults that reshape every answer

  ModemConfig config_;
  bool echo_ = true;
  int atSeen_ = 0;
  int commands_ = 0;
  int nextRef_ = 1;
  std::string input_;
  std::deque<StoredMessage> messages_;
};

// The text a message arrives with under `alteration`.
std::string alter_text(Alteration alteration, const std::string& text);

// Splits `bytes` into pieces `pause` seconds apart: every CR LF is broken
// between its two bytes and every longer stretch in its middle, so that a
// reader sees line ends split across reads.
std::vector<AnswerPiece> split_into_chunks(const std::string& bytes, double pause);

// "yy/MM/dd,hh:mm:ss+00" for calendar seconds (UTC).
std::string time_stamp(int64_t calendarSeconds);

}  // namespace smstest
