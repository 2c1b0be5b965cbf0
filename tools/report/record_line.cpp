#include "tools/report/record_line.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "tools/report/campaign_file.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

Json parse_object(std::string_view line) {
  Json value = Json::parse(line.begin(), line.end(), nullptr, false);
  if (value.is_discarded() || !value.is_object()) return Json(Json::value_t::discarded);
  return value;
}

// The text field `name`; false when it is missing or no text.
bool text_field(const Json& object, const char* name, std::string* text) {
  const auto at = object.find(name);
  if (at == object.end() || !at->is_string()) return false;
  *text = at->get<std::string>();
  return true;
}

bool integer_field(const Json& object, const char* name, int* value) {
  const auto at = object.find(name);
  if (at == object.end() || !at->is_number_integer()) return false;
  *value = at->get<int>();
  return true;
}

// A measure: a finite number is taken, null or missing is not; false for
// anything else.
bool measure_field(const Json& object, const char* name, Measure* measure) {
  *measure = Measure();
  const auto at = object.find(name);
  if (at == object.end() || at->is_null()) return true;
  if (!at->is_number() || !std::isfinite(at->get<double>())) return false;
  measure->taken = true;
  measure->value = at->get<double>();
  return true;
}

// A number field that is finite, else not taken (the fields read here
// never make a line unreadable).
Measure lenient_measure(const Json& object, const char* name) {
  Measure m;
  const auto at = object.find(name);
  if (at != object.end() && at->is_number() && std::isfinite(at->get<double>())) {
    m.taken = true;
    m.value = at->get<double>();
  }
  return m;
}

bool bool_field(const Json& object, const char* name, bool* value) {
  const auto at = object.find(name);
  if (at == object.end() || !at->is_boolean()) return false;
  *value = at->get<bool>();
  return true;
}

void read_modems(const Json& r, RunRecord* run) {
  const auto modems = r.find("modems");
  if (modems == r.end() || !modems->is_array()) return;
  for (const Json& m : *modems) {
    if (!m.is_object()) continue;
    RunModem modem;
    integer_field(m, "port", &modem.port);
    const auto roles = m.find("roles");
    if (roles != m.end() && roles->is_array()) {
      for (const Json& role : *roles) modem.sends = modem.sends || role == "from";
    }
    const auto identity = m.find("identity");
    if (identity != m.end() && identity->is_object()) {
      modem.hasIdentity = true;
      text_field(*identity, "manufacturer", &modem.manufacturer);
      text_field(*identity, "model", &modem.model);
      text_field(*identity, "revision", &modem.revision);
      text_field(*identity, "imei", &modem.imei);
      text_field(*identity, "homeNetwork", &modem.homeNetwork);
    }
    const auto radio = m.find("radio");
    if (modem.sends && !run->sendRadio.known && radio != m.end() && radio->is_array()) {
      for (const Json& snapshot : *radio) {
        if (!snapshot.is_object() || snapshot.value("at", Json()) != "send") continue;
        SendRadio& s = run->sendRadio;
        s.known = true;
        text_field(snapshot, "technology", &s.technology);
        text_field(snapshot, "operator", &s.operatorCode);
        text_field(snapshot, "lac", &s.lac);
        text_field(snapshot, "cellId", &s.cellId);
        s.rssiDbm = lenient_measure(snapshot, "rssiDbm");
        s.rscpDbm = lenient_measure(snapshot, "rscpDbm");
        s.ecnoDb = lenient_measure(snapshot, "ecnoDb");
        s.rsrqDb = lenient_measure(snapshot, "rsrqDb");
        s.rsrpDbm = lenient_measure(snapshot, "rsrpDbm");
        break;
      }
    }
    run->modems.push_back(std::move(modem));
  }
}

// A count of parts: a whole number of at least 0, else not known.
bool part_count(const Json& object, const char* name, int* value) {
  int v = 0;
  if (!integer_field(object, name, &v) || v < 0) return false;
  *value = v;
  return true;
}

