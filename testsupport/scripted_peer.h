// Test support: the far end of a real pseudo-terminal that answers each
// command ("...\r") with scripted chunks, so that exact byte sequences reach
// the code under test through the real serial device.
//
// The peer publishes its line as DIR/COM<n>, the way the tool finds ports
// through SMS_TEST_PORTS.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smstest {

class ScriptedPeer {
 public:
  // Chunks to send for one command; each chunk is written separately, with
  // `chunkPauseMs` between them.  An empty list sends nothing (silence).
  using Handler = std::function<std::vector<std::string>(const std::string& command)>;

  // Creates the pseudo-terminal and the link `dir`/COM`portNumber`.
  ScriptedPeer(const std::string& dir, int portNumber, Handler handler, int chunkPauseMs = 200);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  bool ok() const { return master_ >= 0; }

  // Commands received so far, each with its final '\r'.
  std::vector<std::string> commands() const;

  // Closes the terminal's far end: the client sees a hang-up.
  void hang_up();

 private:
  void serve();

  Handler handler_;
  int chunkPauseMs_;
  int master_ = -1;
  int slave_ = -1;
  std::string link_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

// A handler that answers like a modem with echo off: "\r\nOK\r\n" to
// everything, except the commands in `answers` (matched by prefix), which
// get their own answer.
ScriptedPeer::Handler modem_like(std::vector<std::pair<std::string, std::string>> answers);

}  // namespace smstest
