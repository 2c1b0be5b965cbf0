// The real sms_report binary: its command line, exit codes and messages,
// and a campaign directory reported into all four files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "testsupport/run_process.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

ProcessResult sms_report(const std::vector<std::string>& args, const std::string& cwd = ".") {
  std::vector<std::string> argv = {SMS_REPORT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult r = run_process(argv, cwd, {}, 60);
  EXPECT_FALSE(r.timedOut);
  return r;
}

// A campaign of two command files and a reflector, with failures.
std::string write_campaign(const std::string& dir) {
  write_lines(dir, "campaign.csv",
              {kCampaignHeader,
               "1,pair1.cmd,T1,2026-12-08T10:15:00Z,2026-12-08T10:15:11Z,0,0,SUCCESS,2.000000,"
               "7.000000,-Infinity,11.000000,100,round-trip",
               "2,pair1.cmd,T1,2026-12-08T10:15:12Z,2026-12-08T10:16:12Z,2,2,"
               "\"Message not received, timeout\",2.100000,-Infinity,-Infinity,60.000000,"
               "-Infinity,round-trip",
               "3,pair2.cmd,T2,2026-12-08T10:15:00Z,2026-12-08T10:15:03Z,2,2,Cannot send SMS,"
               "-Infinity,-Infinity,-Infinity,3.000000,-Infinity,round-trip",
               "4,pair2.cmd,T2,2026-12-08T10:15:04Z,2026-12-08T10:15:07Z,2,2,Cannot send SMS,"
               "-Infinity,-Infinity,-Infinity,3.000000,-Infinity,round-trip",
               "5,pair2.cmd,T2,2026-12-08T10:15:08Z,2026-12-08T10:15:20Z,0,0,SUCCESS,1.000000,"
               "9.000000,-Infinity,12.000000,100,round-trip",
               "6,refl.cmd,R1,2026-12-08T10:15:00Z,2026-12-08T10:15:09Z,0,0,SUCCESS,0.400000,"
               "-Infinity,2.500000,9.000000,-Infinity,reflector",
               "7,pair1.cmd,T1,2026-12-08T10:16:13Z",  // cut short by an interruption
               ""});
  return dir;
}

TEST(SmsReport, HelpTellsTheUsage) {
  ProcessResult r = sms_report({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  for (const char* part :
       {"Usage: sms_report [OPTIONS] INPUT...", "--by", "testName", "latLong", "cmdFile",
        "--json FILE", "--csv FILE", "--html FILE", "--geojson FILE", "campaign.csv", "45.5N73.6W",
        "Exit code", "technology", "operator", "model", "runs.jsonl"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }
}

TEST(SmsReport, RefusesABadCommandLineWithExitCode2) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--by", "place", "x.csv"}, {"--frobnicate", "x.csv"}, {"--json"}};
  for (const auto& args : bad) {
    ProcessResult r = sms_report(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err, "") << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
  }
}

TEST(SmsReport, AnUnreadableInputIsOneLineAndExitCode2) {
  const std::string dir = make_temp_dir("report");
  const std::string good =
      write_lines(dir, "good.csv", {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100"});
  struct Case {
    std::string input;
    std::string message;
  } cases[] = {
      {dir + "/missing.csv",
       "sms_report: cannot read " + dir + "/missing.csv: No such file or directory\n"},
      {dir, "sms_report: " + dir + ": no campaign.csv in this directory\n"},
  };
  for (const Case& c : cases) {
    // Checked before anything is written: the JSON file is not even created.
    ProcessResult r = sms_report({"--json", dir + "/out.json", good, c.input});
    EXPECT_EQ(r.exitCode, 2) << c.input;
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(file_exists(dir + "/out.json"));
  }
}

// A result file that a later version of SMS_TEST may write: records of type
// 1 with columns after the pass figure, lines of other record types, CR LF
// line ends.  Exactly the records of type 1 are runs; the other record
// types are passed over without a warning, a line shifted by a comma in its
// testName is skipped as ever.
TEST(SmsReport, CountsExactlyTheRecordsOfType1) {
  const std::string dir = make_temp_dir("report");
  const std::string results = write_lines(
      dir, "results.csv",
      {"SMS_TEST,1,T1,d1,-,0,1.000000,2.000000,-Infinity,3.000000,100,100",
       "SMS_TEST,2,T1,d1,-,0,9.000000,9.000000,-Infinity,9.000000,100,100",
       "SMS_TEST,1,T1,d2,-,0,1.000000,4.000000,-Infinity,5.000000,100,100,17,9.000000\r",
       "SMS_TEST,3,d2,17\r",
       "SMS_TEST,1,T2,d3,-,2,-Infinity,-Infinity,-Infinity,3.000000,-Infinity,0,,x",
       "SMS_TEST,2,T2,d3,-,2,-Infinity,-Infinity,-Infinity,3.000000,-Infinity,0",
       "SMS_TEST,1,T,3,d4,-,0,1.000000,2.000000,-Infinity,3.000000,100,100"});
  ProcessResult r = sms_report({"--json", dir + "/r.json", results});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sms_report: " + results +
                       ": 1 line skipped (not readable result lines), the first at line 7\n");
  const Json j = Json::parse(read_file(dir + "/r.json"));
  EXPECT_EQ(j["inputs"][0]["runs"], 3);
  EXPECT_EQ(j["skippedLines"], 1);
  EXPECT_EQ(j["all"]["runs"], 3);
  ASSERT_EQ(j["groups"].size(), 2u);
  EXPECT_EQ(j["groups"][0]["key"], "T1");
  EXPECT_EQ(j["groups"][0]["runs"], 2);
  EXPECT_EQ(j["groups"][1]["key"], "T2");
  EXPECT_EQ(j["groups"][1]["roundTrips"]["accessFailures"], 1);
  // The delivery times of the two records of T1, not the 9 s of the others.
  const Json& delivery = j["groups"][0]["roundTrips"]["deliveryTime"];
  EXPECT_EQ(delivery["n"], 2);
  EXPECT_DOUBLE_EQ(delivery["max"].get<double>(), 4.0);
}

TEST(SmsReport, AnEmptyInputGivesAnEmptyReport) {
  const std::string dir = make_temp_dir("report");
  const std::string empty = write_lines(dir, "empty.csv", {});
  const std::string junk = write_lines(dir, "junk.txt", {"hello", "", "world"});
  ProcessResult r = sms_report({"--json", dir + "/e.json", "--csv", dir + "/e.csv", "--html",
                                dir + "/e.html", "--geojson", dir + "/e.geojson", empty, junk});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sms_report: " + junk +
                       ": 2 lines skipped (not readable result lines), the first at line 1\n");
  EXPECT_NE(r.out.find("\nall       0         0          -"), std::string::npos) << r.out;
  const Json j = Json::parse(read_file(dir + "/e.json"));
  EXPECT_EQ(j["groups"], Json::array());
  EXPECT_EQ(j["skippedLines"], 2);
  EXPECT_EQ(j["all"]["runs"], 0);
  EXPECT_EQ(j["all"]["roundTrips"]["nonAccessibilityPercent"], nullptr);
  EXPECT_EQ(j["all"]["roundTrips"]["deliveryTime"], nullptr);
  EXPECT_EQ(read_file(dir + "/e.csv").find("all,,0,0,0,,0,0,,0,"),
            read_file(dir + "/e.csv").find('\n') + 1);
  EXPECT_EQ(xmllint(dir + "/e.html"), "");
}

TEST(SmsReport, ReportsACampaignDirectoryIntoAllFourFiles) {
  const std::string dir = make_temp_dir("report");
  const std::string campaign = write_campaign(make_temp_dir("campaign"));
  ProcessResult r = sms_report({"--by", "cmdFile", "--json", "r.json", "--csv", "r.csv", "--html",
                                "r.html", "--geojson", "r.geojson", campaign},
                               dir);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sms_report: " + campaign +
                       "/campaign.csv: 1 line skipped (not campaign rows of 14 columns with "
                       "readable values), the first at line 8\n");
  EXPECT_NE(r.out.find("inputs: " + campaign + " (campaign, 6 runs); 1 line skipped; by cmdFile"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("failure causes:\n"
                       "       2  Cannot send SMS\n"
                       "       1  Message not received, timeout\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("positions: 0 runs with a readable latLong, 6 without"), std::string::npos);

  const Json j = Json::parse(read_file(dir + "/r.json"));
  EXPECT_EQ(j["inputs"][0]["kind"], "campaign");
  EXPECT_EQ(j["inputs"][0]["file"], campaign + "/campaign.csv");
  ASSERT_EQ(j["groups"].size(), 3u);
  EXPECT_EQ(j["groups"][0]["key"], "pair1.cmd");
  EXPECT_EQ(j["groups"][0]["failureCauses"],
            Json::parse(R"([{"text":"Message not received, timeout","count":1}])"));
  EXPECT_EQ(j["groups"][1]["key"], "pair2.cmd");
  EXPECT_EQ(j["groups"][1]["roundTrips"]["nonAccessibilityPercent"].get<double>(), 66.666667);
  EXPECT_EQ(j["groups"][2]["failureCauses"], Json::array());
  EXPECT_EQ(j["all"]["roundTrips"]["attempts"], 5);
  EXPECT_EQ(j["all"]["roundTrips"]["accessFailures"], 2);
  EXPECT_EQ(j["all"]["roundTrips"]["completionFailures"], 1);
  EXPECT_EQ(j["all"]["roundTrips"]["completionFailureRatioPercent"].get<double>(), 33.333333);
  EXPECT_EQ(j["all"]["roundTrips"]["deliveryTime"]["median"], 8);
  EXPECT_EQ(j["all"]["reflector"]["replies"], 1);
  EXPECT_EQ(j["all"]["failureCauses"], Json::parse(R"([{"text":"Cannot send SMS","count":2},
                            {"text":"Message not received, timeout","count":1}])"));

  EXPECT_NE(read_file(dir + "/r.csv").find("\ngroup,pair2.cmd,3,3,2,66.666667,"),
            std::string::npos);
  EXPECT_EQ(xmllint(dir + "/r.html"), "");
  EXPECT_NE(read_file(dir + "/r.html").find("Message not received, timeout"), std::string::npos);
  EXPECT_EQ(Json::parse(read_file(dir + "/r.geojson"))["features"], Json::array());
}

TEST(SmsReport, RefusesAGroupingAnInputCantServe) {
  const std::string dir = make_temp_dir("report");
  const std::string results =
      write_lines(dir, "results.csv", {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100"});
  const std::string campaign = write_campaign(make_temp_dir("campaign"));
  ProcessResult r = sms_report({"--by", "cmdFile", campaign, results});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_report: --by cmdFile needs campaign input: " + results +
                       " is a result file, which has no cmdFile column\n");
  r = sms_report({"--by", "latLong", results, campaign});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_report: --by latLong needs a latLong column: " + campaign +
                       "/campaign.csv has none\n");
  r = sms_report({"--by", "latLong", results});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(SmsReport, NeverWritesOverAnInput) {
  const std::string dir = make_temp_dir("report");
  const std::string results =
      write_lines(dir, "results.csv", {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100"});
  const std::string before = read_file(results);
  ProcessResult r = sms_report({"--csv", "results.csv", "results.csv"}, dir);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_report: --csv results.csv is an input; it is not overwritten\n");
  EXPECT_EQ(read_file(results), before);
}

TEST(SmsReport, AnOutputThatCantBeWrittenIsExitCode2) {
  const std::string dir = make_temp_dir("report");
  const std::string results =
      write_lines(dir, "results.csv", {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100"});
  ProcessResult r =
      sms_report({"--json", dir + "/ok.json", "--html", dir + "/no/such/page.html", results});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err,
            "sms_report: cannot write " + dir + "/no/such/page.html: No such file or directory\n");
  EXPECT_FALSE(file_exists(dir + "/ok.json"));  // what was begun is taken back
}

TEST(SmsReport, RefusesACampaignWithoutTheColumnsItNeeds) {
  const std::string dir = make_temp_dir("campaign");
  write_lines(dir, "campaign.csv", {"run,cmdFile,testName,mode", "1,a.cmd,T,round-trip"});
  ProcessResult r = sms_report({dir});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_report: " + dir + "/campaign.csv: campaign header has no column start\n");
  write_lines(dir, "campaign.csv", {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100"});
  r = sms_report({dir});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err,
            "sms_report: " + dir + "/campaign.csv: the first line is not a campaign header\n");
  // A campaign just begun has no line yet: an empty report.
  write_lines(dir, "campaign.csv", {});
  r = sms_report({dir});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("(campaign, 0 runs)"), std::string::npos);
}

TEST(SmsReport, ReadsResultFilesAndCampaignsTogether) {
  const std::string dir = make_temp_dir("report");
  const std::string results =
      write_lines(dir, "results.csv",
                  {
                      "SMS_TEST,1,T1,d,45.5N73.6W,0,1.0,2.0,-Infinity,3.0,100,100",
                      "SMS_TEST,1,T1,d,45.5N73.6W,0,1.0,2.0",
                  });
  const std::string campaign = write_campaign(make_temp_dir("campaign"));
  ProcessResult r = sms_report({"--json", dir + "/j.json", results, campaign + "/campaign.csv"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // One warning per input with skipped lines.
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  const Json j = Json::parse(read_file(dir + "/j.json"));
  EXPECT_EQ(j["skippedLines"], 2);
  EXPECT_EQ(j["all"]["runs"], 7);
  EXPECT_EQ(j["positions"]["withPosition"], 1);
  EXPECT_EQ(j["groups"][0]["key"], "R1");
  EXPECT_EQ(j["groups"][1]["runs"], 3);  // T1: one result line, two whole campaign rows
}

}  // namespace
}  // namespace smstest
