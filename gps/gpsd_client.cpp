// gpsd's JSON lines and the watching client.
#include "gps/gpsd_client.h"

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/text.h"

namespace smstest {

const char kGpsdWatchCommand[] = "?WATCH={\"enable\":true,\"json\":true};\n";

namespace {

using Json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

// A line longer than this without its end is not gpsd talking.
constexpr size_t kMaxLine = 1 << 20;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// `count` digits of `text` from `at` as a number; false unless all are digits.
bool digits_at(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  int number = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!is_digit(text[i])) return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = number;
  return true;
}

// "2024-05-01T12:34:56.789Z" (the fraction optional), read digit by digit:
// sscanf's %lf would follow the locale's decimal point.
bool parse_iso_time(std::string_view text, FixTime* time) {
  FixTime parsed;
  int whole = 0;
  if (!digits_at(text, 0, 4, &parsed.year) || text.size() < 20 || text[4] != '-' ||
      !digits_at(text, 5, 2, &parsed.month) || text[7] != '-' ||
      !digits_at(text, 8, 2, &parsed.day) || text[10] != 'T' ||
      !digits_at(text, 11, 2, &parsed.hour) || text[13] != ':' ||
      !digits_at(text, 14, 2, &parsed.minute) || text[16] != ':' ||
      !digits_at(text, 17, 2, &whole) || text.back() != 'Z') {
    return false;
  }
  double fraction = 0;
  double scale = 1;
  std::string_view rest = text.substr(19, text.size() - 20);
  if (!rest.empty()) {
    if (rest[0] != '.') return false;
    for (char c : rest.substr(1)) {
      if (!is_digit(c)) return false;
      scale /= 10;
      fraction += (c - '0') * scale;
    }
  }
  parsed.second = whole + fraction;
  parsed.hasTime = parsed.hasDate = true;
  *time = parsed;
  return true;
}

// Seconds since 1970 to a UTC date and time (days to civil date after
// H. Hinnant's algorithm, valid for the proleptic Gregorian calendar).
FixTime time_from_epoch(double seconds) {
  double days = std::floor(seconds / 86400.0);
  double inDay = seconds - days * 86400.0;
  int64_t z = static_cast<int64_t>(days) + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  FixTime time;
  time.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  time.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
  time.hour = static_cast<int>(inDay / 3600);
  time.minute = static_cast<int>((inDay - time.hour * 3600) / 60);
  time.second = inDay - time.hour * 3600 - time.minute * 60;
  time.hasTime = time.hasDate = true;
  return time;
}

// The member `name` of `object` when it is a number.
std::optional<double> number(const Json& object, const char* name) {
  auto member = object.find(name);
  if (member == object.end() || !member->is_number()) return std::nullopt;
  return member->get<double>();
}

GpsFix read_tpv(const Json& tpv) {
  GpsFix fix;
  std::optional<double> mode = number(tpv, "mode");
  std::optional<double> latitude = number(tpv, "lat");
  std::optional<double> longitude = number(tpv, "lon");
  if (mode && *mode >= 2 && latitude && longitude && std::fabs(*latitude) <= 90 &&
      std::fabs(*longitude) <= 180) {
    fix.mode = *mode >= 3 ? FixMode::k3D : FixMode::k2D;
    fix.latitude = *latitude;
    fix.longitude = *longitude;
  }
  auto time = tpv.find("time");
  if (time != tpv.end() && time->is_string()) {
    parse_iso_time(time->get<std::string>(), &fix.time);
  } else if (time != tpv.end() && time->is_number()) {
    fix.time = time_from_epoch(time->get<double>());
  }
  std::optional<double> eph = number(tpv, "eph");
  std::optional<double> epx = number(tpv, "epx");
  std::optional<double> epy = number(tpv, "epy");
  if (eph) {
    fix.horizontalError = eph;
  } else if (epx && epy) {
    fix.horizontalError = std::hypot(*epx, *epy);
  }
  fix.speed = number(tpv, "speed");
  return fix;
}

}  // namespace

bool parse_gpsd_line(std::string_view line, GpsdMessage* message, std::string* error) {
  Json object = Json::parse(line.begin(), line.end(), nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  auto kind = object.find("class");
  if (kind == object.end() || !kind->is_string()) {
    *error = "no \"class\" member";
    return false;
  }
  GpsdMessage parsed;
  parsed.kind = kind->get<std::string>();
  if (parsed.kind == "TPV") {
    parsed.fix = read_tpv(object);
  } else if (parsed.kind == "VERSION") {
    auto release = object.find("release");
    if (release != object.end() && release->is_string())
      parsed.release = release->get<std::string>();
  } else if (parsed.kind == "DEVICES") {
    auto devices = object.find("devices");
    if (devices != object.end() && devices->is_array()) {
      parsed.devices = static_cast<int>(devices->size());
    }
  } else if (parsed.kind == "DEVICE") {
    // "activated" is a time text while the device is active, 0 once gpsd
    // has let it go.
    auto activated = object.find("activated");
    if (activated != object.end()) parsed.devices = activated->is_number() ? 0 : 1;
  } else if (parsed.kind == "ERROR") {
    auto text = object.find("message");
    if (text != object.end() && text->is_string()) parsed.message = text->get<std::string>();
  }
  *message = parsed;
  return true;
}

GpsdClient::GpsdClient(std::unique_ptr<TcpSocket> socket) : socket_(std::move(socket)) {}

bool GpsdClient::connect(const std::string& host, int port, int timeoutMs) {
  close();
  if (!socket_->connect(host, port, timeoutMs) ||
      !socket_->send_all(kGpsdWatchCommand, timeoutMs)) {
    lastError = socket_->lastError;
    socket_->close();
    return false;
  }
  return true;
}

GpsdRead GpsdClient::read(GpsFix* fix, int timeoutMs) {
  SteadyClock::time_point end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (take_lines(fix)) return GpsdRead::kFix;
    if (buffer_.size() > kMaxLine) {
      lastError = "a line of more than 1 MiB from gpsd";
      close();
      return GpsdRead::kLost;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
    if (left.count() <= 0) return GpsdRead::kNothing;
    switch (socket_->receive(buffer_, static_cast<int>(left.count()))) {
      case TcpReceive::kData:
        break;
      case TcpReceive::kTimeout:
        return GpsdRead::kNothing;
      case TcpReceive::kClosed:
        lastError = "connection closed by gpsd";
        close();
        return GpsdRead::kLost;
      case TcpReceive::kFailed:
        lastError = socket_->lastError;
        close();
        return GpsdRead::kLost;
    }
  }
}

bool GpsdClient::take_lines(GpsFix* fix) {
  size_t end;
  while ((end = buffer_.find('\n')) != std::string::npos) {
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    GpsdMessage message;
    std::string error;
    if (!parse_gpsd_line(line, &message, &error)) {
      ++badLines_;
      continue;
    }
    if (message.kind == "VERSION") release_ = message.release;
    if (message.devices >= 0) hasDevice_ = message.devices > 0;
    if (message.kind == "TPV") {
      *fix = message.fix;
      hasDevice_ = true;
      return true;
    }
  }
  return false;
}

void GpsdClient::close() {
  socket_->close();
  buffer_.clear();
}

}  // namespace smstest
