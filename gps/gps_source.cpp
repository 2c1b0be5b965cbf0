// The campaign's position source: the source's text, the judgement of the
// latest fix, and the reader thread with its retries.
#include "gps/gps_source.h"

#include <algorithm>
#include <cmath>

#include "common/clock.h"
#include "common/text.h"
#include "gps/gps_feed.h"

namespace smstest {

namespace {

// A whole number from `low` to `high`, digits only.
bool parse_number(const std::string& text, int low, int high, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high) return false;
  *value = number;
  return true;
}

bool parse_gpsd(const std::string& rest, GpsSourceAddress* address, std::string* error) {
  std::string host = rest;
  std::string port;
  bool hasPort = false;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string::npos || (close + 1 < rest.size() && rest[close + 1] != ':')) {
      *error = "bad gpsd address \"" + rest + "\": [IPv6]:PORT expected";
      return false;
    }
    host = rest.substr(1, close - 1);
    hasPort = close + 1 < rest.size();
    if (hasPort) port = rest.substr(close + 2);
  } else if (size_t colon = rest.find(':'); colon != std::string::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    hasPort = true;
  }
  if (host.empty()) {
    *error = "gpsd host missing in \"gpsd:" + rest + "\"";
    return false;
  }
  address->host = host;
  if (hasPort && !parse_number(port, 1, 65535, &address->port)) {
    *error = "bad gpsd port \"" + port + "\" (1 to 65535)";
    return false;
  }
  return true;
}

bool parse_nmea(const std::string& rest, GpsSourceAddress* address, std::string* error) {
  std::string port = rest;
  size_t comma = rest.rfind(',');
  if (comma != std::string::npos) {
    port = rest.substr(0, comma);
    std::string baud = rest.substr(comma + 1);
    if (!parse_number(baud, 1, 4000000, &address->baudRate)) {
      *error = "bad baud rate \"" + baud + "\"";
      return false;
    }
  }
  if (port.empty()) {
    *error = "serial port missing in \"nmea:" + rest + "\"";
    return false;
  }
  // "3" or "COM3" (any case) is a COM port number; anything else a path.
  std::string digits = port;
  if (digits.size() > 3 && (digits[0] == 'C' || digits[0] == 'c') &&
      (digits[1] == 'O' || digits[1] == 'o') && (digits[2] == 'M' || digits[2] == 'm')) {
    digits = digits.substr(3);
  }
  int number = 0;
  if (parse_number(digits, 1, 999, &number)) {
    address->comPort = number;
    address->name = format("nmea:COM%d", number);
  } else {
    address->device = port;
    address->name = "nmea:" + port;
  }
  return true;
}

}  // namespace

bool parse_gps_source(const std::string& text, GpsSourceAddress* address, std::string* error) {
  GpsSourceAddress parsed;
  bool ok = false;
  if (text == "gpsd") {
    ok = true;
  } else if (text.compare(0, 5, "gpsd:") == 0) {
    ok = parse_gpsd(text.substr(5), &parsed, error);
  } else if (text.compare(0, 5, "nmea:") == 0) {
    parsed.kind = GpsSourceAddress::Kind::kNmea;
    ok = parse_nmea(text.substr(5), &parsed, error);
  } else {
    *error = "unknown GPS source \"" + text + "\" (gpsd, gpsd:HOST:PORT or nmea:PORT[,BAUD])";
  }
  if (!ok) return false;
  if (parsed.kind == GpsSourceAddress::Kind::kGpsd) {
    bool ipv6 = parsed.host.find(':') != std::string::npos;
    parsed.name = format(ipv6 ? "gpsd:[%s]:%d" : "gpsd:%s:%d", parsed.host.c_str(), parsed.port);
  }
  *address = parsed;
  return true;
}

std::string nmea_source_text(const GpsSourceAddress& address) {
  return address.name + format(",%d", address.baudRate);
}

GpsReading judge_gps_snapshot(const GpsSnapshot& snapshot, const std::string& name, double now,
                              double maxAgeSeconds) {
  GpsReading reading;
  reading.fix = snapshot.fix;
  if (snapshot.anyFix) reading.ageSeconds = std::max(0.0, now - snapshot.arrivedAt);
  bool recent = snapshot.anyFix && reading.ageSeconds <= maxAgeSeconds;
  if (recent && snapshot.fix.has_position()) {
    reading.ok = true;
  } else if (recent) {
    reading.reason = "no fix";
  } else if (snapshot.link == GpsSnapshot::Link::kDown) {
    reading.reason = snapshot.linkProblem;
  } else if (snapshot.anyFix && snapshot.fix.has_position()) {
    reading.reason =
        "fix older than " + format("%d", static_cast<int>(std::ceil(maxAgeSeconds))) + " s";
  } else if (snapshot.link == GpsSnapshot::Link::kStarting) {
    reading.reason = "waiting for " + name;
  } else {
    reading.reason = "no data from " + name;
    if (!snapshot.note.empty()) reading.reason += ": " + snapshot.note;
  }
  return reading;
}

GpsSource::GpsSource(GpsSourceAddress address, GpsSourceTiming timing)
    : address_(std::move(address)), timing_(timing) {
  if (address_.kind == GpsSourceAddress::Kind::kGpsd) {
    feed_ = make_gpsd_feed(address_.host, address_.port, timing_.connectTimeoutMs);
  } else {
    feed_ = make_reader_feed({address_.readerProgram, "--silence-ms",
                              format("%d", timing_.silenceMs), nmea_source_text(address_)},
                             address_.name);
  }
}

GpsSource::~GpsSource() { stop(); }

void GpsSource::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable() || stopping_) return;
  thread_ = std::thread([this] { run(); });
}

void GpsSource::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

GpsReading GpsSource::current(double maxAgeSeconds) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return judge_gps_snapshot(snapshot_, address_.name, monotonic_seconds(), maxAgeSeconds);
}

std::string GpsSource::state_text(double maxAgeSeconds) const {
  GpsReading reading = current(maxAgeSeconds);
  if (!reading.ok) return "gps: " + reading.reason;
  return "gps " + format_lat_long(reading.fix) + " " + fix_mode_text(reading.fix.mode);
}

bool GpsSource::pause(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_; });
  return !stopping_;
}

void GpsSource::set_link(GpsSnapshot::Link link, const std::string& problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  snapshot_.link = link;
  snapshot_.linkProblem = problem;
  snapshot_.note.clear();
}

void GpsSource::run() {
  int retryMs = timing_.firstRetryMs;
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
    }
    if (!feed_->open()) {
      set_link(GpsSnapshot::Link::kDown, feed_->lastError);
    } else {
      set_link(GpsSnapshot::Link::kUp, "");
      while (true) {
        GpsFix fix;
        FeedRead result = feed_->read(&fix, timing_.readStepMs);
        std::lock_guard<std::mutex> lock(mutex_);
        if (result == FeedRead::kFix) {
          snapshot_.anyFix = true;
          snapshot_.fix = fix;
          snapshot_.arrivedAt = monotonic_seconds();
          retryMs = timing_.firstRetryMs;
        } else if (result == FeedRead::kLost) {
          snapshot_.link = GpsSnapshot::Link::kDown;
          snapshot_.linkProblem = feed_->lastError;
          break;
        }
        snapshot_.note = feed_->note();
        if (stopping_) break;
      }
      feed_->close();
    }
    // After a loss or a failed try, wait before the next; longer each time
    // until a fix comes.
    if (!pause(retryMs)) break;
    retryMs = std::min(retryMs * 2, timing_.maxRetryMs);
  }
  feed_->close();
}

}  // namespace smstest
