// The PostgreSQL back end against a server of the test's own (pg_server.h),
// with PostGIS where it is installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "common/files.h"
#include "common/text.h"
#include "store/runs_pusher.h"
#include "store/store.h"
#include "store/store_back_ends.h"
#include "store/store_contract.h"
#include "testsupport/pg_server.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

class PostgresqlStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!store_back_end_built("postgresql")) GTEST_SKIP() << "built without libpq";
    std::string why;
    if (!server_.create(&why)) {
      if (why.rfind("initdb failed", 0) == 0) FAIL() << why;
      GTEST_SKIP() << why;
    }
    ASSERT_TRUE(server_.start(&why)) << why;
  }

  PgServer server_;
};

TEST_F(PostgresqlStoreTest, KeepsEachRunOnceAndReadsInOrder) {
  std::string why;
  ASSERT_TRUE(server_.create_database("contract", &why)) << why;
  check_store_contract(server_.url("contract"));
  std::string out;
  ASSERT_TRUE(
      server_.psql("contract",
                   "SELECT version FROM store_version; "
                   "SELECT jsonb_typeof(record), \"sendTime\", \"exitCode\", \"statusText\" "
                   "FROM runs WHERE probe = 'pc1' AND run = 2",
                   &out))
      << out;
  // The record is jsonb, the columns typed; the text arrived as UTF-8.
  EXPECT_EQ(out, format("%d\nobject|2.5|0|SUCCESS \xC3\xA9", kStoreSchemaVersion));
}

TEST_F(PostgresqlStoreTest, RunsWithAPositionArePointsOfTheMapView) {
  if (!server_.has_postgis()) GTEST_SKIP() << "PostGIS is not installed for this server";
  std::string why;
  ASSERT_TRUE(server_.create_database("map", &why)) << why;
  std::unique_ptr<Store> store = open_store(server_.url("map"), &why);
  ASSERT_TRUE(store) << why;
  EXPECT_TRUE(store->has_geometry());
  std::vector<StoredRun> rows(3);
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 1, record_line(1, "45.5N73.6W", 1), &rows[0], &why));
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 2, record_line(2, "-", 1), &rows[1], &why));
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 3, record_line(3, "-33.925 18.42", 1), &rows[2], &why));
  StoreAdded added;
  ASSERT_TRUE(store->add(rows, &added)) << store->lastError;
  EXPECT_EQ(added.added, 3);
  std::string out;
  ASSERT_TRUE(server_.psql("map",
                           "SELECT run, ST_SRID(geom), ST_AsGeoJSON(geom) FROM runs_map "
                           "ORDER BY run",
                           &out))
      << out;
  EXPECT_EQ(out,
            "1|4326|{\"type\":\"Point\",\"coordinates\":[-73.6,45.5]}\n"
            "3|4326|{\"type\":\"Point\",\"coordinates\":[18.42,-33.925]}");
  // The index that makes the layer quick.
  ASSERT_TRUE(
      server_.psql("map", "SELECT indexdef FROM pg_indexes WHERE indexname = 'runs_geom'", &out))
      << out;
  EXPECT_NE(out.find("USING gist (geom)"), std::string::npos) << out;

  // A store made before PostGIS came (here: its geometry dropped) gets the
  // column and its points when it is next opened.
  store.reset();
  ASSERT_TRUE(server_.psql("map", "ALTER TABLE runs DROP COLUMN geom CASCADE", &out)) << out;
  store = open_store(server_.url("map"), &why);
  ASSERT_TRUE(store) << why;
  EXPECT_TRUE(store->has_geometry());
  ASSERT_TRUE(server_.psql("map", "SELECT run, ST_AsText(geom) FROM runs_map ORDER BY run", &out))
      << out;
  EXPECT_EQ(out, "1|POINT(-73.6 45.5)\n3|POINT(18.42 -33.925)");
}

TEST_F(PostgresqlStoreTest, AUserWhoMayOnlyReadReadsAStoreMadeBefore) {
  std::string why;
  ASSERT_TRUE(server_.create_database("shared", &why)) << why;
  std::unique_ptr<Store> store = open_store(server_.url("shared"), &why);
  ASSERT_TRUE(store) << why;
  std::vector<StoredRun> rows(1);
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 1, record_line(1, "-", 1), &rows[0], &why));
  StoreAdded added;
  ASSERT_TRUE(store->add(rows, &added)) << store->lastError;
  std::string out;
  ASSERT_TRUE(server_.psql("shared",
                           "CREATE ROLE analyst LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public "
                           "TO analyst",
                           &out))
      << out;
  const std::string url = server_.url("shared");
  const std::string analyst = url.substr(0, url.find("user=")) + "user=analyst";
  std::unique_ptr<Store> reader = open_store(analyst, &why);
  ASSERT_TRUE(reader) << why;
  int runs = 0;
  EXPECT_TRUE(reader->read(StoreQuery(), [&](const StoredRecord&) { return ++runs > 0; }))
      << reader->lastError;
  EXPECT_EQ(runs, 1);
  // Writing is the server's to refuse, with its reason.
  EXPECT_FALSE(reader->add(rows, &added));
  EXPECT_NE(reader->lastError.find("permission denied"), std::string::npos) << reader->lastError;
}

