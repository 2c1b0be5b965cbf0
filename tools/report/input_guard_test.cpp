// Inputs and outputs a careless or hostile user may give sms_report:
// devices and FIFOs as inputs, two outputs on one file, measures out of
// range, a campaign.csv that starts with a byte-order mark or holds a line
// cut inside its quoted status text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "testsupport/run_process.h"
#include "tools/report/input.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

const char kGood[] = "SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,100,100";

ProcessResult sms_report(const std::vector<std::string>& args, const std::string& cwd = ".") {
  std::vector<std::string> argv = {SMS_REPORT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, cwd, {}, 20);
}

TEST(ReportInputGuard, RefusesInputsThatAreNotRegularFiles) {
  const std::string dir = make_temp_dir("report");
  const std::string fifo = dir + "/fifo.csv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A campaign folder whose campaign.csv is a FIFO.
  const std::string campaign = make_temp_dir("campaign");
  ASSERT_EQ(mkfifo((campaign + "/campaign.csv").c_str(), 0600), 0);
  const std::string good = write_lines(dir, "good.csv", {kGood});
  struct Case {
    std::string input;
    std::string file;
  } cases[] = {{"/dev/zero", "/dev/zero"}, {fifo, fifo}, {campaign, campaign + "/campaign.csv"}};
  for (const Case& c : cases) {
    ProcessResult r = sms_report({"--json", dir + "/out.json", good, c.input});
    EXPECT_FALSE(r.timedOut) << c.input;
    EXPECT_EQ(r.exitCode, 2) << c.input;
    EXPECT_EQ(r.err, "sms_report: " + c.file + ": not a regular file\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(file_exists(dir + "/out.json"));
  }
}

TEST(ReportInputGuard, RefusesTwoOutputsOnOneFile) {
  const std::string dir = make_temp_dir("report");
  const std::string good = write_lines(dir, "good.csv", {kGood});
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--json", "x", "--csv", "x"}, "--json x and --csv x"},
      {{"--csv", "out/../x.txt", "--html", "./x.txt"}, "--csv out/../x.txt and --html ./x.txt"},
      {{"--json", "a", "--html", "b", "--geojson", dir + "/b"},
       "--html b and --geojson " + dir + "/b"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(good);
    ProcessResult r = sms_report(args, dir);
    EXPECT_EQ(r.exitCode, 2) << c.err;
    EXPECT_EQ(r.err,
              "sms_report: " + c.err + " name one file; give each output a file of its own\n");
    EXPECT_EQ(r.out, "");
  }
  for (const char* name : {"x", "x.txt", "a", "b"}) EXPECT_FALSE(file_exists(dir + "/" + name));
}

// A measure that is negative, not finite or absurdly large makes its line
// unreadable; the warning names the column.  Before, 1e308 overflowed the
// sums and the JSON distributions came out null with n > 0.
TEST(ReportInputGuard, MeasuresOutOfRangeAreUnreadableLinesNamingTheColumn) {
  struct Case {
    std::string line;
    std::string named;
  } cases[] = {
      {"SMS_TEST,1,T1,d,-,0,1.0,-0.8,-Infinity,3.0,100,100", "deliveryTime negative"},
      {"SMS_TEST,1,T1,d,-,0,1e308,2.0,-Infinity,3.0,100,100", "sendTime not finite or above 1e9"},
      {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,1e999,100,100", "totalTime not finite or above 1e9"},
      {"SMS_TEST,1,T1,d,-,0,1.0,2.0,inf,3.0,100,100", "replyTime not finite or above 1e9"},
      {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,nan,100", "accuracy not finite or above 1e9"},
      {"SMS_TEST,1,T1,d,-,0,1.0,2.0,-Infinity,3.0,-5,100", "accuracy negative"},
  };
  for (const Case& c : cases) {
    const std::string dir = make_temp_dir("report");
    const std::string input = write_lines(dir, "r.csv", {kGood, c.line, kGood, c.line});
    ReportOptions o;
    o.inputs = {input};
    o.jsonPath = dir + "/r.json";
    ReportRun r = report_in_process(o);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "sms_report: " + input +
                         ": 2 lines skipped (not readable result lines), the first at line "
                         "2; 2 with a measure out of range, the first at line 2 (" +
                         c.named + ")\n");
    const Json j = Json::parse(read_file(o.jsonPath));
    EXPECT_EQ(j["all"]["runs"], 2) << c.line;
    EXPECT_EQ(j["all"]["roundTrips"]["deliveryTime"]["n"], 2) << c.line;
    EXPECT_EQ(j["all"]["roundTrips"]["deliveryTime"]["mean"], 2) << c.line;
  }
  // The same in a campaign row, where an empty cell is a measure not taken.
  const std::string dir = make_temp_dir("campaign");
  write_lines(dir, "campaign.csv",
              {kCampaignHeader,
               "1,a.cmd,T,2026-12-08T10:15:00Z,2026-12-08T10:15:11Z,0,0,\"SUCCESS\",2.0,7.0,,"
               "11.0,100,round-trip",
               "2,a.cmd,T,2026-12-08T10:15:00Z,2026-12-08T10:15:11Z,0,0,\"SUCCESS\",2.0,-7.0,,"
               "11.0,100,round-trip"});
  ReportOptions o;
  o.inputs = {dir};
  ReportRun r = report_in_process(o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sms_report: " + dir +
                       "/campaign.csv: 1 line skipped (not campaign rows of 14 columns with "
                       "readable values), the first at line 3; 1 with a measure out of range, "
                       "the first at line 3 (deliveryTime negative)\n");
}

// Campaign rows for the tests below: run 2's line was cut inside its
// status text by a kill, and the campaign resumed after it on a new line.
const std::vector<std::string> kCutCampaign = {
    "1,a.cmd,T,2026-12-08T10:15:00Z,2026-12-08T10:15:11Z,0,0,\"SUCCESS\",2.0,7.0,-Infinity,"
    "11.0,100,round-trip",
    "2,a.cmd,T,2026-12-08T10:15:12Z,2026-12-08T10:15:20Z,2,2,\"On sending SMS Text, Com po",
    "3,a.cmd,T,2026-12-08T10:16:00Z,2026-12-08T10:16:11Z,0,0,\"SUCCESS\",2.0,7.0,-Infinity,"
    "11.0,100,round-trip",
    "4,a.cmd,T,2026-12-08T10:16:12Z,2026-12-08T10:16:20Z,0,0,\"SUCCESS \"\"quoted\"\"\",2.0,7.0,"
    "-Infinity,11.0,100,round-trip",
};

TEST(ReportInputGuard, ACutLineIsOneUnreadableLine) {
  const std::string dir = make_temp_dir("campaign");
  std::vector<std::string> lines = {kCampaignHeader};
  lines.insert(lines.end(), kCutCampaign.begin(), kCutCampaign.end());
  write_lines(dir, "campaign.csv", lines);
  InputReader input;
  ASSERT_TRUE(input.open(dir)) << input.lastError;
  std::vector<std::string> runs;
  ASSERT_TRUE(input.read([&](const RunRecord& run) { runs.push_back(run.run); }));
  EXPECT_EQ(runs, (std::vector<std::string>{"1", "3", "4"}));
  EXPECT_EQ(input.skipped(), 1);
  EXPECT_EQ(input.first_skipped_line(), 3);
}

TEST(ReportInputGuard, AByteOrderMarkBeforeTheFirstLineIsPassedOver) {
  const std::string dir = make_temp_dir("campaign");
  std::vector<std::string> lines = {std::string("\xEF\xBB\xBF") + kCampaignHeader};
  lines.insert(lines.end(), kCutCampaign.begin(), kCutCampaign.end());
  write_lines(dir, "campaign.csv", lines);
  InputReader campaign;
  ASSERT_TRUE(campaign.open(dir)) << campaign.lastError;
  EXPECT_EQ(campaign.kind(), InputKind::kCampaign);
  ASSERT_TRUE(campaign.read([](const RunRecord&) {}));
  EXPECT_EQ(campaign.runs(), 3);

  const std::string results =
      write_lines(dir, "r.csv", {std::string("\xEF\xBB\xBF") + kGood, kGood});
  InputReader result;
  ASSERT_TRUE(result.open(results)) << result.lastError;
  EXPECT_EQ(result.kind(), InputKind::kResults);
  ASSERT_TRUE(result.read([](const RunRecord&) {}));
  EXPECT_EQ(result.runs(), 2);
  EXPECT_EQ(result.skipped(), 0);
}

}  // namespace
}  // namespace smstest
