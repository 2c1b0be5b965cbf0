#include "tools/campaign/runs_jsonl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "common/text.h"
#include "common/utf8.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

const char* const kMeasureNames[] = {"sendTime", "deliveryTime", "replyTime", "totalTime",
                                     "accuracy"};

// The last line of `text` that parses as a JSON object; a discarded value
// when there is none.
Json last_record(const std::string& text) {
  for (size_t end = text.size(); end > 0;) {
    const size_t start = text.rfind('\n', end - 1);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    Json value = Json::parse(text.begin() + static_cast<std::ptrdiff_t>(from),
                             text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (!value.is_discarded() && value.is_object()) return value;
    if (start == std::string::npos) break;
    end = start;
  }
  return Json(Json::value_t::discarded);
}

// A measure of campaign.csv as a JSON number, null when empty or not taken.
Json measure_number(const std::string& text) {
  if (text.empty() || text == "-Infinity") return nullptr;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return nullptr;
  return value;
}

// Why a run left no record.
std::string missing_reason(const RunFacts& facts) {
  if (!facts.recordOption.empty()) {
    return utf8_or_latin1(
        format("the command file sends the record to %s (record=)", facts.recordOption.c_str()));
  }
  if (!facts.recordFound)
    return "no run record: SMS_TEST ended before its run began, or was killed";
  return "the run record is not a JSON object";
}

}  // namespace

const char kRunsJsonlName[] = "runs.jsonl";

bool record_measures(const std::string& record, std::vector<std::string>& measures) {
  const Json r = last_record(record);
  if (r.is_discarded()) return false;
  measures.clear();
  for (const char* name : kMeasureNames) {
    const auto at = r.find(name);
    if (at == r.end() || !at->is_number()) {
      measures.push_back("-Infinity");
    } else if (std::string(name) == "accuracy") {
      measures.push_back(format("%d", static_cast<int>(at->get<double>())));
    } else {
      measures.push_back(format("%f", at->get<double>()));
    }
  }
  return true;
}

void record_report(const std::string& record, std::string& confirmTime, std::string& reportStatus) {
  confirmTime.clear();
  reportStatus.clear();
  const Json r = last_record(record);
  if (r.is_discarded() || r.value("reportRequested", false) != true) return;
  const auto confirm = r.find("confirmTime");
  confirmTime = confirm != r.end() && confirm->is_number() ? format("%f", confirm->get<double>())
                                                           : std::string("-Infinity");
  const auto status = r.find("reportStatus");
  if (status != r.end() && status->is_number_integer()) {
    reportStatus = format("%d", status->get<int>());
  }
}

void record_radio(const std::string& record, CampaignLine& line) {
  const Json r = last_record(record);
  if (r.is_discarded() || !r.is_object()) return;
  const auto registered = r.find("registeredAtSend");
  if (registered != r.end() && registered->is_boolean()) {
    line.registeredAtSend = registered->get<bool>() ? "true" : "false";
  }
  const auto modems = r.find("modems");
  if (modems == r.end() || !modems->is_array()) return;
  for (const Json& modem : *modems) {
    const auto roles = modem.find("roles");
    const auto radio = modem.find("radio");
    if (roles == modem.end() || !roles->is_array() || radio == modem.end() || !radio->is_array() ||
        std::find(roles->begin(), roles->end(), "from") == roles->end()) {
      continue;
    }
    for (const Json& s : *radio) {
      if (!s.is_object() || s.value("at", "") != "send") continue;
      auto text = [&s](const char* name) {
        const auto at = s.find(name);
        return at != s.end() && at->is_string() ? at->get<std::string>() : std::string();
      };
      line.technology = text("technology");
      line.operatorId = text("operator");
      for (const char* name : {"rsrpDbm", "rssiDbm"}) {
        const auto at = s.find(name);
        if (at == s.end() || !at->is_number()) continue;
        line.signalDbm = format("%g", at->get<double>());
        break;
      }
    }
    return;
  }
}

void record_parts(const std::string& record, CampaignLine& line) {
  line.partsSent.clear();
  line.partsReceived.clear();
  const Json r = last_record(record);
  if (r.is_discarded()) return;
  auto count = [&r](const char* name) {
    const auto at = r.find(name);
    if (at == r.end() || !at->is_number_integer() || at->get<long long>() < 0) {
      return std::string();
    }
    return std::to_string(at->get<long long>());
  };
  line.partsSent = count("partsSent");
  line.partsReceived = count("partsReceived");
}

std::string runs_jsonl_line(const RunFacts& facts, const CampaignLine& line) {
  Json object = facts.recordFound ? last_record(facts.record) : Json(Json::value_t::discarded);
  const bool hasRecord = !object.is_discarded();
  if (!hasRecord) {
    object = Json::object();
    object["recordMissing"] = missing_reason(facts);
    object["testName"] = utf8_or_latin1(line.testName);
    object["mode"] = line.mode;
    const std::string* measures[] = {&line.sendTime, &line.deliveryTime, &line.replyTime,
                                     &line.totalTime, &line.accuracy};
    for (int i = 0; i < 5; ++i) object[kMeasureNames[i]] = measure_number(*measures[i]);
  }
  object["run"] = line.run;
  object["cmdFile"] = utf8_or_latin1(line.cmdFile);
  object["start"] = line.start;
  object["end"] = line.end;
  object["exitCode"] = facts.exitCode;
  if (facts.signal != 0) {
    object["signal"] = facts.signal;
  } else if (!hasRecord || !object.contains("signal")) {
    object["signal"] = nullptr;
  }
  char* end = nullptr;
  const long code = std::strtol(line.statusCode.c_str(), &end, 10);
  object["statusCode"] = line.statusCode.empty() || *end != '\0' ? Json(nullptr) : Json(code);
  object["statusText"] = utf8_or_latin1(line.statusText);
  if (!facts.gps.empty()) {
    Json gps = Json::parse(facts.gps, nullptr, false);
    if (!gps.is_discarded()) object["gps"] = gps;
  }
  return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace smstest
