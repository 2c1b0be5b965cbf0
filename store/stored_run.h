// One run as the store keeps it: the key (probe, campaign, run), the
// record's scalar fields as typed columns, the position and start derived
// from it, and the record itself.  The column table below is the one list
// both back ends build their schema and their inserts from.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace smstest {

enum class ColumnType { kText, kInteger, kReal, kBoolean };

struct StoreColumn {
  const char* name;  // the record's field, and the column's name
  ColumnType type;
  int since = 1;  // the schema version that added it
};

// The scalar fields of a run record (and of runs.jsonl's campaign fields)
// that get a column.  A field that is missing, null or of another JSON type
// than its column's is NULL there; the record column still has it.
extern const StoreColumn kStoreColumns[];
extern const size_t kStoreColumnCount;

struct ColumnValue {
  bool null = true;
  long long integer = 0;  // kInteger, kBoolean (0 or 1)
  double real = 0;        // kReal
  std::string text;       // kText
};

struct StoredRun {
  std::string probe;
  std::string campaign;
  long long run = 0;
  long long line = 0;                // its line in runs.jsonl, from 1
  std::vector<ColumnValue> columns;  // one per kStoreColumns entry
  // The run's start (the campaign's "start", else the record's
  // "runStart"), UTC seconds since 1970.
  bool hasStart = false;
  double startSeconds = 0;
  // The latLong field read as a position (the same reading as
  // sms_report's GeoJSON layer).
  bool hasPosition = false;
  double latitude = 0;
  double longitude = 0;
  std::string record;  // the JSON object, as read
};

// Fills `row` from one runs.jsonl line.  False, with the reason in `why`,
// when the line is no JSON object or has no whole, positive "run".
bool make_stored_run(const std::string& probe, const std::string& campaign, long long line,
                     std::string_view record, StoredRun* row, std::string* why);

// The campaign name the store gives a campaign directory: its last path
// component ("/data/OUT/" gives "OUT").
std::string campaign_name_of(const std::string& dir);

}  // namespace smstest
