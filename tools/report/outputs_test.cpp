// The table, JSON, CSV and GeoJSON outputs of whole reports, run in-process
// on files written by hand.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "common/text.h"
#include "testsupport/run_process.h"
#include "tools/report/csv_reader.h"
#include "tools/report/geojson_writer.h"
#include "tools/report/report_test_support.h"
#include "tools/report/result_line.h"
#include "tools/report/utf8_text.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

const std::vector<std::string> kResults = {
    "SMS_TEST,1,T1,d1,45.5N73.6W,0,2.000000,8.000000,-Infinity,11.000000,100,100",
    "SMS_TEST,1,T1,d2,45.5 -73.6,2,-Infinity,-Infinity,-Infinity,1.000000,-Infinity,0",
    "SMS_TEST,1,R\xE9,d3,nowhere,2,0.500000,-Infinity,3.000000,9.000000,-Infinity,0",
    "not a result line",
    "SMS_TEST,1,T1,d4,45.5N73.6W,0,1.0,2.0",
};

class Outputs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("report");
    input_ = write_lines(dir_, "results.csv", kResults);
  }
  ReportRun run(ReportOptions options) {
    if (options.inputs.empty()) options.inputs = {input_};
    return report_in_process(options);
  }
  std::string dir_;
  std::string input_;
};

// `j` without the members that came with the intervals, the runs counted
// apart and the delivery reports (checked on their own), to show that the
// figures that were there before kept their names and values.
Json without_added(Json j) {
  if (!j.is_object()) return j;
  for (const char* added : {"intervals", "completed", "successRatePercent", "notOffered",
                            "testSystemFailures", "confirmations"}) {
    j.erase(added);
  }
  for (auto& member : j.items()) member.value() = without_added(member.value());
  return j;
}

TEST_F(Outputs, JsonHoldsEveryFigureWithItsNulls) {
  ReportOptions o;
  o.jsonPath = dir_ + "/r.json";
  ReportRun r = run(o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sms_report: " + input_ +
                       ": 2 lines skipped (not readable result lines), the first at line 4\n");
  const Json j = Json::parse(read_file(o.jsonPath));

  EXPECT_EQ(j["inputs"], Json::parse(R"([{"path":")" + input_ + R"(","file":")" + input_ +
                                     R"(","kind":"results","runs":3,"skippedLines":2}])"));
  EXPECT_EQ(j["by"], "testName");
  EXPECT_EQ(j["skippedLines"], 2);
  EXPECT_EQ(j["positions"], Json::parse(R"({"withPosition":2,"withoutPosition":1})"));

  EXPECT_EQ(without_added(j["all"]), Json::parse(R"({
    "runs": 3,
    "roundTrips": {"attempts": 2, "accessFailures": 1, "nonAccessibilityPercent": 50,
      "accessible": 1, "completionFailures": 0, "completionFailureRatioPercent": 0,
      "accessDelay": {"n":1,"mean":2,"min":2,"median":2,"p90":2,"p95":2,"p98":2,"max":2},
      "deliveryTime": {"n":1,"mean":8,"min":8,"median":8,"p90":8,"p95":8,"p98":8,"max":8},
      "endToEndTime": {"n":1,"mean":10,"min":10,"median":10,"p90":10,"p95":10,"p98":10,"max":10}},
    "reflector": {"replies": 1,
      "replyTime": {"n":1,"mean":3,"min":3,"median":3,"p90":3,"p95":3,"p98":3,"max":3}},
    "failureCauses": null})"));

  ASSERT_EQ(j["groups"].size(), 2u);
  // The Latin-1 name comes out as UTF-8; byte order puts "R\xE9" first.
  const Json& refl = j["groups"][0];
  EXPECT_EQ(refl["key"], "R\xC3\xA9");
  EXPECT_EQ(refl["runs"], 1);
  EXPECT_EQ(j["all"]["roundTrips"]["completed"], 1);
  EXPECT_EQ(j["all"]["roundTrips"]["successRatePercent"], 50);
  EXPECT_EQ(j["all"]["roundTrips"]["deliveryTime"]["intervals"]["median"],
            Json::parse(R"({"status":"tooFewSamples","minSamples":6})"));
  EXPECT_EQ(refl["roundTrips"]["intervals"]["successRate"],
            Json::parse(R"({"status":"noSamples","events":0,"trials":0})"));
  EXPECT_EQ(without_added(refl["roundTrips"]), Json::parse(R"({"attempts":0,"accessFailures":0,
    "nonAccessibilityPercent":null,"accessible":0,"completionFailures":0,
    "completionFailureRatioPercent":null,"accessDelay":null,"deliveryTime":null,
    "endToEndTime":null})"));
  EXPECT_EQ(refl["reflector"]["replies"], 1);
  const Json& t1 = j["groups"][1];
  EXPECT_EQ(t1["key"], "T1");
  EXPECT_EQ(t1["roundTrips"]["attempts"], 2);
  EXPECT_EQ(t1["roundTrips"]["nonAccessibilityPercent"], 50);
  EXPECT_EQ(t1["reflector"], Json::parse(R"({"replies":0,"replyTime":null})"));
  // Keys in a fixed order, for people reading the file.
  const std::string text = read_file(o.jsonPath);
  EXPECT_LT(text.find("\"inputs\""), text.find("\"all\""));
  EXPECT_LT(text.find("\"all\""), text.find("\"groups\""));
  EXPECT_LT(text.find("\"attempts\""), text.find("\"accessFailures\""));
}

