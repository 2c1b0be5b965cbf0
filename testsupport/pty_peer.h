// Test helper: a pseudo-terminal whose master side plays a scripted modem.
//
// The slave side is what the code under test opens (by its name, usually
// through a COMn link in a folder named by SMS_TEST_PORTS); the master side
// runs a script on its own thread: wait for bytes, send bytes, pause, hang up.
// Everything the master receives is recorded.  PortFolder makes the COMn
// links.  Used by the serial tests only.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smstest {

class PtyPeer {
 public:
  // Opens the pseudo-terminal with the line in raw mode, so bytes pass as
  // sent.  ok() tells whether that worked.
  PtyPeer();
  // Finishes the script and closes both sides.
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& slave_name() const { return slave_name_; }
  int master_fd() const { return master_; }
  // The slave side as opened by openpty(); kept open so that the line's
  // settings can be inspected and so that the line outlives the port.
  int slave_fd() const { return slave_; }

  // Script steps, run in order by start().
  // Waits (up to 5 s) until the bytes received since the previous `expect`
  // contain `bytes`; what comes before them is skipped.
  PtyPeer& expect(const std::string& bytes);
  PtyPeer& send(const std::string& bytes);
  PtyPeer& pause(int milliseconds);
  // Closes the master side: the slave side hangs up.
  PtyPeer& hang_up();
  // Answers "AT\r", "AT\r", "ATE0\r" with "\r\nOK\r\n" each.
  PtyPeer& answer_handshake();

  void start();
  // Waits for the script to end, then collects whatever else arrives within
  // `drain_ms`.  Returns false (and the reason in error()) when a step failed.
  bool finish(int drain_ms = 0);
  std::string error() const;

  // Everything the master side has read so far.
  std::string received() const;

 private:
  struct Step {
    enum Kind { kExpect, kSend, kPause, kHangUp } kind;
    std::string bytes;
    int milliseconds;
  };

  void run();
  bool read_some(int wait_ms);

  int master_ = -1;
  int slave_ = -1;
  std::string slave_name_;
  std::vector<Step> steps_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string received_;
  size_t matched_ = 0;  // bytes of received_ consumed by expectations
  std::string error_;
};

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
