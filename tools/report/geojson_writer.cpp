#include "tools/report/geojson_writer.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "common/text.h"
#include "tools/report/kpi.h"
#include "tools/report/report.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

// A key's string value, made UTF-8.  A key that already holds a string
// keeps its buffer, so that features reuse their memory.
void set_text(Json& object, const char* key, const std::string& bytes) {
  Json& value = object[key];
  if (!value.is_string()) value = std::string();
  std::string& text = value.get_ref<std::string&>();
  if (is_utf8(bytes)) {
    text.assign(bytes);
  } else {
    text = to_utf8(bytes);
  }
}

void set_measure(Json& object, const char* key, const Measure& m) {
  object[key] = m.taken ? Json(m.value) : Json(nullptr);
}

void set_text_or_null(Json& object, const char* key, const std::string& bytes) {
  if (bytes.empty()) {
    object[key] = nullptr;
  } else {
    set_text(object, key, bytes);
  }
}

// The sending modem's snapshot at the send (null where not known).
void set_radio(Json& p, const RunRecord& run) {
  p["registeredAtSend"] = run.hasRegisteredAtSend ? Json(run.registeredAtSend) : Json(nullptr);
  const SendRadio& r = run.sendRadio;
  set_text_or_null(p, "technology", r.technology);
  set_text_or_null(p, "operator", r.operatorCode);
  set_text_or_null(p, "lac", r.lac);
  set_text_or_null(p, "cellId", r.cellId);
  set_measure(p, "rssiDbm", r.rssiDbm);
  set_measure(p, "rscpDbm", r.rscpDbm);
  set_measure(p, "ecnoDb", r.ecnoDb);
  set_measure(p, "rsrqDb", r.rsrqDb);
  set_measure(p, "rsrpDbm", r.rsrpDbm);
  set_measure(p, "signalDbm", r.signalDbm());
}

}  // namespace

// Builds the features of a layer in one object that stays allocated from
// one feature to the next: a layer has as many features as its inputs have
// lines, and building each object anew costs more than writing it.
// NOLINTNEXTLINE(bugprone-exception-escape): only std::bad_alloc, as every container
class FeatureBuilder {
 public:
  const std::string& json(const RunRecord& run, const std::string& input,
                          const Position& position) {
    // Runs of another input kind have other properties: start afresh.
    const bool radio = !run.modems.empty() || run.hasRegisteredAtSend;
    const int shape = (run.fromCampaign ? 1 : 0) | (run.hasDataTime ? 2 : 0) |
                      (run.hasCmdFile ? 4 : 0) | (radio ? 8 : 0);
    if (shape != shape_) {
      shape_ = shape;
      feature_ =
          Json{{"type", "Feature"},
               {"geometry", Json{{"type", "Point"}, {"coordinates", Json::array({0.0, 0.0})}}},
               {"properties", Json::object()}};
    }
    Json& coordinates = feature_["geometry"]["coordinates"];
    coordinates[0] = position.longitude;
    coordinates[1] = position.latitude;
    Json& p = feature_["properties"];
    set_text(p, "input", input);
    p["line"] = run.lineNumber;
    if (run.fromCampaign) set_text(p, "run", run.run);
    set_text(p, "testName", run.testName);
    set_text(p, "latLong", run.latLong);
    if (run.hasDataTime) set_text(p, "dataTime", run.dataTime);
    if (run.hasCmdFile) set_text(p, "cmdFile", run.cmdFile);
    set_text(p, "mode", run.mode == RunMode::kReflector ? "reflector" : "round-trip");
    set_text(p, "outcome", outcome_name(classify(run)));
    if (run.fromCampaign) {
      p["exitCode"] = run.hasExitCode ? Json(run.exitCode) : Json(nullptr);
      p["statusCode"] = run.hasStatusCode ? Json(run.statusCode) : Json(nullptr);
      set_text(p, "statusText", run.statusText);
    } else {
      p["status"] = run.hasResultStatus ? Json(run.resultStatus) : Json(nullptr);
    }
    set_measure(p, "sendTime", run.sendTime);
    set_measure(p, "deliveryTime", run.deliveryTime);
    set_measure(p, "replyTime", run.replyTime);
    set_measure(p, "totalTime", run.totalTime);
    set_measure(p, "accuracy", run.accuracy);
    p["endToEndTime"] = run.sendTime.taken && run.deliveryTime.taken
                            ? Json(micro_rounded(run.sendTime.value + run.deliveryTime.value))
                            : Json(nullptr);
    if (radio) set_radio(p, run);
    text_ = feature_.dump(-1, ' ', false, Json::error_handler_t::replace);
    return text_;
  }

 private:
  int shape_ = -1;
  Json feature_;
  std::string text_;
};

std::string feature_json(const RunRecord& run, const std::string& input, const Position& position) {
  FeatureBuilder builder;
  return builder.json(run, input, position);
}

GeoJsonWriter::GeoJsonWriter() : builder_(new FeatureBuilder) {}

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
  std::fputs(features_++ == 0 ? "\n" : ",\n", file_);
  const std::string& line = builder_->json(run, input, position);
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