TEST_F(Outputs, JsonRoundsToAMillionthAndKeepsRatiosExact) {
  const std::string in =
      write_lines(dir_, "thirds.csv",
                  {
                      "SMS_TEST,1,T,d,-,0,2.312000,7.950000,-Infinity,11.0,100,100",
                      "SMS_TEST,1,T,d,-,2,-Infinity,-Infinity,-Infinity,1.0,-Infinity,0",
                      "SMS_TEST,1,T,d,-,2,-Infinity,-Infinity,-Infinity,1.0,-Infinity,0",
                  });
  ReportOptions o;
  o.inputs = {in};
  o.jsonPath = dir_ + "/t.json";
  ASSERT_EQ(run(o).exitCode, 0);
  const Json j = Json::parse(read_file(o.jsonPath));
  EXPECT_EQ(j["all"]["roundTrips"]["nonAccessibilityPercent"].get<double>(), 66.666667);
  EXPECT_EQ(j["all"]["roundTrips"]["endToEndTime"]["mean"].get<double>(), 10.262);
  EXPECT_NE(read_file(o.jsonPath).find("\"mean\": 10.262,"), std::string::npos);
}

TEST_F(Outputs, CsvFlattensTheSameFigures) {
  ReportOptions o;
  o.csvPath = dir_ + "/r.csv";
  ASSERT_EQ(run(o).exitCode, 0);
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : {read_file(o.csvPath)}) {
    size_t start = 0;
    for (size_t end; (end = line.find('\n', start)) != std::string::npos; start = end + 1) {
      std::vector<std::string> fields;
      ASSERT_TRUE(split_csv_record(line.substr(start, end - start), &fields));
      rows.push_back(fields);
    }
  }
  ASSERT_EQ(rows.size(), 4u);  // header, all, two groups
  const std::vector<std::string>& header = rows[0];
  // The 42 columns of before, then the intervals' 40, then the 34 of the
  // runs counted apart and the delivery reports.
  ASSERT_EQ(header.size(), 116u);
  EXPECT_EQ(header[41], "replyTime.max");
  EXPECT_EQ(header[42], "completed");
  EXPECT_EQ(header[81], "replyTime.p98.high");
  EXPECT_EQ(header[82], "testSystemFailures");
  std::map<std::string, size_t> column;
  for (size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
  ASSERT_EQ(column.size(), header.size()) << "column names repeat";
  for (const auto& row : rows) ASSERT_EQ(row.size(), header.size());
  auto cell = [&](size_t row, const char* name) {
    EXPECT_TRUE(column.count(name)) << name;
    return rows[row][column[name]];
  };
  EXPECT_EQ(cell(1, "scope"), "all");
  EXPECT_EQ(cell(1, "key"), "");
  EXPECT_EQ(cell(1, "runs"), "3");
  EXPECT_EQ(cell(1, "attempts"), "2");
  EXPECT_EQ(cell(1, "nonAccessibilityPercent"), "50.0");
  EXPECT_EQ(cell(1, "completionFailureRatioPercent"), "0.0");
  EXPECT_EQ(cell(1, "accessDelay.n"), "1");
  EXPECT_EQ(cell(1, "endToEndTime.median"), "10.0");
  EXPECT_EQ(cell(1, "replies"), "1");
  EXPECT_EQ(cell(1, "replyTime.p98"), "3.0");
  EXPECT_EQ(cell(2, "scope"), "group");
  EXPECT_EQ(cell(2, "key"), "R\xC3\xA9");
  // No value: an empty cell; a distribution's count is always written.
  EXPECT_EQ(cell(2, "nonAccessibilityPercent"), "");
  EXPECT_EQ(cell(2, "deliveryTime.n"), "0");
  EXPECT_EQ(cell(2, "deliveryTime.mean"), "");
  EXPECT_EQ(cell(3, "key"), "T1");
  EXPECT_EQ(cell(3, "accessFailures"), "1");
  // 1 of 2 sent: Clopper-Pearson 1.257912 % to 98.742088 %; one delivery
  // time has no interval, so its cells stay empty.
  EXPECT_EQ(cell(1, "successRatePercent"), "50.0");
  EXPECT_EQ(cell(1, "nonAccessibilityPercent.low"), "1.257912");
  EXPECT_EQ(cell(1, "nonAccessibilityPercent.high"), "98.742088");
  EXPECT_EQ(cell(1, "deliveryTime.median.low"), "");
  EXPECT_EQ(cell(2, "successRatePercent.low"), "");
}

