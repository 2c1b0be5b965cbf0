// The lines of a GPS reader program, written and read with nlohmann-json
// (whose numbers ignore the locale).
#include "gps/reader_line.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

bool digits(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  int number = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = number;
  return true;
}

// utc_time_text's two forms: "2024-05-01T12:34:56.789Z" and
// "12:34:56.789Z".
bool parse_time(std::string_view text, FixTime* time) {
  FixTime parsed;
  if (text.size() > 11 && text[10] == 'T') {
    if (!digits(text, 0, 4, &parsed.year) || text[4] != '-' || !digits(text, 5, 2, &parsed.month) ||
        text[7] != '-' || !digits(text, 8, 2, &parsed.day)) {
      return false;
    }
    parsed.hasDate = true;
    text.remove_prefix(11);
  }
  int whole = 0;
  int millis = 0;
  if (text.size() != 13 || !digits(text, 0, 2, &parsed.hour) || text[2] != ':' ||
      !digits(text, 3, 2, &parsed.minute) || text[5] != ':' || !digits(text, 6, 2, &whole) ||
      text[8] != '.' || !digits(text, 9, 3, &millis) || text[12] != 'Z') {
    return false;
  }
  parsed.second = whole + millis / 1000.0;
  parsed.hasTime = true;
  *time = parsed;
  return true;
}

std::string line_of(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<double> number(const Json& object, const char* name) {
  auto member = object.find(name);
  if (member == object.end() || !member->is_number()) return std::nullopt;
  return member->get<double>();
}

std::string text_of(const Json& object, const char* name) {
  auto member = object.find(name);
  if (member == object.end() || !member->is_string()) return "";
  return member->get<std::string>();
}

}  // namespace

std::string reader_fix_line(const GpsFix& fix) {
  Json object;
  object["class"] = "FIX";
  object["mode"] = fix_mode_text(fix.mode);
  if (fix.ggaQuality >= 0) object["quality"] = fix.ggaQuality;
  if (fix.time.hasTime) object["time"] = utc_time_text(fix.time);
  if (fix.has_position()) {
    object["lat"] = fix.latitude;
    object["lon"] = fix.longitude;
  }
  if (fix.horizontalError) object["error"] = *fix.horizontalError;
  if (fix.hdop) object["hdop"] = *fix.hdop;
  if (fix.speed) object["speed"] = *fix.speed;
  return line_of(object);
}

std::string reader_note_line(const std::string& note) {
  Json object;
  object["class"] = "NOTE";
  object["note"] = note;
  return line_of(object);
}

std::string reader_error_line(const std::string& message) {
  Json object;
  object["class"] = "ERROR";
  object["message"] = message;
  return line_of(object);
}

bool parse_reader_line(std::string_view line, ReaderLine* parsed, std::string* error) {
  Json object = Json::parse(line.begin(), line.end(), nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  const std::string kind = text_of(object, "class");
  ReaderLine result;
  if (kind == "NOTE") {
    result.kind = ReaderLine::Kind::kNote;
    result.text = text_of(object, "note");
  } else if (kind == "ERROR") {
    result.kind = ReaderLine::Kind::kError;
    result.text = text_of(object, "message");
  } else if (kind == "FIX") {
    result.kind = ReaderLine::Kind::kFix;
    GpsFix& fix = result.fix;
    const std::string mode = text_of(object, "mode");
    std::optional<double> latitude = number(object, "lat");
    std::optional<double> longitude = number(object, "lon");
    if (mode == "fix" || mode == "2D" || mode == "3D") {
      if (!latitude || !longitude || std::fabs(*latitude) > 90 || std::fabs(*longitude) > 180) {
        *error = "a fix without a position";
        return false;
      }
      fix.mode = mode == "fix" ? FixMode::kFix : mode == "2D" ? FixMode::k2D : FixMode::k3D;
      fix.latitude = *latitude;
      fix.longitude = *longitude;
    } else if (mode != "none") {
      *error = "unknown fix mode \"" + mode + "\"";
      return false;
    }
    if (std::optional<double> quality = number(object, "quality"))
      fix.ggaQuality = static_cast<int>(*quality);
    const std::string time = text_of(object, "time");
    if (!time.empty() && !parse_time(time, &fix.time)) {
      *error = "bad time \"" + time + "\"";
      return false;
    }
    fix.horizontalError = number(object, "error");
    fix.hdop = number(object, "hdop");
    fix.speed = number(object, "speed");
  } else {
    *error = "no FIX, NOTE or ERROR \"class\"";
    return false;
  }
  *parsed = result;
  return true;
}

}  // namespace smstest
