#include "testsupport/scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace smstest {

ScriptedPeer::ScriptedPeer(const std::string& dir, int portNumber, Handler handler,
                           int chunkPauseMs)
    : handler_(std::move(handler)), chunkPauseMs_(chunkPauseMs) {
  char name[256];
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  struct termios tio;
  tcgetattr(slave_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_, TCSANOW, &tio);
  link_ = dir + "/COM" + std::to_string(portNumber);
  unlink(link_.c_str());
  if (symlink(name, link_.c_str()) != 0) {
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    return;
  }
  thread_ = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  if (!link_.empty()) unlink(link_.c_str());
}

std::vector<std::string> ScriptedPeer::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

void ScriptedPeer::hang_up() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  // Closing both of our ends leaves the client holding a hung-up line.
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void ScriptedPeer::serve() {
  std::string pending;
  while (!stop_) {
    struct pollfd p = {master_, POLLIN, 0};
    int ready = poll(&p, 1, 20);
    if (ready <= 0 || !(p.revents & POLLIN)) continue;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) {
      usleep(20000);
      continue;
    }
    pending.append(buf, static_cast<size_t>(n));
    size_t cr;
    while ((cr = pending.find('\r')) != std::string::npos) {
      std::string command = pending.substr(0, cr + 1);
      pending.erase(0, cr + 1);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(command);
      }
      std::vector<std::string> chunks = handler_(command);
      for (size_t i = 0; i < chunks.size() && !stop_; ++i) {
        if (i > 0) usleep(chunkPauseMs_ * 1000);
        const std::string& c = chunks[i];
        size_t off = 0;
        while (off < c.size()) {
          ssize_t w = write(master_, c.data() + off, c.size() - off);
          if (w < 0 && errno != EAGAIN && errno != EINTR) break;
          if (w > 0) off += static_cast<size_t>(w);
        }
      }
    }
  }
}

ScriptedPeer::Handler modem_like(std::vector<std::pair<std::string, std::string>> answers) {
  return [answers](const std::string& command) -> std::vector<std::string> {
    for (const auto& a : answers) {
      if (command.compare(0, a.first.size(), a.first) == 0) {
        if (a.second.empty()) return {};
        return {a.second};
      }
    }
    return {"\r\nOK\r\n"};
  };
}

}  // namespace smstest