TEST_F(Outputs, TablePrintsOneAlignedRowPerGroupAndAll) {
  ReportRun r = run({});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "inputs: " + input_ +
                " (results, 3 runs); 2 lines skipped; by testName\n"
                "group  runs  attempts  non-acc %  compl-fail %  access p50  delivery p50  "
                "delivery p95  e2e p50  e2e p95  replies  reply p50\n"
                "R\xC3\xA9        1         0          -             -           -             -"
                "             -        -        -        1      3.000\n"
                "T1        2         2      50.00          0.00       2.000         8.000"
                "         8.000   10.000   10.000        0          -\n"
                "all       3         2      50.00          0.00       2.000         8.000"
                "         8.000   10.000   10.000        1      3.000\n"
                "positions: 2 runs with a readable latLong, 1 without\n");
}

TEST_F(Outputs, GeoJsonHasOnePointPerReadablePosition) {
  ReportOptions o;
  o.geojsonPath = dir_ + "/r.geojson";
  ASSERT_EQ(run(o).exitCode, 0);
  const Json j = Json::parse(read_file(o.geojsonPath));
  EXPECT_EQ(j["type"], "FeatureCollection");
  ASSERT_EQ(j["features"].size(), 2u);
  const Json& first = j["features"][0];
  EXPECT_EQ(first["type"], "Feature");
  EXPECT_EQ(first["geometry"], Json::parse(R"({"type":"Point","coordinates":[-73.6,45.5]})"));
  EXPECT_EQ(first["properties"], Json::parse(R"({"input":")" + input_ + R"(","line":1,
    "testName":"T1","latLong":"45.5N73.6W","dataTime":"d1","mode":"round-trip",
    "outcome":"completed","status":0,"sendTime":2.0,"deliveryTime":8.0,"replyTime":null,
    "totalTime":11.0,"accuracy":100.0,"endToEndTime":10.0})"));
  const Json& second = j["features"][1];
  EXPECT_EQ(second["geometry"]["coordinates"], Json::parse("[-73.6,45.5]"));
  EXPECT_EQ(second["properties"]["outcome"], "accessFailure");
  EXPECT_EQ(second["properties"]["sendTime"], nullptr);
  EXPECT_EQ(second["properties"]["line"], 2);
}

TEST_F(Outputs, EmptyGeoJsonIsAValidCollection) {
  ReportOptions o;
  o.inputs = {write_lines(dir_, "empty.csv", {})};
  o.geojsonPath = dir_ + "/e.geojson";
  ASSERT_EQ(run(o).exitCode, 0);
  EXPECT_EQ(read_file(o.geojsonPath), "{\"type\":\"FeatureCollection\",\"features\":[]}\n");
}

