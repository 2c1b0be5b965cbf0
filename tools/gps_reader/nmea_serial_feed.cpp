// The NMEA feed: bytes from the serial port, cut into lines, fed to the
// assembler of gps/nmea.h.
#include "tools/gps_reader/nmea_serial_feed.h"

#include <chrono>

#include "common/text.h"
#include "gps/nmea.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A receiver's line is at most 82 bytes; anything much longer without a line
// end is noise, dropped so that the buffer stays small.
constexpr size_t kMaxNmeaLine = 1024;

class NmeaFeed : public GpsFeed {
 public:
  NmeaFeed(std::string device, int baudRate, std::string name, int silenceMs)
      : device_(std::move(device)),
        baudRate_(baudRate),
        name_(std::move(name)),
        silenceMs_(silenceMs) {}

  bool open() override {
    close();
    port_ = make_serial_device();
    const char* failed = nullptr;
    if (!port_->open(device_.c_str())) {
      failed = "cannot open";
    } else if (!port_->configure(baudRate_)) {
      failed = "cannot set the line up on";
    }
    if (failed != nullptr) {
      lastError = format("%s not available: %s %s: %s", name_.c_str(), failed, device_.c_str(),
                         system_text(port_->error_code()).c_str());
      close();
      return false;
    }
    lastBytes_ = SteadyClock::now();
    return true;
  }

  FeedRead read(GpsFix* fix, int waitMs) override {
    if (!port_ || !port_->is_open()) {
      lastError = name_ + " is not open";
      return FeedRead::kLost;
    }
    SerialTimeouts timeouts;
    timeouts.readInterval = 20;  // a sentence's bytes come together
    timeouts.readTotalConstant = waitMs;
    char buffer[512];
    int got = 0;
    if (!port_->set_timeouts(timeouts) ||
        port_->read(buffer, sizeof buffer, got) != ReadRequest::kDone) {
      lastError = format("%s lost: %s", name_.c_str(), system_text(port_->error_code()).c_str());
      close();
      return FeedRead::kLost;
    }
    if (got == 0) {
      auto quiet =
          std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - lastBytes_);
      if (quiet.count() < silenceMs_) return FeedRead::kNothing;
      lastError = format("no data from %s for %d s", name_.c_str(), (silenceMs_ + 999) / 1000);
      close();
      return FeedRead::kLost;
    }
    lastBytes_ = SteadyClock::now();
    pending_.append(buffer, static_cast<size_t>(got));
    return take_lines(fix) ? FeedRead::kFix : FeedRead::kNothing;
  }

  void close() override {
    if (port_) port_->close();
    port_.reset();
    pending_.clear();
  }

  std::string note() const override {
    if (refused_ > 0) {
      return format("%d lines refused since the last GGA or RMC, last: %s", refused_,
                    lastRefusal_.c_str());
    }
    if (others_ > 0) return format("%d sentences, none of them GGA or RMC", others_);
    return "";
  }

 private:
  static std::string system_text(int code) {
    std::string text;
    if (!system_error_message(code, text)) text = format("error %d", code);
    return text;
  }

  // Feeds the complete lines of pending_ to the assembler; true when one
  // was a GGA or RMC sentence (the fix is then the assembler's latest).
  bool take_lines(GpsFix* fix) {
    bool any = false;
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (trim_text(line).empty()) continue;
      NmeaResult result = assembler_.add_line(line);
      if (result == NmeaResult::kOk) {
        any = true;
        refused_ = others_ = 0;
      } else if (result == NmeaResult::kOther) {
        ++others_;
      } else {
        ++refused_;
        lastRefusal_ = assembler_.lastError;
      }
    }
    if (pending_.size() > kMaxNmeaLine) {
      pending_.clear();
      ++refused_;
      lastRefusal_ = "a line too long for NMEA";
    }
    if (any) *fix = assembler_.fix();
    return any;
  }

  std::string device_;
  int baudRate_;
  std::string name_;
  int silenceMs_;
  std::unique_ptr<SerialDevice> port_;
  SteadyClock::time_point lastBytes_;
  std::string pending_;
  NmeaAssembler assembler_;
  int refused_ = 0;
  int others_ = 0;
  std::string lastRefusal_;
};

}  // namespace

std::string nmea_device_of(const GpsSourceAddress& address) {
  return address.comPort > 0 ? serial_device_name(address.comPort) : address.device;
}

std::unique_ptr<GpsFeed> make_nmea_feed(const std::string& device, int baudRate,
                                        const std::string& name, int silenceMs) {
  return std::make_unique<NmeaFeed>(device, baudRate, name, silenceMs);
}

}  // namespace smstest
