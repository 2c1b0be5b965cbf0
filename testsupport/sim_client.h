// A small client for the simulated modems, for tests here and elsewhere: it
// opens a link like a serial port (raw mode, exclusive), writes commands,
// and reads answers with a time limit.  Not part of SMS_TEST itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace smstest {

class SimClient {
 public:
  SimClient() = default;
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;
  ~SimClient() { close(); }

  // Opens `path` read-write, non-blocking, without becoming its controlling
  // terminal, claims it exclusively (TIOCEXCL) and sets raw mode 8N1.
  // False with the reason in `lastError`.
  bool open(const std::string& path);
  void close();
  bool is_open() const { return fd_ >= 0; }

  // Writes all of `bytes`.  False with the reason in `lastError`.
  bool write(const std::string& bytes);

  // Reads until what came ends in "OK\r\n" or "ERROR\r\n", or `seconds`
  // have passed, or the line hung up; returns what came (maybe nothing).
  std::string read_answer(double seconds = 2.0);

  // Writes `command` followed by CR and reads its answer.
  std::string command(const std::string& command, double seconds = 2.0);

  // Everything that arrives within `seconds`.
  std::string read_for(double seconds);

  // The bytes arriving within `seconds`, one entry per read, each with its
  // time in seconds since the call.  Reads as soon as anything arrives.
  std::vector<std::pair<double, std::string>> read_pieces(double seconds);

  // True once a read found the line hung up (the modem closed its side).
  bool hung_up() const { return hungUp_; }

  std::string lastError;

 private:
  // Waits up to `seconds` for input and appends what one read returns.
  // False when nothing came.
  bool read_once(double seconds, std::string& into);

  int fd_ = -1;
  bool hungUp_ = false;
};

// Whether `answer` ends in "OK\r\n" or "ERROR\r\n".
bool answer_complete(const std::string& answer);

}  // namespace smstest
