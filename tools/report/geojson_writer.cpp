#include "tools/report/geojson_writer.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "serial/text.h"
#include "tools/report/kpi.h"
#include "tools/report/report.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

Json measure_json(const Measure& m) { return m.taken ? Json(m.value) : Json(nullptr); }

}  // namespace

std::string feature_json(const RunRecord& run, const std::string& input, const Position& position) {
  Json p = Json::object();
  p["input"] = to_utf8(input);
  p["line"] = run.lineNumber;
  if (run.fromCampaign) p["run"] = to_utf8(run.run);
  p["testName"] = to_utf8(run.testName);
  p["latLong"] = to_utf8(run.latLong);
  if (run.hasDataTime) p["dataTime"] = to_utf8(run.dataTime);
  if (run.hasCmdFile) p["cmdFile"] = to_utf8(run.cmdFile);
  p["mode"] = run.mode == RunMode::kReflector ? "reflector" : "round-trip";
  p["outcome"] = outcome_name(classify(run));
  if (run.fromCampaign) {
    p["exitCode"] = run.hasExitCode ? Json(run.exitCode) : Json(nullptr);
    p["statusCode"] = run.hasStatusCode ? Json(run.statusCode) : Json(nullptr);
    p["statusText"] = to_utf8(run.statusText);
  } else {
    p["status"] = run.hasResultStatus ? Json(run.resultStatus) : Json(nullptr);
  }
  p["sendTime"] = measure_json(run.sendTime);
  p["deliveryTime"] = measure_json(run.deliveryTime);
  p["replyTime"] = measure_json(run.replyTime);
  p["totalTime"] = measure_json(run.totalTime);
  p["accuracy"] = measure_json(run.accuracy);
  p["endToEndTime"] = run.sendTime.taken && run.deliveryTime.taken
                          ? Json(micro_rounded(run.sendTime.value + run.deliveryTime.value))
                          : Json(nullptr);
  Json feature{
      {"type", "Feature"},
      {"geometry", Json{{"type", "Point"},
                        {"coordinates", Json::array({position.longitude, position.latitude})}}},
      {"properties", std::move(p)}};
  return feature.dump(-1, ' ', false, Json::error_handler_t::replace);
}

GeoJsonWriter::~GeoJsonWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool GeoJsonWriter::open(const std::string& path) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    lastError = format("cannot write %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  std::fputs("{\"type\":\"FeatureCollection\",\"features\":[", file_);
  return true;
}

void GeoJsonWriter::add(const RunRecord& run, const std::string& input, const Position& position) {
  if (file_ == nullptr) return;
  std::string line = features_++ == 0 ? "\n" : ",\n";
  line += feature_json(run, input, position);
  std::fwrite(line.data(), 1, line.size(), file_);
}

bool GeoJsonWriter::close() {
  if (file_ == nullptr) return false;
  std::fputs(features_ == 0 ? "]}\n" : "\n]}\n", file_);
  bool ok = !std::ferror(file_);
  int error = errno;
  if (std::fclose(file_) != 0) {
    ok = false;
    error = errno;
  }
  file_ = nullptr;
  if (!ok) lastError = format("cannot write %s: %s", path_.c_str(), std::strerror(error));
  return ok;
}

}  // namespace smstest
