// Two probes' campaigns in one store give the report their two directories
// give as files: real campaigns against modem_sim, pushed by sms_campaign
// --push and by sms_store push, reported by sms_report --from, in SQLite and
// in a PostgreSQL server of the test's own (with PostGIS where installed:
// the runs_map view's points are the GeoJSON layer's).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "sim/sim_process.h"
#include "store/store.h"
#include "testsupport/pg_server.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

class StoreReportTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string kind = GetParam();
    if (!store_back_end_built(kind)) GTEST_SKIP() << "built without the " << kind << " store";
    if (kind == "sqlite") {
      url_ = "sqlite:" + work_ + "/runs.db";
      return;
    }
    server_ = std::make_unique<PgServer>();
    std::string why;
    if (!server_->create(&why)) {
      if (why.rfind("initdb failed", 0) == 0) FAIL() << why;
      GTEST_SKIP() << why;
    }
    ASSERT_TRUE(server_->start(&why)) << why;
    ASSERT_TRUE(server_->create_database("fleet", &why)) << why;
    url_ = server_->url("fleet");
  }

  ProcessResult run(std::vector<std::string> argv, const std::string& cwd = "") {
    return run_process(argv, cwd.empty() ? work_ : cwd, {"SMS_TEST_PORTS=" + ports_}, 120);
  }

  // sms_report with `args`; its JSON report (without the inputs, which name
  // the files or the store) and its table (without the inputs line).
  void report(std::vector<std::string> args, Json* json, std::string* table) {
    args.insert(args.begin(), {SMS_REPORT_BINARY, "--json", "report.json"});
    const ProcessResult r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    *json = Json::parse(read_file(work_ + "/report.json"));
    json->erase("inputs");
    *table = r.out.substr(r.out.find('\n') + 1);
  }

  std::string work_ = make_temp_dir("store_report");
  std::string ports_ = work_ + "/ports";
  std::string url_;
  std::unique_ptr<PgServer> server_;
};

