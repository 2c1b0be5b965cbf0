// The SQLite back end: one file, the embedded store of a single PC.
#include <sqlite3.h>

#include "common/text.h"
#include "store/store_back_ends.h"

namespace smstest {

namespace {

// A column's value from the record of a row (its JSON text), NULL where the
// field is missing or of another type.
std::string sqlite_record_field(const StoreColumn& c) {
  const std::string path = format("'$.%s'", c.name);
  const char* types = c.type == ColumnType::kText      ? "('text')"
                      : c.type == ColumnType::kInteger ? "('integer')"
                      : c.type == ColumnType::kReal    ? "('integer', 'real')"
                                                       : "('true', 'false')";
  return format("CASE WHEN json_type(record, %s) IN %s THEN json_extract(record, %s) END",
                path.c_str(), types, path.c_str());
}

// Seconds a writer waits for another writer's lock on the file (two
// sms_store push into one file, or a campaign and a push).
constexpr int kBusyMilliseconds = 30000;

class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool prepare(sqlite3* db, const std::string& sql) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    return sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) == SQLITE_OK;
  }
  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteStore : public Store {
 public:
  // close_v2: the statements (members, finalised after this body) release
  // the connection when they go.
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  bool open(const std::string& path, std::string* error) {
    if (path.empty()) {
      *error = "no file after sqlite:";
      return false;
    }
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      *error = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
      return false;
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    if (!create_schema()) {
      *error = lastError;
      return false;
    }
    std::string sql = "INSERT INTO runs (" + insert_columns_sql() + ") VALUES (?";
    for (size_t i = 1; i < insert_column_count(); ++i) sql += ", ?";
    sql += ") ON CONFLICT (probe, campaign, run) DO NOTHING";
    if (!insert_.prepare(db_, sql) ||
        !compare_.prepare(db_,
                          "SELECT record = ?4 FROM runs WHERE probe = ?1 AND campaign = ?2 AND "
                          "run = ?3")) {
      return failed(error);
    }
    return true;
  }

  bool add(const std::vector<StoredRun>& rows, StoreAdded* result) override {
    *result = StoreAdded();
    if (!exec("BEGIN IMMEDIATE")) return false;
    StoreAdded count;
    for (const StoredRun& row : rows) {
      bool added = false;
      bool same = true;
      if (!insert(row, &added) || (!added && !same_record(row, &same))) {
        const std::string reason = lastError;
        exec("ROLLBACK");
        lastError = reason;
        return false;
      }
      if (added) ++count.added;
      if (!same) ++count.differing;
    }
    if (!exec("COMMIT")) {
      const std::string reason = lastError;
      exec("ROLLBACK");
      lastError = reason;
      return false;
    }
    *result = count;
    return true;
  }

  bool read(const StoreQuery& query,
            const std::function<bool(const StoredRecord&)>& sink) override {
    std::string sql = "SELECT probe, campaign, run, line, record FROM runs";
    if (query.hasSince) sql += " WHERE \"startSeconds\" >= ?1";
    if (query.hasUntil)
      sql += query.hasSince ? " AND \"startSeconds\" < ?2" : " WHERE \"startSeconds\" < ?2";
    sql += " ORDER BY probe, campaign, line, run";
    Statement select;
    if (!select.prepare(db_, sql)) return failed();
    if (query.hasSince) sqlite3_bind_double(select.get(), 1, query.since);
    if (query.hasUntil) sqlite3_bind_double(select.get(), 2, query.until);
    for (;;) {
      const int step = sqlite3_step(select.get());
      if (step == SQLITE_DONE) return true;
      if (step != SQLITE_ROW) return failed();
      sqlite3_stmt* s = select.get();
      StoredRecord r;
      r.probe = text_column(s, 0);
      r.campaign = text_column(s, 1);
      r.run = sqlite3_column_int64(s, 2);
      r.line = sqlite3_column_int64(s, 3);
      r.record = text_column(s, 4);
      if (!sink(r)) return true;
    }
  }

 private:
  static std::string_view text_column(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    if (text == nullptr) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<size_t>(sqlite3_column_bytes(s, column))};
  }

  bool failed(std::string* error = nullptr) {
    lastError = sqlite3_errmsg(db_);
    if (error != nullptr) *error = lastError;
    return false;
  }

  bool exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    lastError = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
  }

  // The tables on first use, in one transaction; a file whose schema is
  // newer than this code's is refused rather than written.
  bool create_schema() {
    if (!exec("BEGIN IMMEDIATE")) return false;
    static const SqlTypes kTypes = {"TEXT", "INTEGER", "REAL", "INTEGER", "TEXT"};
    const std::string sql = "CREATE TABLE IF NOT EXISTS store_version (version INTEGER NOT NULL);" +
                            create_runs_sql(kTypes) +
                            ";CREATE INDEX IF NOT EXISTS runs_start ON runs (\"startSeconds\");";
    bool ok = exec(sql.c_str());
    int version = 0;
    if (ok) {
      Statement select;
      ok = select.prepare(db_, "SELECT max(version) FROM store_version");
      if (ok && sqlite3_step(select.get()) == SQLITE_ROW &&
          sqlite3_column_type(select.get(), 0) != SQLITE_NULL) {
        version = sqlite3_column_int(select.get(), 0);
      }
      if (!ok) lastError = sqlite3_errmsg(db_);
    }
    if (ok && version > kStoreSchemaVersion) {
      lastError = format("the store's schema is version %d, newer than this program's (%d)",
                         version, kStoreSchemaVersion);
      ok = false;
    }
    // A store of an earlier version gets the columns added since.
    if (ok && version > 0 && version < kStoreSchemaVersion) {
      for (const std::string& step : upgrade_runs_sql(kTypes, version, sqlite_record_field)) {
        if (!(ok = exec(step.c_str()))) break;
      }
    }
    if (ok && version < kStoreSchemaVersion)
      ok = exec(format("INSERT INTO store_version VALUES (%d)", kStoreSchemaVersion).c_str());
    if (ok && exec("COMMIT")) return true;
    const std::string reason = lastError;
    exec("ROLLBACK");
    lastError = reason;
    return false;
  }

  // Whether the stored record of `row`'s key is `row`'s, byte for byte (the
  // record is kept as read).
  bool same_record(const StoredRun& row, bool* same) {
    sqlite3_stmt* s = compare_.get();
    sqlite3_reset(s);
    sqlite3_bind_text(s, 1, row.probe.data(), static_cast<int>(row.probe.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, row.campaign.data(), static_cast<int>(row.campaign.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(s, 3, row.run);
    sqlite3_bind_text(s, 4, row.record.data(), static_cast<int>(row.record.size()), SQLITE_STATIC);
    const bool found = sqlite3_step(s) == SQLITE_ROW;
    if (found) {
      *same = sqlite3_column_int(s, 0) != 0;
    } else {
      failed();
    }
    // A statement left on a row holds its read lock past the COMMIT.
    sqlite3_reset(s);
    return found;
  }

  bool insert(const StoredRun& row, bool* added) {
    sqlite3_stmt* s = insert_.get();
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    int n = 1;
    sqlite3_bind_text(s, n++, row.probe.data(), static_cast<int>(row.probe.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, n++, row.campaign.data(), static_cast<int>(row.campaign.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(s, n++, row.run);
    sqlite3_bind_int64(s, n++, row.line);
    for (size_t i = 0; i < kStoreColumnCount; ++i, ++n) {
      const ColumnValue& v = row.columns[i];
      if (v.null) continue;  // bound NULL by sqlite3_clear_bindings
      switch (kStoreColumns[i].type) {
        case ColumnType::kText:
          sqlite3_bind_text(s, n, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
          break;
        case ColumnType::kReal:
          sqlite3_bind_double(s, n, v.real);
          break;
        case ColumnType::kInteger:
        case ColumnType::kBoolean:
          sqlite3_bind_int64(s, n, v.integer);
          break;
      }
    }
    if (row.hasStart) sqlite3_bind_double(s, n, row.startSeconds);
    ++n;
    if (row.hasPosition) {
      sqlite3_bind_double(s, n, row.latitude);
      sqlite3_bind_double(s, n + 1, row.longitude);
    }
    n += 2;
    sqlite3_bind_text(s, n, row.record.data(), static_cast<int>(row.record.size()), SQLITE_STATIC);
    const bool done = sqlite3_step(s) == SQLITE_DONE;
    if (!done) failed();
    *added = done && sqlite3_changes(db_) > 0;
    sqlite3_reset(s);
    return done;
  }

  sqlite3* db_ = nullptr;
  Statement insert_;
  Statement compare_;
};

}  // namespace

std::unique_ptr<Store> open_sqlite_store(const std::string& path, std::string* error) {
  auto store = std::make_unique<SqliteStore>();
  if (!store->open(path, error)) return nullptr;
  return store;
}

}  // namespace smstest