// A store of schema version 1 (with its map view where PostGIS is) is read
// as it is by a user who may only read it, and brought up to date by its
// owner: the part columns added, filled from the records as a push fills
// them, and in the map view.
TEST_F(PostgresqlStoreTest, BringsAStoreOfVersion1UpToDate) {
  std::string why;
  ASSERT_TRUE(server_.create_database("old", &why)) << why;
  static const SqlTypes kTypes = {"text", "bigint", "double precision", "boolean", "jsonb"};
  std::string sql =
      "CREATE TABLE store_version (version integer NOT NULL); "
      "INSERT INTO store_version VALUES (1); " +
      create_runs_sql(kTypes, 1) + ";\n";
  const std::vector<std::string> records = upgrade_records();
  for (size_t i = 0; i < records.size(); ++i) {
    sql += format(
        "INSERT INTO runs (probe, campaign, run, record) VALUES ('pc1', 'OUT', %zu, "
        "'%s');\n",
        i + 1, records[i].c_str());
  }
  const bool map = server_.has_postgis();
  if (map) {
    sql +=
        "CREATE EXTENSION IF NOT EXISTS postgis; "
        "ALTER TABLE runs ADD COLUMN geom geometry(Point, 4326); "
        "CREATE VIEW runs_map AS SELECT probe, campaign, run, \"sendTime\", geom FROM runs "
        "WHERE geom IS NOT NULL;";
  }
  sql += "CREATE ROLE reader LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader;";
  std::string out;
  ASSERT_TRUE(server_.psql("old", sql, &out)) << out;

  const std::string url = server_.url("old");
  std::unique_ptr<Store> reader =
      open_store(url.substr(0, url.find("user=")) + "user=reader", &why);
  ASSERT_TRUE(reader) << why;
  int runs = 0;
  EXPECT_TRUE(reader->read(StoreQuery(), [&](const StoredRecord&) { return ++runs > 0; }))
      << reader->lastError;
  EXPECT_EQ(runs, static_cast<int>(records.size()));
  reader.reset();
  ASSERT_TRUE(server_.psql("old", "SELECT max(version) FROM store_version", &out)) << out;
  EXPECT_EQ(out, "1");

  std::unique_ptr<Store> store = open_store(url, &why);
  ASSERT_TRUE(store) << why;
  std::string select = "SELECT run";
  for (const std::string& name : upgraded_columns()) {
    select += ", coalesce(\"" + name + "\"::text, 'NULL')";
  }
  select += " FROM runs ORDER BY run";
  ASSERT_TRUE(server_.psql("old", select, &out)) << out;
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : split(out, '\n')) rows.push_back(split(line, '|'));
  check_upgraded_columns(rows, "NULL");
  ASSERT_TRUE(server_.psql("old", "SELECT max(version) FROM store_version", &out)) << out;
  EXPECT_EQ(out, std::to_string(kStoreSchemaVersion));
  if (map) {
    ASSERT_TRUE(server_.psql("old",
                             "SELECT count(*) FROM information_schema.columns WHERE table_name = "
                             "'runs_map' AND column_name IN ('partsSent', 'partSpread')",
                             &out))
        << out;
    EXPECT_EQ(out, "2");
  }
  // A run pushed now fills the new columns.
  std::vector<StoredRun> added(1);
  ASSERT_TRUE(make_stored_run("pc1", "OUT", 6, R"({"run":6,"partsSent":4,"partsReceived":3})",
                              &added[0], &why));
  StoreAdded result;
  ASSERT_TRUE(store->add(added, &result)) << store->lastError;
  ASSERT_TRUE(
      server_.psql("old", "SELECT \"partsSent\", \"partsReceived\" FROM runs WHERE run = 6", &out))
      << out;
  EXPECT_EQ(out, "4|3");
  store.reset();
  EXPECT_TRUE(open_store(url, &why)) << why;
}

TEST_F(PostgresqlStoreTest, AStoreThatWentAwayIsCaughtUpWhenItComesBack) {
  std::string why;
  ASSERT_TRUE(server_.create_database("fleet", &why)) << why;
  const std::string url = server_.url("fleet");
  const std::string out = make_temp_dir("pgpush") + "/car-7";
  std::filesystem::create_directory(out);
  std::string lines = record_line(1, "-", 1) + "\n";
  ASSERT_TRUE(write_file(out + "/runs.jsonl", lines));
  RunsPusher pusher(url, "pc1", out);
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 1);

  ASSERT_TRUE(server_.stop(&why)) << why;
  lines += record_line(2, "-", 2) + "\n";
  ASSERT_TRUE(write_file(out + "/runs.jsonl", lines));
  EXPECT_FALSE(pusher.catch_up());
  // The URL as given (no password in it here), then libpq's reason.
  EXPECT_EQ(pusher.lastError.rfind(url + ": ", 0), 0u) << pusher.lastError;
  lines += record_line(3, "-", 3) + "\n";
  ASSERT_TRUE(write_file(out + "/runs.jsonl", lines));
  EXPECT_FALSE(pusher.catch_up());

  ASSERT_TRUE(server_.start(&why)) << why;
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 3);
  EXPECT_EQ(pusher.already(), 0);
  std::string count;
  ASSERT_TRUE(server_.psql("fleet", "SELECT count(*), count(DISTINCT run) FROM runs", &count));
  EXPECT_EQ(count, "3|3");
}

TEST_F(PostgresqlStoreTest, AnUnknownDatabaseIsRefusedWithTheServersReason) {
  std::string error;
  const std::string url = server_.url("nowhere");
  EXPECT_FALSE(open_store(url, &error));
  EXPECT_EQ(error.rfind(url + ": ", 0), 0u) << error;
  EXPECT_NE(error.find("nowhere"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

}  // namespace
}  // namespace smstest
