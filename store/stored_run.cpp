#include "store/stored_run.h"

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tools/report/campaign_file.h"
#include "tools/report/position.h"

namespace smstest {

const StoreColumn kStoreColumns[] = {
    // The campaign's fields (runs.jsonl).
    {"cmdFile", ColumnType::kText},
    {"start", ColumnType::kText},
    {"end", ColumnType::kText},
    {"exitCode", ColumnType::kInteger},
    {"signal", ColumnType::kInteger},
    {"statusCode", ColumnType::kInteger},
    {"statusText", ColumnType::kText},
    {"recordMissing", ColumnType::kText},
    // The run record.
    {"toolVersion", ColumnType::kText},
    {"testName", ColumnType::kText},
    {"dataTime", ColumnType::kText},
    {"latLong", ColumnType::kText},
    {"mode", ColumnType::kText},
    {"commandSet", ColumnType::kText},
    {"resultStatus", ColumnType::kInteger},
    {"failurePhase", ColumnType::kText},
    {"modemErrorType", ColumnType::kText},
    {"modemErrorCode", ColumnType::kInteger},
    {"sendTime", ColumnType::kReal},
    {"deliveryTime", ColumnType::kReal},
    {"replyTime", ColumnType::kReal},
    {"totalTime", ColumnType::kReal},
    {"accuracy", ColumnType::kReal},
    {"runStart", ColumnType::kText},
    {"sendStart", ColumnType::kText},
    {"sendConfirmed", ColumnType::kText},
    {"messageFound", ColumnType::kText},
    {"replyConfirmed", ColumnType::kText},
    {"runEnd", ColumnType::kText},
    {"fromPort", ColumnType::kInteger},
    {"toPort", ColumnType::kInteger},
    {"toNumber", ColumnType::kText},
    {"messageLength", ColumnType::kInteger},
    {"messageAlphabet", ColumnType::kText},
    {"registeredAtSend", ColumnType::kBoolean},
    {"reportRequested", ColumnType::kBoolean},
    {"reportReceived", ColumnType::kText},
    {"reportClass", ColumnType::kText},
    {"reportStatus", ColumnType::kInteger},
    {"confirmTime", ColumnType::kReal},
    {"centreDelivery", ColumnType::kReal},
    {"reportVia", ColumnType::kText},
    // Concatenated messages (schema version 2).
    {"partsSent", ColumnType::kInteger, 2},
    {"partsExpected", ColumnType::kInteger, 2},
    {"partsReceived", ColumnType::kInteger, 2},
    {"concatReference", ColumnType::kInteger, 2},
    {"concatReferenceBits", ColumnType::kInteger, 2},
    {"partSpread", ColumnType::kReal, 2},
    {"partsOutOfOrder", ColumnType::kInteger, 2},
    {"partsDuplicated", ColumnType::kInteger, 2},
};
const size_t kStoreColumnCount = sizeof(kStoreColumns) / sizeof(kStoreColumns[0]);

namespace {

using Json = nlohmann::json;

ColumnValue column_value(const Json& object, const StoreColumn& column) {
  ColumnValue v;
  const auto at = object.find(column.name);
  if (at == object.end()) return v;
  switch (column.type) {
    case ColumnType::kText:
      if (!at->is_string()) return v;
      v.text = at->get<std::string>();
      break;
    case ColumnType::kInteger:
      if (!at->is_number_integer()) return v;
      v.integer = at->get<long long>();
      break;
    case ColumnType::kReal:
      if (!at->is_number() || !std::isfinite(at->get<double>())) return v;
      v.real = at->get<double>();
      break;
    case ColumnType::kBoolean:
      if (!at->is_boolean()) return v;
      v.integer = at->get<bool>() ? 1 : 0;
      break;
  }
  v.null = false;
  return v;
}

bool text_of(const Json& object, const char* name, std::string* text) {
  const auto at = object.find(name);
  if (at == object.end() || !at->is_string()) return false;
  *text = at->get<std::string>();
  return true;
}

}  // namespace

bool make_stored_run(const std::string& probe, const std::string& campaign, long long line,
                     std::string_view record, StoredRun* row, std::string* why) {
  const Json object = Json::parse(record.begin(), record.end(), nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    *why = "not a JSON object";
    return false;
  }
  const auto run = object.find("run");
  if (run == object.end() || !run->is_number_integer() || run->get<long long>() < 1) {
    *why = "no run number";
    return false;
  }
  *row = StoredRun();
  row->probe = probe;
  row->campaign = campaign;
  row->run = run->get<long long>();
  row->line = line;
  row->columns.reserve(kStoreColumnCount);
  for (size_t i = 0; i < kStoreColumnCount; ++i)
    row->columns.push_back(column_value(object, kStoreColumns[i]));
  std::string text;
  row->hasStart = (text_of(object, "start", &text) || text_of(object, "runStart", &text)) &&
                  read_utc_time(text, &row->startSeconds);
  Position position;
  if (text_of(object, "latLong", &text) && parse_position(text, &position)) {
    row->hasPosition = true;
    row->latitude = position.latitude;
    row->longitude = position.longitude;
  }
  row->record.assign(record);
  return true;
}

std::string campaign_name_of(const std::string& dir) {
  std::filesystem::path path = std::filesystem::path(dir).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  if (path.filename().empty() || path.filename() == ".") {
    std::error_code ec;
    path = std::filesystem::absolute(path, ec).lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
  }
  return path.filename().string();
}

}  // namespace smstest
