// Test support of the gps tests: a gpsd stand-in on loopback.  It listens
// on 127.0.0.1 (a port of the system's choosing) and plays one script per
// connection it accepts, in turn, on a thread of its own: send bytes, pause,
// wait for bytes from the client, close.  After the last script it stops
// listening, so that a client's next connection is refused.  POSIX only.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smstest {

class FakeGpsd {
 public:
  struct Step {
    enum Kind { kSend, kPause, kExpect, kClose } kind;
    std::string bytes;
    int milliseconds = 0;
  };
  using Script = std::vector<Step>;

  static Step send(std::string bytes) { return {Step::kSend, std::move(bytes), 0}; }
  static Step pause(int milliseconds) { return {Step::kPause, "", milliseconds}; }
  // Waits (up to 5 s) until the connection's bytes contain `bytes`.
  static Step expect(std::string bytes) { return {Step::kExpect, std::move(bytes), 0}; }
  static Step close() { return {Step::kClose, "", 0}; }

  FakeGpsd() = default;
  ~FakeGpsd();
  FakeGpsd(const FakeGpsd&) = delete;
  FakeGpsd& operator=(const FakeGpsd&) = delete;

  // Listens and starts serving `scripts`.  A script that does not end in
  // close() keeps its connection open until the fake is destroyed.  False
  // with the reason in `lastError`.
  bool start(std::vector<Script> scripts);
  int port() const { return port_; }

  // Connections accepted so far; what each sent; steps that failed.
  int accepted() const;
  std::vector<std::string> received() const;
  std::string errors() const;

  std::string lastError;

 private:
  void run(std::vector<Script> scripts);
  // Runs one script on `fd`; true when it ended in close().
  bool play(int fd, const Script& script, size_t index);

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  int accepted_ = 0;
  std::vector<std::string> received_;
  std::string errors_;
};

}  // namespace smstest