TEST_F(Outputs, NoByteSequenceBreaksTheJsonOutputs) {
  // Every byte but the line end and the separator, in testName, latLong and
  // a campaign's statusText.
  std::string bytes;
  for (int c = 0; c < 256; ++c) {
    if (c != '\n' && c != '\r' && c != ',') bytes += static_cast<char>(c);
  }
  const std::string latin1 = "45\xB0N";  // a degree sign in ISO-8859-1
  const std::string results =
      write_lines(dir_, "bytes.csv",
                  {
                      "SMS_TEST,1," + bytes + ",d," + latin1 + ",0,1.0,2.0,-Infinity,3.0,100,100",
                      "SMS_TEST,1,T,d," + bytes + ",0,1.0,2.0,-Infinity,3.0,100,100",
                  });
  std::string quoted;
  for (char c : bytes) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  const std::string campaign = make_temp_dir("campaign");
  write_lines(campaign, "campaign.csv",
              {std::string(kCampaignHeader) + ",latLong",
               "1,a.cmd,T,,,2,2,\"" + quoted + "\",-Infinity,,,,,round-trip,1N2E"});
  for (const char* by : {"testName", "latLong"}) {
    ReportOptions o;
    read_group_by(by, &o.by);
    o.inputs = {results, campaign};
    o.jsonPath = dir_ + "/b.json";
    o.csvPath = dir_ + "/b.csv";
    o.geojsonPath = dir_ + "/b.geojson";
    ReportRun r = run(o);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json j = Json::parse(read_file(o.jsonPath));
    std::vector<std::string> keys;
    for (const Json& g : j["groups"]) keys.push_back(g["key"]);
    if (std::string(by) == "latLong") {
      EXPECT_EQ(keys, (std::vector<std::string>{to_utf8(bytes), "1N2E", "45\xC2\xB0N"}));
    } else {
      EXPECT_EQ(keys, (std::vector<std::string>{to_utf8(bytes), "T"}));
    }
    EXPECT_EQ(j["all"]["failureCauses"][0]["text"], trim_text(to_utf8(bytes)));
    const Json layer = Json::parse(read_file(o.geojsonPath));
    ASSERT_EQ(layer["features"].size(), 1u);  // only 1N2E reads as a position
    EXPECT_EQ(layer["features"][0]["properties"]["statusText"], to_utf8(bytes));
    EXPECT_TRUE(is_utf8(read_file(o.csvPath)));
    EXPECT_TRUE(is_utf8(r.out));
  }
}

TEST(GeoJson, PlacesEachAcceptedFormAndWritesTextsAsUtf8) {
  struct Case {
    const char* latLong;
    double longitude, latitude;
  } cases[] = {
      {"45.5N73.6W", -73.6, 45.5}, {"45.5N 73.6W", -73.6, 45.5}, {"33.9S18.4E", 18.4, -33.9},
      {"45.5 -73.6", -73.6, 45.5}, {"45.5;-73.6", -73.6, 45.5},  {"-33.9/18.4", 18.4, -33.9},
  };
  for (const Case& c : cases) {
    RunRecord run;
    ASSERT_TRUE(parse_result_line(
        std::string("SMS_TEST,1,caf\xE9,d,") + c.latLong + ",0,1.0,2.0,-Infinity,3.0,100,100",
        &run));
    Position p;
    ASSERT_TRUE(parse_position(run.latLong, &p)) << c.latLong;
    const Json f = Json::parse(feature_json(run, "in\xFF.csv", p));
    EXPECT_EQ(f["geometry"]["coordinates"][0].get<double>(), c.longitude) << c.latLong;
    EXPECT_EQ(f["geometry"]["coordinates"][1].get<double>(), c.latitude) << c.latLong;
    EXPECT_EQ(f["properties"]["testName"], "caf\xC3\xA9");
    EXPECT_EQ(f["properties"]["input"], "in\xC3\xBF.csv");
  }
}

TEST(GeoJson, CampaignRowsCarryTheirStatus) {
  RunRecord run;
  run.fromCampaign = true;
  run.run = "4";
  run.testName = "T";
  run.cmdFile = "a.cmd";
  run.hasCmdFile = true;
  run.latLong = "1N2E";
  run.hasLatLong = true;
  run.hasStatusCode = true;
  run.statusCode = 2;
  run.statusText = "Cannot send SMS \x81";  // not UTF-8
  run.hasExitCode = true;
  run.exitCode = 2;
  run.lineNumber = 5;
  const Json f = Json::parse(feature_json(run, "c/campaign.csv", {1, 2}));
  EXPECT_EQ(f["properties"], Json::parse(R"({"input":"c/campaign.csv","line":5,"run":"4",
    "testName":"T","latLong":"1N2E","cmdFile":"a.cmd","mode":"round-trip",
    "outcome":"accessFailure","exitCode":2,"statusCode":2,
    "statusText":"Cannot send SMS \u0081","sendTime":null,"deliveryTime":null,
    "replyTime":null,"totalTime":null,"accuracy":null,"endToEndTime":null})"));
}

}  // namespace
}  // namespace smstest