void read_part_fields(const Json& r, RunRecord* run) {
  run->hasPartsSent = part_count(r, "partsSent", &run->partsSent);
  run->hasPartsExpected = part_count(r, "partsExpected", &run->partsExpected);
  run->hasPartsReceived = part_count(r, "partsReceived", &run->partsReceived);
  run->hasPartsOutOfOrder = part_count(r, "partsOutOfOrder", &run->partsOutOfOrder);
  run->hasPartsDuplicated = part_count(r, "partsDuplicated", &run->partsDuplicated);
  int reference = 0;
  run->hasConcatReference = integer_field(r, "concatReference", &reference);
  run->partSpread = lenient_measure(r, "partSpread");
  if (run->partSpread.value < 0) run->partSpread = Measure();
}

// The fields of the settings, the radio and the delivery reports: each is
// taken when it reads and left out otherwise.
void read_later_fields(const Json& r, RunRecord* run) {
  run->hasSettings = text_field(r, "commandSet", &run->commandSet);
  integer_field(r, "fromPort", &run->fromPort);
  integer_field(r, "fromBaud", &run->fromBaud);
  integer_field(r, "toPort", &run->toPort);
  integer_field(r, "toBaud", &run->toBaud);
  text_field(r, "toNumber", &run->toNumber);
  const auto confirmed = r.find("sendConfirmed");
  if (confirmed != r.end()) {
    run->hasSendConfirmed = true;
    run->sendConfirmed = confirmed->is_string();
  }
  read_modems(r, run);
  run->hasRegisteredAtSend = bool_field(r, "registeredAtSend", &run->registeredAtSend);
  bool_field(r, "reportRequested", &run->reportRequested);
  text_field(r, "reportClass", &run->reportClass);
  run->hasReportStatus = integer_field(r, "reportStatus", &run->reportStatus);
  run->confirmTime = lenient_measure(r, "confirmTime");
  run->centreDelivery = lenient_measure(r, "centreDelivery");
  read_part_fields(r, run);
}

}  // namespace

bool is_record_line_start(std::string_view firstLine) {
  if (firstLine.substr(0, 3) == "\xEF\xBB\xBF") firstLine.remove_prefix(3);
  const size_t at = firstLine.find_first_not_of(" \t\r");
  return at != std::string_view::npos && firstLine[at] == '{';
}

bool record_line_has_cmd_file(std::string_view line) {
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  const Json object = parse_object(line);
  return !object.is_discarded() && object.contains("cmdFile");
}

bool parse_record_line(std::string_view line, RunRecord* run) {
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  const Json r = parse_object(line);
  if (r.is_discarded()) return false;
  std::string mode;
  if (!text_field(r, "mode", &mode)) return false;
  if (mode != "round-trip" && mode != "reflector") return false;
  *run = RunRecord();
  run->mode = mode == "reflector" ? RunMode::kReflector : RunMode::kRoundTrip;
  text_field(r, "testName", &run->testName);
  run->hasLatLong = text_field(r, "latLong", &run->latLong);
  run->hasCmdFile = text_field(r, "cmdFile", &run->cmdFile);
  run->hasDataTime = text_field(r, "dataTime", &run->dataTime);
  if (!measure_field(r, "sendTime", &run->sendTime) ||
      !measure_field(r, "deliveryTime", &run->deliveryTime) ||
      !measure_field(r, "replyTime", &run->replyTime) ||
      !measure_field(r, "totalTime", &run->totalTime) ||
      !measure_field(r, "accuracy", &run->accuracy)) {
    return false;
  }
  run->hasResultStatus = integer_field(r, "resultStatus", &run->resultStatus);
  // A record says how the run ended, as a campaign row does.
  run->fromCampaign = true;
  run->hasStatusCode = integer_field(r, "statusCode", &run->statusCode);
  text_field(r, "statusText", &run->statusText);
  run->hasExitCode = integer_field(r, "exitCode", &run->exitCode);
  std::string start;
  run->hasStart = (text_field(r, "start", &start) || text_field(r, "runStart", &start)) &&
                  read_utc_time(start, &run->startSeconds);
  const auto number = r.find("run");
  if (number != r.end() && number->is_number_integer()) {
    run->run = std::to_string(number->get<long long>());
  }
  run->hasFailurePhase = text_field(r, "failurePhase", &run->failurePhase);
  read_later_fields(r, run);
  return true;
}

}  // namespace smstest
