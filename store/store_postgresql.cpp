// The PostgreSQL back end (libpq): the store of a fleet of test PCs.  With
// the PostGIS extension the rows get a geometry(Point, 4326) column, a GiST
// index on it and the view runs_map, which GIS tools show as a layer.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "store/store_back_ends.h"

namespace smstest {

namespace {

// Seconds a connection attempt may take when the URL does not say
// (connect_timeout): a campaign must not hang on a store that went away.
const char kConnectTimeout[] = "10";

// Schema changes are serialised across clients by this advisory lock, so
// that two first pushes at once do not both create the tables.
const char kSchemaLock[] = "SELECT pg_advisory_xact_lock(7150301)";

class Result {
 public:
  explicit Result(PGresult* result) : result_(result) {}
  ~Result() { PQclear(result_); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  PGresult* get() const { return result_; }
  ExecStatusType status() const { return PQresultStatus(result_); }

 private:
  PGresult* result_;
};

std::string trimmed_message(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const size_t line = text.find('\n');
  if (line != std::string::npos) text.resize(line);
  return text;
}

std::string number_text(double value) { return format("%.17g", value); }

class PostgresqlStore : public Store {
 public:
  ~PostgresqlStore() override { PQfinish(connection_); }

  bool open(const std::string& url, std::string* error) {
    // connect_timeout added unless the URL has one; the URL's own
    // parameters win (expand_dbname).
    std::vector<const char*> keys = {"dbname"};
    std::vector<const char*> values = {url.c_str()};
    if (url.find("connect_timeout=") == std::string::npos) {
      keys.push_back("connect_timeout");
      values.push_back(kConnectTimeout);
    }
    keys.push_back("client_encoding");
    values.push_back("UTF8");
    keys.push_back(nullptr);
    values.push_back(nullptr);
    connection_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
      *error = connection_ != nullptr ? trimmed_message(PQerrorMessage(connection_))
                                      : std::string("out of memory");
      return false;
    }
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    if (!create_schema()) {
      *error = lastError;
      return false;
    }
    return true;
  }

  bool has_geometry() const override { return geometry_; }

  bool add(const std::vector<StoredRun>& rows, StoreAdded* result) override {
    *result = StoreAdded();
    if (!command("BEGIN")) return false;
    StoreAdded count;
    for (const StoredRun& row : rows) {
      bool added = false;
      bool same = true;
      if (!insert(row, &added) || (!added && !same_record(row, &same))) {
        const std::string reason = lastError;
        command("ROLLBACK");
        lastError = reason;
        return false;
      }
      if (added) ++count.added;
      if (!same) ++count.differing;
    }
    if (!command("COMMIT")) return false;
    *result = count;
    return true;
  }

  bool read(const StoreQuery& query,
            const std::function<bool(const StoredRecord&)>& sink) override {
    std::string sql = "SELECT probe, campaign, run, line, record::text FROM runs";
    std::vector<std::string> values;
    if (query.hasSince) {
      values.push_back(number_text(query.since));
      sql += " WHERE \"startSeconds\" >= $1::float8";
    }
    if (query.hasUntil) {
      values.push_back(number_text(query.until));
      sql += format(" %s \"startSeconds\" < $%zu::float8", query.hasSince ? "AND" : "WHERE",
                    values.size());
    }
    sql += " ORDER BY probe, campaign, line, run";
    std::vector<const char*> params;
    for (const std::string& v : values) params.push_back(v.c_str());
    if (PQsendQueryParams(connection_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                          params.data(), nullptr, nullptr, 0) == 0) {
      lastError = trimmed_message(PQerrorMessage(connection_));
      return false;
    }
    // One row at a time: the table never has to fit in this process.
    PQsetSingleRowMode(connection_);
    bool ok = true;
    bool stopped = false;
    for (;;) {
      Result result(PQgetResult(connection_));
      if (result.get() == nullptr) break;
      const ExecStatusType status = result.status();
      if (status == PGRES_SINGLE_TUPLE && !stopped) {
        PGresult* r = result.get();
        StoredRecord record;
        record.probe = std::string_view(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0));
        record.campaign = std::string_view(PQgetvalue(r, 0, 1), PQgetlength(r, 0, 1));
        record.run = std::strtoll(PQgetvalue(r, 0, 2), nullptr, 10);
        record.line = std::strtoll(PQgetvalue(r, 0, 3), nullptr, 10);
        record.record = std::string_view(PQgetvalue(r, 0, 4), PQgetlength(r, 0, 4));
        if (!sink(record)) {
          stopped = true;
          // The rest of the rows are drained below, unread.
          PGcancel* cancel = PQgetCancel(connection_);
          if (cancel != nullptr) {
            char buffer[256];
            PQcancel(cancel, buffer, sizeof buffer);
            PQfreeCancel(cancel);
          }
        }
      } else if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE && !stopped && ok) {
        lastError = trimmed_message(PQresultErrorMessage(result.get()));
        ok = false;
      }
    }
    return ok;
  }