TEST_P(StoreReportTest, TwoProbesInOneStoreGiveTheReportOfTheirDirectories) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY,
                        {"--dir", ports_, "--delay", "0.1", "--modem", "COM3=5550103", "--modem",
                         "COM4=5550104", "--modem", "COM6=5550106", "--modem", "COM7=5550107"}))
      << sim.lastError;
  ASSERT_TRUE(write_file(work_ + "/ok.cmd",
                         "SMS_TEST\nresults.csv\nOK|20|3|5550104|hello|0|0|115200|4|115200|0\n"));
  ASSERT_TRUE(write_file(work_ + "/lost.cmd",
                         "SMS_TEST\nresults.csv\nLOST|1|6|5559999|hello|0|0|115200|7|115200|0\n"));
  // Probe car-7 pushes as it goes; car-9 has no store on the road and is
  // pushed afterwards.  Both campaigns are folders named "out".
  std::filesystem::create_directories(work_ + "/car7");
  std::filesystem::create_directories(work_ + "/car9");
  ProcessResult c =
      run({SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "2", "--lat-long", "45.5N73.6W",
           "--push", url_, "--probe", "car-7", "../ok.cmd", "../lost.cmd"},
          work_ + "/car7");
  ASSERT_EQ(c.exitCode, 0) << c.err;
  EXPECT_NE(c.out.find("sms_campaign: 4 runs pushed to " + url_), std::string::npos) << c.out;
  // The next campaign starts in a later second.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  c = run({SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "3", "--lat-long", "-33.925 18.42",
           "../ok.cmd"},
          work_ + "/car9");
  ASSERT_EQ(c.exitCode, 0) << c.err;
  ProcessResult push = run({SMS_STORE_BINARY, "push", "--probe", "car-9", url_, "car9/out"});
  EXPECT_EQ(push.exitCode, 0) << push.err;
  EXPECT_EQ(push.out, "car9/out: 3 runs added, 0 stored before (probe car-9, campaign out)\n");
  // Pushing car-7 again adds nothing.
  push = run({SMS_STORE_BINARY, "push", "--probe", "car-7", url_, "car7/out"});
  EXPECT_EQ(push.exitCode, 0) << push.err;
  EXPECT_EQ(push.out, "car7/out: 0 runs added, 4 stored before (probe car-7, campaign out)\n");

  // The same report, grouped either way, as from the two directories
  // (read through their runs.jsonl) and from their runs.jsonl named.
  for (const char* by : {"testName", "cmdFile"}) {
    SCOPED_TRACE(by);
    Json fromDirs, fromJsonl, fromStore;
    std::string dirsTable, jsonlTable, storeTable;
    report({"--by", by, "car7/out", "car9/out"}, &fromDirs, &dirsTable);
    report({"--by", by, "car7/out/runs.jsonl", "car9/out/runs.jsonl"}, &fromJsonl, &jsonlTable);
    report({"--by", by, "--from", url_}, &fromStore, &storeTable);
    // The store keeps the records, not the campaign's copies of the command
    // files: its settings come from the records' own fields.
    ASSERT_EQ(fromStore["setup"]["commandSettings"].size(), 2u);
    for (const Json& settings : fromStore["setup"]["commandSettings"]) {
      EXPECT_EQ(settings["source"], "run record");
    }
    for (const Json& settings : fromDirs["setup"]["commandSettings"]) {
      EXPECT_NE(settings["source"], "run record");
    }
    for (Json* j : {&fromDirs, &fromJsonl, &fromStore}) (*j)["setup"].erase("commandSettings");
    EXPECT_EQ(fromStore, fromJsonl) << Json::diff(fromJsonl, fromStore).dump(1);
    EXPECT_EQ(storeTable, jsonlTable);
    EXPECT_EQ(fromStore, fromDirs) << Json::diff(fromDirs, fromStore).dump(1);
    EXPECT_EQ(storeTable, dirsTable);
    EXPECT_EQ(fromStore["positions"]["withPosition"], 7);
    EXPECT_EQ(fromStore["all"]["roundTrips"]["attempts"], 7) << fromStore.dump(1);
    EXPECT_EQ(fromStore["all"]["roundTrips"]["completionFailures"], 2) << fromStore.dump(1);
  }

  // The map layer: the store's features are the files' (but for the input
  // they name).
  ASSERT_EQ(run({SMS_REPORT_BINARY, "--geojson", "files.geojson", "car7/out/runs.jsonl",
                 "car9/out/runs.jsonl"})
                .exitCode,
            0);
  ASSERT_EQ(run({SMS_REPORT_BINARY, "--geojson", "store.geojson", "--from", url_}).exitCode, 0);
  Json files = Json::parse(read_file(work_ + "/files.geojson"))["features"];
  Json stored = Json::parse(read_file(work_ + "/store.geojson"))["features"];
  ASSERT_EQ(files.size(), 7u);
  ASSERT_EQ(stored.size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(stored[i]["properties"]["input"], i < 4 ? "car-7/out" : "car-9/out") << i;
    files[i]["properties"].erase("input");
    stored[i]["properties"].erase("input");
    EXPECT_EQ(stored[i], files[i]) << i;
  }

  // PostGIS: the view's points, as GeoJSON, are the layer's geometries.
  if (server_ && server_->has_postgis()) {
    std::string out;
    ASSERT_TRUE(server_->psql(
        "fleet", "SELECT ST_AsGeoJSON(geom) FROM runs_map ORDER BY probe, campaign, line", &out))
        << out;
    const std::vector<std::string> points = split(out, '\n');
    ASSERT_EQ(points.size(), 7u) << out;
    for (size_t i = 0; i < 7; ++i)
      EXPECT_EQ(Json::parse(points[i]), files[i]["geometry"]) << points[i];
  }

  // A window: car-9's campaign began after car-7's had ended.
  const Json first = Json::parse(split(read_file(work_ + "/car9/out/runs.jsonl"), '\n')[0]);
  const std::string since = first["start"];
  Json windowed;
  std::string table;
  report({"--from", url_, "--since", since}, &windowed, &table);
  EXPECT_EQ(windowed["all"]["roundTrips"]["attempts"], 3);
  report({"--from", url_, "--until", since}, &windowed, &table);
  EXPECT_EQ(windowed["all"]["roundTrips"]["attempts"], 4);
  report({"--from", url_, "--since", "2000-01-01", "--until", "2000-01-02"}, &windowed, &table);
  EXPECT_EQ(windowed["all"]["roundTrips"]["attempts"], 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreReportTest, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace smstest
