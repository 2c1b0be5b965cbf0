// Test support: the other end of a serial line, on a pseudo-terminal.
//
// A PtyPeer holds one end of a line; the code under test is at the other.
// - create(): a new pseudo-terminal in raw mode.  The peer holds the master
//   side and plays the modem; the code under test opens slave_name(), or
//   the link that link() makes in a folder named by SMS_TEST_PORTS.
// - open(path): an existing line, such as a simulated modem's link.  The
//   peer holds it the way the tool holds a port (raw, exclusive) and plays
//   the tool.
// On its end the peer talks in one of three ways:
// - directly, on the caller's thread: write(), command(), read_answer(),
//   read_for(), read_pieces();
// - by a script run on a thread of its own: expect(), send(), pause(),
//   hang_up() steps, then start() and finish(); everything read is kept in
//   received();
// - by answering every command it reads (bytes up to a CR) with the chunks
//   of a Responder (modem_answers.h), on a thread of its own: serve().
// Used by the tests of the POSIX serial device, of the simulator and of the
// sessions over real lines.  POSIX only.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testsupport/modem_answers.h"

namespace smstest {

class PtyPeer {
 public:
  // Holds no line yet.
  PtyPeer() = default;
  // Stops a script or a responder, closes what the peer holds and removes
  // its link.
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // ---- The line ---------------------------------------------------------------
  // Opens a new pseudo-terminal, raw at 115200 baud from the start, so that
  // bytes pass as sent even before the code under test sets the line up.
  // False with the reason in `lastError`.
  bool create();
  // Opens the line `path` read-write without becoming its controlling
  // terminal, claims it exclusively (TIOCEXCL) and sets raw mode 8N1.
  // False with the reason in `lastError`.
  bool open(const std::string& path);
  // Stops a script or a responder (see finish()), then closes the peer's end
  // (and the slave side a created peer keeps), which hangs the line up for
  // the code under test; removes the link.  May be called any number of
  // times.
  void close();
  bool is_open() const { return fd_ >= 0; }

  // create() only.  The slave side's name, and the slave side as opened by
  // openpty(), kept open so that the line's settings can be inspected and so
  // that the line outlives the code under test's port.
  const std::string& slave_name() const { return slaveName_; }
  int slave_fd() const { return slave_; }
  // Publishes the slave side as `dir`/COM`portNumber` (replacing what was
  // there) until close(); returns the link's path, "" when it can't.
  std::string link(const std::string& dir, int portNumber);

  // The peer's own end: the master side of a created line, or the line
  // opened with open().
  int fd() const { return fd_; }

  // ---- Talking directly (not while a script or a responder runs) -------------
  // Writes all of `bytes` within 2 s.  False with the reason in `lastError`.
  bool write(const std::string& bytes);
  // Reads until what came ends in "OK\r\n" or "ERROR\r\n", or `seconds`
  // have passed, or the line hung up; returns what came (maybe nothing).
  std::string read_answer(double seconds = 2.0);
  // Writes `command` followed by CR and reads its answer.
  std::string command(const std::string& command, double seconds = 2.0);
  // Reads until `done` holds for what came (checked after every read), or
  // `seconds` have passed, or the line hung up; returns what came.
  std::string read_until(const std::function<bool(const std::string&)>& done, double seconds = 2.0);
  // Everything that arrives within `seconds`.
  std::string read_for(double seconds);
  // The bytes arriving within `seconds`, one entry per read, each with its
  // time in seconds since the call.  Reads as soon as anything arrives.
  std::vector<std::pair<double, std::string>> read_pieces(double seconds);
  // True once a read of an opened line found it hung up (the far end
  // closed).  A created peer's master side never hangs up: it keeps the
  // slave side open itself.
  bool hung_up() const { return hungUp_; }

  std::string lastError;

  // ---- A script ---------------------------------------------------------------
  // Steps, run in order by start().
  // Waits (up to 5 s) until the bytes received since the previous `expect`
  // contain `bytes`; what comes before them is skipped.
  PtyPeer& expect(const std::string& bytes);
  PtyPeer& send(const std::string& bytes);
  PtyPeer& pause(int milliseconds);
  // Closes the peer's end: the line hangs up for the code under test.
  PtyPeer& hang_up();
  // Answers "AT\r", "AT\r", "ATE0\r" with "\r\nOK\r\n" each.
  PtyPeer& answer_handshake();

  void start();
  // Waits for the script (or stops the responder), then collects whatever
  // else arrives within `drain_ms`.  Returns false (and the reason in
  // error()) when a step failed.
  bool finish(int drain_ms = 0);
  std::string error() const;
  // Everything the script and finish() have read so far.
  std::string received() const;

  // ---- A responder --------------------------------------------------------------
  // Answers each command read (the bytes up to and including a CR) with the
  // chunks `responder` gives for it, `chunkPauseMs` apart, until finish()
  // or close().
  void serve(Responder responder, int chunkPauseMs = 200);
  // Commands served so far, each with its final CR.
  std::vector<std::string> commands() const;

 private:
  struct Step {
    enum Kind { kExpect, kSend, kPause, kHangUp } kind;
    std::string bytes;
    int milliseconds;
  };

  // Waits up to `waitMs` for input and appends what one read gives to
  // `into`.  1 when bytes came, 0 when none did, -1 when the line is gone
  // (an opened line then counts as hung up).
  int read_some(int waitMs, std::string& into);
  // read_some() into received().  False when the line is gone.
  bool receive(int waitMs);
  // Writes all of `bytes` within `seconds`.
  bool write_all(const std::string& bytes, double seconds, std::string* error);
  void run_script();
  void run_responder(Responder responder, int chunkPauseMs);
  void stop_thread();

  int fd_ = -1;
  bool master_ = false;  // fd_ is the master side of a created line
  int slave_ = -1;
  std::string slaveName_;
  std::string link_;
  bool hungUp_ = false;

  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string received_;
  size_t matched_ = 0;  // bytes of received_ consumed by expectations
  std::string error_;
  std::vector<std::string> commands_;
};

// Whether `answer` ends in "OK\r\n" or "ERROR\r\n".
bool answer_complete(const std::string& answer);

// A temporary folder of COMn links, named by SMS_TEST_PORTS while it exists.
class PortFolder {
 public:
  PortFolder();
  // Removes the links, the files made with path() and the folder, and unsets
  // SMS_TEST_PORTS.
  ~PortFolder();
  PortFolder(const PortFolder&) = delete;
  PortFolder& operator=(const PortFolder&) = delete;

  // Links COM<portNumber> to `target`; returns the link's path.
  std::string link(int portNumber, const std::string& target);
  // A path for a file of the test in the folder (removed with it).
  std::string path(const std::string& name);
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

}  // namespace smstest
