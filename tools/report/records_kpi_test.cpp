// The run records' later fields in the report: runs counted apart (test
// system failures, not offered), the delivery reports' KPIs, the groupings
// by radio and identity, the signal chart and the GeoJSON snapshot; every
// output of whole reports run in-process on records written by hand.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/text.h"
#include "testsupport/run_process.h"
#include "tools/report/csv_reader.h"
#include "tools/report/kpi.h"
#include "tools/report/record_line.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

// A round trip that went well, with `changes` over it.
std::string record(const Json& changes = Json::object()) {
  Json r = {{"mode", "round-trip"},
            {"testName", "T"},
            {"latLong", "45.5 -73.6"},
            {"statusCode", 0},
            {"statusText", "SUCCESS"},
            {"failurePhase", nullptr},
            {"sendTime", 2.0},
            {"deliveryTime", 6.0},
            {"accuracy", 100},
            {"sendStart", "2026-12-08T10:15:00.000000Z"},
            {"sendConfirmed", "2026-12-08T10:15:02.000000Z"}};
  if (changes.is_object()) r.update(changes);
  return r.dump();
}

// The sending modem (COM3) and the receiving one (COM4) with identities,
// and the sender's snapshot at the send.
Json modems(const char* technology, const char* op, const Json& rsrp, const Json& rssi,
            const char* model = "SIM800") {
  Json identity = {{"manufacturer", "Simcom"},
                   {"model", model},
                   {"revision", "1.02"},
                   {"imei", "356938035643809"},
                   {"homeNetwork", "001-01"}};
  Json atOpen = {{"at", "open"}, {"technology", "GSM"}, {"operator", "999-99"}, {"rssiDbm", -101}};
  Json atSend = {{"at", "send"},    {"technology", technology}, {"operator", op},
                 {"lac", "1A2B"},   {"cellId", "00C0FFEE"},     {"rsrpDbm", rsrp},
                 {"rssiDbm", rssi}, {"registered", true}};
  Json from = {{"port", 3}, {"roles", Json::array({"from"})}, {"identity", identity}};
  from["radio"] = Json::array({atOpen, atSend});
  Json to = {{"port", 4}, {"roles", Json::array({"to"})}, {"identity", nullptr}};
  to["radio"] = Json::array();
  return Json::array({from, to});
}

// An element of the page by its name, whatever its namespace.
std::string el(const char* name) { return std::string("*[local-name()='") + name + "']"; }

RunRecord parsed(const std::string& line) {
  RunRecord run;
  EXPECT_TRUE(parse_record_line(line, &run)) << line;
  return run;
}

TEST(RecordsKpi, SetupFailuresAndUnregisteredSendsAreSamplesApart) {
  struct Case {
    const char* what;
    Json changes;
    Outcome outcome;
  } cases[] = {
      {"setup before anything was offered",
       {{"failurePhase", "setup"}, {"sendTime", nullptr}, {"sendConfirmed", nullptr}},
       Outcome::kTestSystemFailure},
      {"setup in a reflector",
       {{"mode", "reflector"}, {"failurePhase", "setup"}},
       Outcome::kTestSystemFailure},
      {"open keeps its meaning",
       {{"failurePhase", "open"}, {"sendTime", nullptr}, {"sendConfirmed", nullptr}},
       Outcome::kAccessFailure},
      {"not registered, not sent",
       {{"registeredAtSend", false}, {"failurePhase", "send"}, {"sendTime", nullptr}},
       Outcome::kNotOffered},
      {"not registered, yet delivered", {{"registeredAtSend", false}}, Outcome::kNotOffered},
      {"registered, not sent",
       {{"registeredAtSend", true}, {"failurePhase", "send"}, {"sendTime", nullptr}},
       Outcome::kAccessFailure},
      {"registration not known", {{"registeredAtSend", nullptr}}, Outcome::kCompleted},
      {"a reflector's registration does not count",
       {{"mode", "reflector"}, {"registeredAtSend", false}, {"replyTime", 3.0}},
       Outcome::kReply},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(classify(parsed(record(c.changes))), c.outcome);
  }
}

