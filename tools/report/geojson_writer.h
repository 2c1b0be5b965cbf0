// The map layer (--geojson): a GeoJSON FeatureCollection (RFC 7946) with one
// Point feature per run whose latLong reads as a position (position.h),
// written while the inputs stream, one feature per line.  Its properties:
// "input", "line", "testName", "latLong", "dataTime" or "cmdFile" and "run"
// where the input has them, "mode", "outcome" (kpi.h), the status ("status"
// of a result line; "exitCode", "statusCode", "statusText" of a campaign
// row) and the measures "sendTime", "deliveryTime", "replyTime",
// "totalTime", "accuracy" and "endToEndTime" (null when not taken).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "tools/report/position.h"
#include "tools/report/run_record.h"

namespace smstest {

// One feature as a JSON text on one line.
std::string feature_json(const RunRecord& run, const std::string& input, const Position& position);

class FeatureBuilder;

class GeoJsonWriter {
 public:
  GeoJsonWriter();
  ~GeoJsonWriter();
  GeoJsonWriter(const GeoJsonWriter&) = delete;
  GeoJsonWriter& operator=(const GeoJsonWriter&) = delete;

  // Creates `path` and writes the head of the collection.  False, with
  // "cannot write PATH: REASON" in `lastError`, when it can't.
  bool open(const std::string& path);
  void add(const RunRecord& run, const std::string& input, const Position& position);
  // Ends the collection and closes the file.  False, with the reason in
  // `lastError`, when any write failed.
  bool close();

  std::string lastError;

 private:
  std::unique_ptr<FeatureBuilder> builder_;
  std::FILE* file_ = nullptr;
  std::string path_;
  long long features_ = 0;
};

}  // namespace smstest
