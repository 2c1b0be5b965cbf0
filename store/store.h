// The result store: run records of many campaigns and many test PCs
// ("probes") in one database that analysts and GIS tools query directly.
// One table, `runs`, keyed by (probe, campaign, run): the record's scalar
// fields as columns (stored_run.h names them) and the whole record as JSON
// beside them, so that adding a run twice adds nothing.  Open this header
// first; stored_run.h maps a record onto a row, runs_pusher.h feeds a
// campaign's runs.jsonl into a store.
//
// A store is opened by URL:
//   sqlite:PATH                  an SQLite file (created if missing)
//   postgresql://...  postgres://...   a PostgreSQL server (libpq's URL)
// Each back end is built only where its client library is (Linux builds
// with libsqlite3 / libpq); elsewhere opening says that it is not
// available.  The schema is created on first use and carries a version.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/stored_run.h"

namespace smstest {

// The version of the schema this code writes (table store_version).  A
// store of an earlier version is brought up to it when opened: the columns
// added since (StoreColumn::since) are added, filled from the records
// already stored.  Version 2 added the concatenated messages' fields.
constexpr int kStoreSchemaVersion = 2;

// Which runs a read returns: those whose start (startSeconds) lies in
// [since, until); a run without a start is left out when a bound is set.
struct StoreQuery {
  bool hasSince = false;
  double since = 0;  // UTC seconds since 1970
  bool hasUntil = false;
  double until = 0;
};

// One row as a read returns it; the views stay valid during the callback.
struct StoredRecord {
  std::string_view probe;
  std::string_view campaign;
  long long run = 0;
  long long line = 0;       // its line in the campaign's runs.jsonl
  std::string_view record;  // the run record, a JSON object
};

// What an add did.
struct StoreAdded {
  long long added = 0;  // rows the store did not have
  // Rows whose key was stored with another record: most likely a second
  // campaign directory of the same name pushed under the same probe.
  long long differing = 0;
};

class Store {
 public:
  virtual ~Store() = default;

  // Adds the rows in one transaction; a row whose key is stored already is
  // passed over (and counted in `differing` when its record is another).
  // False, with the database's reason in `lastError`, when the store can't
  // take them (then none of them is added).
  virtual bool add(const std::vector<StoredRun>& rows, StoreAdded* result) = 0;

  // Streams the rows that `query` selects, ordered by probe, campaign and
  // line, into `sink` one at a time (never the whole table in memory); a
  // sink that returns false ends the read.  False, with the reason in
  // `lastError`, when the read fails.
  virtual bool read(const StoreQuery& query,
                    const std::function<bool(const StoredRecord&)>& sink) = 0;

  // Whether the rows carry a PostGIS geometry (the runs_map view).
  virtual bool has_geometry() const { return false; }

  std::string lastError;
};

// Whether `url` names a store (begins "sqlite:", "postgresql://" or
// "postgres://").
bool is_store_url(const std::string& url);

// The URL as messages show it: a PostgreSQL password replaced by "***".
std::string display_url(const std::string& url);

// Opens (and on first use creates) the store at `url`.  nullptr, with one
// line in `error`, when the URL is none of the forms above ("URL: not a
// store URL (sqlite:PATH or postgresql://...)"), its back end is not in
// this build ("URL: the KIND store is not available in this build (built
// without LIBRARY)"), the
// database can't be reached or its schema is newer than this code's.
std::unique_ptr<Store> open_store(const std::string& url, std::string* error);

// Whether this build has the back end of `kind` ("sqlite", "postgresql").
bool store_back_end_built(const std::string& kind);

// Whether `url` is a store URL whose back end this build has; false with
// the first two reasons of open_store in `problem` otherwise.
bool store_url_usable(const std::string& url, std::string* problem);

}  // namespace smstest
