// The back ends behind open_store (store.h), each in a file of its own that
// the build adds only where its client library is found.  Shared by the
// back ends: the SQL of the runs table from the column table.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/store.h"

namespace smstest {

// `path` is the file after "sqlite:".
std::unique_ptr<Store> open_sqlite_store(const std::string& path, std::string* error);
// `url` is the whole postgresql:// URL, handed to libpq.
std::unique_ptr<Store> open_postgresql_store(const std::string& url, std::string* error);

// `name` in double quotes: the columns keep their camelCase names ("end" is
// a keyword).
std::string quoted_name(const char* name);

// The SQL type of a column per back end.
struct SqlTypes {
  const char* text;
  const char* integer;
  const char* real;
  const char* boolean;
  const char* json;
};

// CREATE TABLE IF NOT EXISTS runs (...) with the key, the line, every
// column of kStoreColumns up to schema version `version`, startSeconds,
// latitude, longitude and record.
std::string create_runs_sql(const SqlTypes& types, int version = kStoreSchemaVersion);

// How a back end reads a field of the stored record in SQL: the
// expression that gives the column's value from the record of a row, NULL
// where the field is missing or of another type (as make_stored_run).
using RecordFieldSql = std::string (*)(const StoreColumn& column);

// The statements that bring a runs table of schema version `from` up to
// kStoreSchemaVersion: each column added since, filled from the records.
std::vector<std::string> upgrade_runs_sql(const SqlTypes& types, int from, RecordFieldSql fieldSql);

// "probe", "campaign", "run", "line", the columns, "startSeconds",
// "latitude", "longitude", "record": the order of the insert's parameters.
std::string insert_columns_sql();
// Number of those.
size_t insert_column_count();

}  // namespace smstest