TEST(RecordsKpi, OddLaterFieldsAreLeftOutWithoutLosingTheRun) {
  struct Case {
    const char* what;
    Json changes;
  } cases[] = {
      {"texts for numbers", {{"confirmTime", "3"}, {"reportStatus", "0"}, {"fromPort", "3"}}},
      {"modems not an array", {{"modems", 5}}},
      {"modem entries of every odd kind",
       {{"modems", Json::array({1,
                                "x",
                                nullptr,
                                {{"roles", "from"}, {"radio", 7}},
                                {{"roles", {"from"}}, {"radio", {1, {{"at", 2}}}}}})}}},
      {"registeredAtSend not a boolean", {{"registeredAtSend", "no"}}},
      {"reportRequested not a boolean", {{"reportRequested", 1}, {"reportClass", 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunRecord run = parsed(record(c.changes));
    EXPECT_EQ(classify(run), Outcome::kCompleted);
    EXPECT_FALSE(run.confirmTime.taken);
    EXPECT_FALSE(run.hasReportStatus);
    EXPECT_FALSE(run.hasRegisteredAtSend);
    EXPECT_FALSE(run.reportRequested);
    EXPECT_FALSE(run.sendRadio.known);
    EXPECT_EQ(run.fromPort, 0);
  }
}

class RecordsReport : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("records_report"); }
  ReportRun run(const std::vector<std::string>& lines, ReportOptions options) {
    options.inputs = {write_lines(dir_, "runs.jsonl", lines)};
    return report_in_process(options);
  }
  std::string dir_;
};

TEST_F(RecordsReport, CountsTestSystemFailuresAndNotOfferedOutsideEveryKpi) {
  const std::vector<std::string> lines = {
      record({}),
      record({{"deliveryTime", 8.0}}),
      record({{"failurePhase", "open"},
              {"sendTime", nullptr},
              {"sendConfirmed", nullptr},
              {"statusCode", 2},
              {"statusText", "Failed to open COM3"}}),
      record({{"failurePhase", "setup"},
              {"sendTime", nullptr},
              {"sendConfirmed", nullptr},
              {"statusCode", 2},
              {"statusText", "Failed to open COM9"}}),
      record({{"registeredAtSend", false},
              {"failurePhase", "send"},
              {"sendTime", nullptr},
              {"sendConfirmed", nullptr},
              {"statusCode", 2},
              {"statusText", "Cannot send SMS"}}),
  };
  ReportOptions o;
  o.jsonPath = dir_ + "/r.json";
  o.csvPath = dir_ + "/r.csv";
  o.htmlPath = dir_ + "/r.html";
  const ReportRun r = run(lines, o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("test system failures: 1 run (failurePhase setup), outside every KPI\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("not offered: 1 round trip (sending modem not registered at the send)"),
            std::string::npos);

  const Json all = Json::parse(read_file(o.jsonPath))["all"];
  EXPECT_EQ(all["runs"], 5);
  EXPECT_EQ(all["testSystemFailures"], 1);
  const Json& rt = all["roundTrips"];
  EXPECT_EQ(rt["attempts"], 3);
  EXPECT_EQ(rt["accessFailures"], 1);
  EXPECT_EQ(rt["notOffered"], 1);
  EXPECT_EQ(rt["completed"], 2);
  EXPECT_EQ(rt["deliveryTime"]["n"], 2);
  EXPECT_EQ(rt["intervals"]["nonAccessibility"]["trials"], 3);

  const std::string csv = read_file(o.csvPath);
  std::vector<std::string> header, row;
  ASSERT_TRUE(split_csv_record(csv.substr(0, csv.find('\n')), &header));
  const size_t second = csv.find('\n') + 1;
  ASSERT_TRUE(split_csv_record(csv.substr(second, csv.find('\n', second) - second), &row));
  ASSERT_EQ(header.size(), row.size());
  std::map<std::string, std::string> cells;
  for (size_t i = 0; i < header.size(); ++i) cells[header[i]] = row[i];
  EXPECT_EQ(cells["attempts"], "3");
  EXPECT_EQ(cells["testSystemFailures"], "1");
  EXPECT_EQ(cells["notOffered"], "1");
  EXPECT_EQ(cells["reportsRequested"], "0");
  EXPECT_EQ(cells["receiveConfirmationFailureRatioPercent"], "");

  const std::string html = o.htmlPath;
  if (xmllint_path().empty()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_EQ(xmllint(html), "");
  const std::string table = "(//" + el("table") + ")[1]/" + el("tr");
  EXPECT_EQ(xmllint(html, "string(" + table + "[1]/" + el("th") + "[10])"), "not offered");
  EXPECT_EQ(xmllint(html, "string(" + table + "[1]/" + el("th") + "[11])"), "test system failures");
  EXPECT_EQ(xmllint(html, "string(" + table + "[last()]/" + el("td") + "[10])"), "1");
  EXPECT_EQ(xmllint(html, "string(" + table + "[last()]/" + el("td") + "[11])"), "1");
  EXPECT_EQ(xmllint(html, "string(" + table + "[last()]/" + el("td") + "[3])"), "3");
}

TEST_F(RecordsReport, OldRecordsKeepTheirTableAndPage) {
  // Records without any of the later fields: no line or column of them.
  ReportOptions o;
  o.htmlPath = dir_ + "/r.html";
  const ReportRun r =
      run({record({}), record({{"failurePhase", "open"}, {"sendTime", nullptr}})}, o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("test system"), std::string::npos);
  EXPECT_EQ(r.out.find("delivery reports"), std::string::npos);
  const std::string page = read_file(o.htmlPath);
  EXPECT_EQ(page.find("not offered"), std::string::npos);
  EXPECT_EQ(page.find("Delivery reports"), std::string::npos);
  EXPECT_EQ(page.find("signal strength"), std::string::npos);
  EXPECT_EQ(page.find("Modems"), std::string::npos);
}

TEST_F(RecordsReport, ConfirmationKpisCountFailedReportsAsReceived) {
  auto asked = [](Json changes) {
    changes["reportRequested"] = true;
    return record(changes);
  };
  const std::vector<std::string> lines = {
      asked({{"reportClass", "delivered"},
             {"reportStatus", 0},
             {"confirmTime", 3.0},
             {"centreDelivery", 2.0}}),
      asked({{"reportClass", "failed-permanent"},
             {"reportStatus", 70},
             {"confirmTime", 5.0},
             {"centreDelivery", nullptr}}),
      asked({{"reportClass", "failed-temporary"}, {"reportStatus", 100}, {"confirmTime", 4.0}}),
      asked({{"reportClass", "missing"}, {"confirmTime", nullptr}}),
      // No class recorded: no report either.
      asked({{"reportClass", nullptr}}),
      // Not accepted by the network: outside the ratio.
      asked({{"failurePhase", "send"},
             {"sendTime", nullptr},
             {"sendConfirmed", nullptr},
             {"reportClass", "missing"}}),
      record({{"reportRequested", false}, {"reportClass", nullptr}}),
  };
  ReportOptions o;
  o.jsonPath = dir_ + "/r.json";
  o.csvPath = dir_ + "/r.csv";
  o.htmlPath = dir_ + "/r.html";
  const ReportRun r = run(lines, o);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const Json c = Json::parse(read_file(o.jsonPath))["all"]["confirmations"];
  EXPECT_EQ(c["requested"], 6);
  EXPECT_EQ(c["accepted"], 5);
  EXPECT_EQ(c["failures"], 2);
  EXPECT_EQ(c["receiveConfirmationFailureRatioPercent"], 40.0);
  // 2 of 5, Clopper-Pearson (R: binom.test(2, 5)): 5.274495 % to 85.336720 %.
  EXPECT_NEAR(c["receiveConfirmationFailureRatio"]["lowPercent"].get<double>(), 5.274495, 1e-5);
  EXPECT_NEAR(c["receiveConfirmationFailureRatio"]["highPercent"].get<double>(), 85.33672, 1e-5);
  EXPECT_EQ(c["receiveConfirmationTime"]["n"], 3);
  EXPECT_EQ(c["receiveConfirmationTime"]["median"], 4.0);
  EXPECT_EQ(c["receiveConfirmationTime"]["max"], 5.0);
  EXPECT_EQ(c["centreDelivery"]["n"], 1);
  EXPECT_EQ(c["classes"], Json::parse(R"([{"class":"delivered","count":1},
      {"class":"failed-permanent","count":1},{"class":"failed-temporary","count":1},
      {"class":"missing","count":1},{"class":"none","count":1}])"));
  EXPECT_EQ(c["statuses"], Json::parse(R"([{"status":0,"count":1},{"status":70,"count":1},
      {"status":100,"count":1}])"));

  EXPECT_NE(r.out.find("  SMS Receive Confirmation Failure Ratio: 40.00 % (2 of 5; "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  SMS Receive Confirmation Time: n 3, median 4.000 s"), std::string::npos);

  const std::string csv = read_file(o.csvPath);
  EXPECT_NE(csv.find(",delivered:1;failed-permanent:1;failed-temporary:1;missing:1;none:1,"
                     "0:1;70:1;100:1\n"),
            std::string::npos)
      << csv;

  if (xmllint_path().empty()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_EQ(xmllint(o.htmlPath), "");
  const std::string table = "(//" + el("section") + "[" + el("h2") + "='Delivery reports']/" +
                            el("table") + ")[1]/" + el("tr");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + table + "[1]/" + el("th") + "[5])"),
            "SMS Receive Confirmation Failure Ratio %");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + table + "[last()]/" + el("td") + "[4])"), "2");
  EXPECT_EQ(xmllint(o.htmlPath, "string(" + table + "[last()]/" + el("td") + "[5]/text())"),
            "40.00");
}

TEST_F(RecordsReport, GroupsBySendersTechnologyOperatorAndModel) {
  const std::vector<std::string> lines = {
      record({{"modems", modems("LTE", "262-01", -95, -70)}}),
      record({{"modems", modems("LTE", "262-02", -105, nullptr)}, {"deliveryTime", 9.0}}),
      record({{"modems", modems("GSM", "262-01", nullptr, -85, "EC25")}}),
      record({}),  // no modems: the empty key
  };
  struct Case {
    GroupBy by;
    std::vector<std::pair<std::string, int>> groups;  // key, runs
  } cases[] = {
      {GroupBy::kTechnology, {{"", 1}, {"GSM", 1}, {"LTE", 2}}},
      {GroupBy::kOperator, {{"", 1}, {"262-01", 2}, {"262-02", 1}}},
      {GroupBy::kModel, {{"", 1}, {"EC25", 1}, {"SIM800", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(group_by_name(c.by));
    ReportOptions o;
    o.by = c.by;
    o.jsonPath = dir_ + "/r.json";
    const ReportRun r = run(lines, o);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json groups = Json::parse(read_file(o.jsonPath))["groups"];
    ASSERT_EQ(groups.size(), c.groups.size());
    for (size_t i = 0; i < c.groups.size(); ++i) {
      EXPECT_EQ(groups[i]["key"], c.groups[i].first);
      EXPECT_EQ(groups[i]["runs"], c.groups[i].second);
    }
  }
  // A campaign.csv has no radio fields: refused before anything is read.
  const std::string csv = write_lines(dir_, "campaign.csv", {kCampaignHeader});
  ReportOptions o;
  o.by = GroupBy::kOperator;
  o.inputs = {csv};
  const ReportRun refused = report_in_process(o);
  EXPECT_EQ(refused.exitCode, kReportFailed);
  EXPECT_EQ(refused.err,
            "sms_report: --by operator needs run records (runs.jsonl or a record= "
            "file): " +
                csv + " is a campaign.csv\n");
}

TEST_F(RecordsReport, SignalChartAndGeoJsonCarryTheSendersSnapshot) {
  const std::vector<std::string> lines = {
      record({{"modems", modems("LTE", "262-01", -95, -70)}, {"registeredAtSend", true}}),
      record({{"modems", modems("GSM", "262-01", nullptr, -85)}, {"deliveryTime", 9.0}}),
      record({}),
  };
  ReportOptions o;
  o.htmlPath = dir_ + "/r.html";
  o.geojsonPath = dir_ + "/r.geojson";
  const ReportRun r = run(lines, o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Json features = Json::parse(read_file(o.geojsonPath))["features"];
  ASSERT_EQ(features.size(), 3u);
  const Json& lte = features[0]["properties"];
  EXPECT_EQ(lte["technology"], "LTE");
  EXPECT_EQ(lte["operator"], "262-01");
  EXPECT_EQ(lte["lac"], "1A2B");
  EXPECT_EQ(lte["cellId"], "00C0FFEE");
  EXPECT_EQ(lte["rsrpDbm"], -95);
  EXPECT_EQ(lte["rssiDbm"], -70);
  EXPECT_EQ(lte["signalDbm"], -95);  // RSRP first
  EXPECT_EQ(lte["registeredAtSend"], true);
  const Json& gsm = features[1]["properties"];
  EXPECT_EQ(gsm["signalDbm"], -85);  // RSSI without RSRP
  EXPECT_TRUE(gsm["rsrpDbm"].is_null());
  EXPECT_TRUE(gsm["registeredAtSend"].is_null());
  // A record without modems keeps the properties it always had.
  EXPECT_FALSE(features[2]["properties"].contains("technology"));

  const std::string page = read_file(o.htmlPath);
  EXPECT_NE(page.find("2 completed round trips with a signal reading"), std::string::npos);
  // The identity in the head, its IMEI masked to the last four digits.
  EXPECT_NE(page.find("COM3: Simcom SIM800, firmware 1.02, IMEI ***********3809, SIM home "
                      "network 001-01 (2 runs)"),
            std::string::npos);
  EXPECT_EQ(page.find("356938035643809"), std::string::npos);
  if (xmllint_path().empty()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_EQ(xmllint(o.htmlPath), "");
}

TEST_F(RecordsReport, CampaignDirectoryIsReadThroughItsRecords) {
  // A campaign folder with both files: the records, which carry the
  // positions; an empty runs.jsonl leaves campaign.csv to be read.
  struct Case {
    const char* what;
    std::vector<std::string> records;
    const char* kind;
    int withPosition;
  } cases[] = {
      {"records", {record({{"cmdFile", "a.cmd"}, {"run", 1}})}, "records", 1},
      {"empty records", {}, "campaign", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = make_temp_dir("records_dir");
    write_lines(out, "campaign.csv",
                {kCampaignHeader,
                 "1,a.cmd,T,2026-12-08T10:15:00Z,2026-12-08T10:15:09Z,0,0,"
                 "\"SUCCESS\",2,6,-Infinity,9,100,round-trip"});
    ASSERT_TRUE(write_file(out + "/runs.jsonl", c.records.empty() ? "" : c.records[0] + "\n"));
    ReportOptions o;
    o.inputs = {out};
    o.jsonPath = dir_ + "/r.json";
    o.by = c.records.empty() ? GroupBy::kTestName : GroupBy::kLatLong;
    const ReportRun r = report_in_process(o);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json j = Json::parse(read_file(o.jsonPath));
    EXPECT_EQ(j["inputs"][0]["kind"], c.kind);
    EXPECT_EQ(j["positions"]["withPosition"], c.withPosition);
    EXPECT_EQ(j["all"]["roundTrips"]["completed"], 1);
  }
}

}  // namespace
}  // namespace smstest
