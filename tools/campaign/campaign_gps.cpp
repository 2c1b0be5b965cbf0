// The campaign's use of the GPS source: checks, marks and their record.
#include "tools/campaign/campaign_gps.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "tools/campaign/os_services.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

Json optional_number(const std::optional<double>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json mark_json(const GpsMark& mark) {
  const GpsReading& r = mark.reading;
  Json object;
  object["latLong"] = mark.latLong;
  if (!r.ok) object["reason"] = r.reason;
  const bool position = r.ok && r.fix.has_position();
  object["time"] = position ? utc_time_text(r.fix.time) : "";
  object["lat"] = position ? Json(r.fix.latitude) : Json(nullptr);
  object["lon"] = position ? Json(r.fix.longitude) : Json(nullptr);
  object["mode"] = position ? fix_mode_text(r.fix.mode) : "none";
  object["horizontalError"] = position ? optional_number(r.fix.horizontalError) : Json(nullptr);
  object["speed"] = position ? optional_number(r.fix.speed) : Json(nullptr);
  object["age"] = r.ageSeconds >= 0 ? Json(std::round(r.ageSeconds * 1000) / 1000) : Json(nullptr);
  return object;
}

}  // namespace

std::string gps_reader_program_name() {
  const std::string smsTest = sms_test_program_name();
  // "SMS_TEST.exe" on Windows: the same suffix.
  return "sms_gps" + smsTest.substr(std::string("SMS_TEST").size());
}

bool check_campaign_gps(const std::string& text, const std::string& readerDir,
                        GpsSourceAddress* address, std::string* error) {
  std::string reason;
  if (!parse_gps_source(text, address, &reason)) {
    *error = "--gps: " + reason;
    return false;
  }
  if (address->kind == GpsSourceAddress::Kind::kNmea) {
    address->readerProgram = readerDir + "/" + gps_reader_program_name();
    if (!is_program(address->readerProgram)) {
      *error = "--gps " + text + ": " + gps_reader_program_name() + " not found at " +
               address->readerProgram;
      return false;
    }
  }
  return true;
}

GpsMark gps_mark(const GpsReading& reading) {
  GpsMark mark;
  mark.reading = reading;
  mark.latLong = reading.ok ? format_lat_long(reading.fix) : "-";
  return mark;
}

std::string gps_record_json(const std::string& source, const GpsMark& start, const GpsMark& end) {
  Json object;
  object["source"] = source;
  object["start"] = mark_json(start);
  object["end"] = mark_json(end);
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace smstest
