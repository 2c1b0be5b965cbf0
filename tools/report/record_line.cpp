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
  return true;
}

}  // namespace smstest
