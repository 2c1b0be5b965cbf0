// gpsd and NMEA feeds.
#include "gps/gps_feed.h"

#include <chrono>

#include "common/text.h"
#include "gps/gpsd_client.h"
#include "gps/reader_line.h"
#include "gps/reader_process.h"
#include "gps/tcp_socket.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A reader's line is a few hundred bytes; a much longer one means the
// program is not a GPS reader.
constexpr size_t kMaxReaderLine = 64 * 1024;

class GpsdFeed : public GpsFeed {
 public:
  GpsdFeed(std::string host, int port, int connectTimeoutMs)
      : host_(std::move(host)),
        port_(port),
        connectTimeoutMs_(connectTimeoutMs),
        client_(make_tcp_socket()) {}

  bool open() override {
    if (client_.connect(host_, port_, connectTimeoutMs_)) return true;
    lastError = "gpsd not reachable: " + client_.lastError;
    return false;
  }

  FeedRead read(GpsFix* fix, int waitMs) override {
    switch (client_.read(fix, waitMs)) {
      case GpsdRead::kFix:
        return FeedRead::kFix;
      case GpsdRead::kNothing:
        return FeedRead::kNothing;
      case GpsdRead::kLost:
        break;
    }
    lastError = "gpsd connection lost: " + client_.lastError;
    return FeedRead::kLost;
  }

  void close() override { client_.close(); }

  std::string note() const override {
    if (!client_.has_device()) return "gpsd has no GPS device";
    if (client_.bad_lines() > 0)
      return format("%d lines from gpsd were not JSON", client_.bad_lines());
    return "";
  }

 private:
  std::string host_;
  int port_;
  int connectTimeoutMs_;
  GpsdClient client_;
};

class ReaderFeed : public GpsFeed {
 public:
  ReaderFeed(std::vector<std::string> argv, std::string name)
      : argv_(std::move(argv)), name_(std::move(name)), process_(make_reader_process()) {}

  bool open() override {
    close();
    if (process_->start(argv_)) return true;
    lastError = name_ + " not available: " + process_->lastError;
    return false;
  }

  FeedRead read(GpsFix* fix, int waitMs) override {
    SteadyClock::time_point end = SteadyClock::now() + std::chrono::milliseconds(waitMs);
    while (true) {
      if (take_line(fix)) return FeedRead::kFix;
      if (pending_.size() > kMaxReaderLine) {
        lastError = name_ + " lost: a line of more than 64 KiB from " + argv_[0];
        close();
        return FeedRead::kLost;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
      if (left.count() <= 0) return FeedRead::kNothing;
      switch (process_->receive(pending_, static_cast<int>(left.count()))) {
        case ReaderReceive::kData:
          break;
        case ReaderReceive::kTimeout:
          return FeedRead::kNothing;
        case ReaderReceive::kEnded:
          // The reader's last line says why it ended.
          while (take_line(fix)) {
          }
          lastError = error_.empty() ? name_ + " lost: " + argv_[0] + " ended" : error_;
          close();
          return FeedRead::kLost;
        case ReaderReceive::kFailed:
          lastError = name_ + " lost: " + process_->lastError;
          close();
          return FeedRead::kLost;
      }
    }
  }

  void close() override {
    process_->stop();
    pending_.clear();
    note_.clear();
    error_.clear();
  }

  std::string note() const override { return note_; }

 private:
  // Reads the complete lines of pending_ up to the first fix; true when
  // there was one.
  bool take_line(GpsFix* fix) {
    size_t at;
    while ((at = pending_.find('\n')) != std::string::npos) {
      std::string text = pending_.substr(0, at);
      pending_.erase(0, at + 1);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (trim_text(text).empty()) continue;
      ReaderLine line;
      std::string error;
      if (!parse_reader_line(text, &line, &error)) {
        note_ = format("a line from %s that is not its own: %s", argv_[0].c_str(), error.c_str());
        continue;
      }
      switch (line.kind) {
        case ReaderLine::Kind::kFix:
          *fix = line.fix;
          return true;
        case ReaderLine::Kind::kNote:
          note_ = line.text;
          break;
        case ReaderLine::Kind::kError:
          error_ = line.text;
          break;
      }
    }
    return false;
  }

  std::vector<std::string> argv_;
  std::string name_;
  std::unique_ptr<ReaderProcess> process_;
  std::string pending_;
  std::string note_;
  std::string error_;
};
}  // namespace

std::unique_ptr<GpsFeed> make_gpsd_feed(const std::string& host, int port, int connectTimeoutMs) {
  return std::make_unique<GpsdFeed>(host, port, connectTimeoutMs);
}

std::unique_ptr<GpsFeed> make_reader_feed(const std::vector<std::string>& argv,
                                          const std::string& name) {
  return std::make_unique<ReaderFeed>(argv, name);
}

}  // namespace smstest