 private:
  bool command(const std::string& sql) {
    Result result(PQexec(connection_, sql.c_str()));
    const ExecStatusType status = result.status();
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
    lastError = trimmed_message(PQresultErrorMessage(result.get()));
    if (lastError.empty()) lastError = trimmed_message(PQerrorMessage(connection_));
    return false;
  }

  // The first value of a one-row query; false on an error.
  bool value(const std::string& sql, std::string* text, bool* null) {
    Result result(PQexec(connection_, sql.c_str()));
    if (result.status() != PGRES_TUPLES_OK) {
      lastError = trimmed_message(PQresultErrorMessage(result.get()));
      return false;
    }
    *null = PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0) != 0;
    text->assign(*null ? "" : PQgetvalue(result.get(), 0, 0));
    return true;
  }

  bool create_schema() {
    std::string text;
    bool null = true;
    // A store made before is only read here, so that a user who may only
    // read it (an analyst's sms_report --from) can open it.
    if (!command("BEGIN") ||
        !value("SELECT to_regclass('runs') IS NOT NULL AND to_regclass('store_version') IS NOT "
               "NULL",
               &text, &null)) {
      return rollback();
    }
    const bool made = text == "t";
    static const SqlTypes kTypes = {"text", "bigint", "double precision", "boolean", "jsonb"};
    if (!made && (!command(kSchemaLock) ||
                  !command("CREATE TABLE IF NOT EXISTS store_version (version integer NOT NULL)") ||
                  !command(create_runs_sql(kTypes)) ||
                  !command("CREATE INDEX IF NOT EXISTS runs_start ON runs (\"startSeconds\")"))) {
      return rollback();
    }
    if (!value("SELECT max(version) FROM store_version", &text, &null)) return rollback();
    const int version = null ? 0 : std::atoi(text.c_str());
    if (version > kStoreSchemaVersion) {
      lastError = format("the store's schema is version %d, newer than this program's (%d)",
                         version, kStoreSchemaVersion);
      return rollback();
    }
    if (version == 0 &&
        !command(format("INSERT INTO store_version VALUES (%d)", kStoreSchemaVersion))) {
      return rollback();
    }
    // A store of an earlier version gets the columns added since, if this
    // user may; one who may not still reads it (through the records).
    if (version > 0 && version < kStoreSchemaVersion) {
      if (!command("SAVEPOINT upgrade")) return rollback();
      if (!upgrade(version, kTypes) && !command("ROLLBACK TO SAVEPOINT upgrade")) return rollback();
    }
    if (!made) {
      if (!create_geometry()) return rollback();
    } else {
      if (!value("SELECT 1 FROM information_schema.columns WHERE table_name = 'runs' AND "
                 "column_name = 'geom' AND table_schema = current_schema()",
                 &text, &null)) {
        return rollback();
      }
      geometry_ = !null;
      // PostGIS came after the store: the geometry now, if this user may.
      if (!geometry_) {
        if (!command("SAVEPOINT geometry")) return rollback();
        if (!create_geometry() && !command("ROLLBACK TO SAVEPOINT geometry")) return rollback();
      }
    }
    return command("COMMIT");
  }

  // The columns added after version `from`, filled from the stored records,
  // and the map view again with them.
  bool upgrade(int from, const SqlTypes& types) {
    if (!command(kSchemaLock)) return false;
    for (const std::string& step : upgrade_runs_sql(types, from, record_field)) {
      if (!command(step)) return false;
    }
    std::string text;
    bool null = true;
    if (!value("SELECT to_regclass('runs_map') IS NOT NULL", &text, &null)) return false;
    if (text == "t" && (!command("DROP VIEW runs_map") || !create_map_view())) return false;
    return command(format("INSERT INTO store_version VALUES (%d)", kStoreSchemaVersion));
  }

  // A column's value from the record of a row (jsonb), NULL where the field
  // is missing or of another type.
  static std::string record_field(const StoreColumn& c) {
    const std::string field = format("record->'%s'", c.name);
    const std::string textOf = format("(record->>'%s')", c.name);
    switch (c.type) {
      case ColumnType::kText:
        return format("CASE WHEN jsonb_typeof(%s) = 'string' THEN %s END", field.c_str(),
                      textOf.c_str());
      case ColumnType::kInteger:
        return format(
            "CASE WHEN jsonb_typeof(%s) = 'number' AND %s ~ '^-?[0-9]+$' THEN %s::bigint END",
            field.c_str(), textOf.c_str(), textOf.c_str());
      case ColumnType::kReal:
        return format("CASE WHEN jsonb_typeof(%s) = 'number' THEN %s::double precision END",
                      field.c_str(), textOf.c_str());
      case ColumnType::kBoolean:
        break;
    }
    return format("CASE WHEN jsonb_typeof(%s) = 'boolean' THEN %s::boolean END", field.c_str(),
                  textOf.c_str());
  }

  bool create_map_view() {
    std::string view = "CREATE OR REPLACE VIEW runs_map AS SELECT probe, campaign, run, line";
    for (size_t i = 0; i < kStoreColumnCount; ++i)
      view += ", " + quoted_name(kStoreColumns[i].name);
    view += ", \"startSeconds\", latitude, longitude, geom FROM runs WHERE geom IS NOT NULL";
    return command(view);
  }

  // The geometry when PostGIS is there: installed already, or available and
  // this user may create it.  A store made before PostGIS came gets the
  // column and its points now.
  bool create_geometry() {
    std::string text;
    bool null = true;
    if (!value("SELECT 1 FROM pg_extension WHERE extname = 'postgis'", &text, &null)) return false;
    if (null) {
      if (!value("SELECT 1 FROM pg_available_extensions WHERE name = 'postgis'", &text, &null))
        return false;
      if (null) return true;
      // Creating it needs rights this user may lack: tried in a savepoint.
      if (!command("SAVEPOINT postgis")) return false;
      if (!command("CREATE EXTENSION IF NOT EXISTS postgis")) {
        geometry_ = false;
        return command("ROLLBACK TO SAVEPOINT postgis");
      }
    }
    if (!value("SELECT 1 FROM information_schema.columns WHERE table_name = 'runs' AND "
               "column_name = 'geom' AND table_schema = current_schema()",
               &text, &null)) {
      return false;
    }
    if (null && (!command("ALTER TABLE runs ADD COLUMN geom geometry(Point, 4326)") ||
                 !command("UPDATE runs SET geom = ST_SetSRID(ST_MakePoint(longitude, latitude), "
                          "4326) WHERE latitude IS NOT NULL AND longitude IS NOT NULL"))) {
      return false;
    }
    if (!command("CREATE INDEX IF NOT EXISTS runs_geom ON runs USING gist (geom)") ||
        !create_map_view()) {
      return false;
    }
    geometry_ = true;
    return true;
  }

  bool rollback() {
    const std::string reason = lastError;
    command("ROLLBACK");
    lastError = reason;
    return false;
  }

  // Whether the stored record of `row`'s key equals `row`'s as JSON (jsonb
  // keeps no key order or blanks).
  bool same_record(const StoredRun& row, bool* same) {
    const std::string run = std::to_string(row.run);
    const char* params[] = {row.probe.c_str(), row.campaign.c_str(), run.c_str(),
                            row.record.c_str()};
    Result result(PQexecParams(connection_,
                               "SELECT record = $4::jsonb FROM runs WHERE probe = $1 AND "
                               "campaign = $2 AND run = $3::bigint",
                               4, nullptr, params, nullptr, nullptr, 0));
    if (result.status() != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
      lastError = trimmed_message(PQresultErrorMessage(result.get()));
      return false;
    }
    *same = PQgetvalue(result.get(), 0, 0)[0] == 't';
    return true;
  }

  bool insert(const StoredRun& row, bool* added) {
    std::vector<std::string> texts;
    std::vector<bool> nulls;
    texts.reserve(insert_column_count());
    auto put = [&](bool isNull, std::string text) {
      nulls.push_back(isNull);
      texts.push_back(std::move(text));
    };
    put(false, row.probe);
    put(false, row.campaign);
    put(false, std::to_string(row.run));
    put(false, std::to_string(row.line));
    for (size_t i = 0; i < kStoreColumnCount; ++i) {
      const ColumnValue& v = row.columns[i];
      switch (kStoreColumns[i].type) {
        case ColumnType::kText:
          put(v.null, v.text);
          break;
        case ColumnType::kReal:
          put(v.null, number_text(v.real));
          break;
        case ColumnType::kInteger:
          put(v.null, std::to_string(v.integer));
          break;
        case ColumnType::kBoolean:
          put(v.null, v.integer != 0 ? "true" : "false");
          break;
      }
    }
    put(!row.hasStart, number_text(row.startSeconds));
    put(!row.hasPosition, number_text(row.latitude));
    put(!row.hasPosition, number_text(row.longitude));
    put(false, row.record);
    std::vector<const char*> params;
    for (size_t i = 0; i < texts.size(); ++i)
      params.push_back(nulls[i] ? nullptr : texts[i].c_str());
    if (insertSql_.empty()) {
      std::string columns = insert_columns_sql();
      std::string values;
      for (size_t i = 1; i <= insert_column_count(); ++i)
        values += format("%s$%zu", i == 1 ? "" : ", ", i);
      if (geometry_) {
        columns += ", geom";
        // latitude and longitude are the 3rd and 2nd parameters from the end.
        const size_t n = insert_column_count();
        values += format(
            ", CASE WHEN $%zu::float8 IS NULL THEN NULL ELSE "
            "ST_SetSRID(ST_MakePoint($%zu::float8, $%zu::float8), 4326) END",
            n - 2, n - 1, n - 2);
      }
      insertSql_ = "INSERT INTO runs (" + columns + ") VALUES (" + values +
                   ") ON CONFLICT (probe, campaign, run) DO NOTHING";
    }
    Result result(PQexecParams(connection_, insertSql_.c_str(), static_cast<int>(params.size()),
                               nullptr, params.data(), nullptr, nullptr, 0));
    if (result.status() != PGRES_COMMAND_OK) {
      lastError = trimmed_message(PQresultErrorMessage(result.get()));
      return false;
    }
    *added = std::strtoll(PQcmdTuples(result.get()), nullptr, 10) > 0;
    return true;
  }

  PGconn* connection_ = nullptr;
  bool geometry_ = false;
  std::string insertSql_;
};

}  // namespace

std::unique_ptr<Store> open_postgresql_store(const std::string& url, std::string* error) {
  auto store = std::make_unique<PostgresqlStore>();
  if (!store->open(url, error)) return nullptr;
  return store;
}

}  // namespace smstest
