// The command files' settings in the head of the report: read from the
// copies sms_campaign keeps in OUT/status, or from the run records.
#include "tools/report/run_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "testsupport/run_process.h"
#include "tools/report/report_test_support.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

TEST(RunSettings, ReadsCommandFilesAsSmsTestWritesThem) {
  const std::string dir = make_temp_dir("run_settings");
  struct Case {
    const char* what;
    std::string content;
    bool ok;
    const char* text;  // settings_text, or the error's end
  } cases[] = {
      {"options, masked numbers",
       "SMS_TEST\nr.csv\nT1|10|3|5550104|hello|0|0|115200|4|9600|0\nrecord=runs.jsonl\n"
       "not an option line\nreport=1\nnote=+4915112345678\n",
       true,
       "round trip, command set proprietary, COM3 (115200 baud) to COM4 (9600 baud), to ***0104, "
       "time limit 10 s; options: record=runs.jsonl report=1 note=+*********5678"},
      {"byte-order mark, CR LF, command set field",
       "\xEF\xBB\xBFSMS_TEST\r\nr.csv\r\nT2|60|5|+15551234567|x|0|0|115200|5|115200|0|pdu\r\n",
       true, "round trip, command set pdu, COM5 (115200 baud), to +*******4567, time limit 60 s"},
      {"command set as an option, reflector",
       "SMS_TEST\nr.csv\nR|30|7|123|x|0|0|57600|0|0|1\ncommandSet=text\n", true,
       "reflector, command set text, COM7 (57600 baud), time limit 30 s; options: commandSet=text"},
      {"wrong line 1", "SMS-TEST\nr.csv\nT|1|3|1|x|0|0|1|4|1|0\n", false,
       ": line 1 is not SMS_TEST"},
      {"no parameter line", "SMS_TEST\nr.csv\n", false, ": no parameter line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir + "/c.cmd";
    ASSERT_TRUE(write_file(path, c.content));
    CommandSettings s;
    std::string error;
    ASSERT_EQ(read_command_settings(path, &s, &error), c.ok) << error;
    if (c.ok) {
      EXPECT_EQ(settings_text(s), c.text);
      EXPECT_EQ(s.source, path);
    } else {
      EXPECT_EQ(error, path + c.text);
    }
  }
  CommandSettings s;
  std::string error;
  EXPECT_FALSE(read_command_settings(dir + "/none.cmd", &s, &error));
  EXPECT_EQ(error.rfind("cannot read " + dir + "/none.cmd: ", 0), 0u) << error;
}

TEST(RunSettings, FindsTheCopyOfARunBesideItsInput) {
  EXPECT_EQ(command_file_copy("OUT/campaign.csv", "pairs/rt34.cmd", "7"),
            (std::filesystem::path("OUT") / "status" / "rt34.000007.cmd").string());
  EXPECT_EQ(command_file_copy("runs.jsonl", "a.b.cmd", "123456"),
            (std::filesystem::path("status") / "a.b.123456.cmd").string());
  EXPECT_EQ(command_file_copy("OUT/campaign.csv", "a.cmd", ""), "");
  EXPECT_EQ(command_file_copy("OUT/campaign.csv", "a.cmd", "x1"), "");
  EXPECT_EQ(command_file_copy("OUT/campaign.csv", "a.cmd", "0"), "");
}

TEST(RunSettings, CampaignPageHeadShowsEachCommandFilesSettings) {
  const std::string out = make_temp_dir("run_settings_campaign");
  std::filesystem::create_directories(out + "/status");
  const char* row =
      ",T,2026-12-08T10:15:00Z,2026-12-08T10:15:09Z,0,0,\"SUCCESS\",1,5,-Infinity,"
      "6,100,round-trip";
  write_lines(out, "campaign.csv",
              {kCampaignHeader, std::string("1,rt34.cmd") + row, std::string("2,rt34.cmd") + row,
               std::string("3,b_4915112345678.cmd") + row});
  // Run 1's copy is the one read; run 2's differs and is not looked at.
  ASSERT_TRUE(write_file(out + "/status/rt34.000001.cmd",
                         "SMS_TEST\nr.csv\nRT34|10|3|5550104|hello|0|0|115200|4|115200|0|text\n"
                         "record=r.jsonl\n"));
  ASSERT_TRUE(write_file(out + "/status/rt34.000002.cmd",
                         "SMS_TEST\nr.csv\nRT34|10|8|5550104|hello|0|0|115200|9|115200|0\n"));
  ReportOptions o;
  o.inputs = {out};
  o.htmlPath = out + "/page.html";
  o.jsonPath = out + "/page.json";
  const ReportRun r = report_in_process(o);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const Json settings = Json::parse(read_file(o.jsonPath))["setup"]["commandSettings"];
  ASSERT_EQ(settings.size(), 1u);  // b_...cmd has no copy
  EXPECT_EQ(settings[0]["cmdFile"], "rt34.cmd");
  EXPECT_EQ(settings[0]["run"], "1");
  EXPECT_EQ(settings[0]["commandSet"], "text");
  EXPECT_EQ(settings[0]["fromPort"], 3);
  EXPECT_EQ(settings[0]["toPort"], 4);
  EXPECT_EQ(settings[0]["toNumber"], "***0104");
  EXPECT_EQ(settings[0]["options"], Json::parse(R"([{"name":"record","value":"r.jsonl"}])"));

  const std::string page = read_file(o.htmlPath);
  // In byte order, one a line; a file without a copy keeps its run count.
  EXPECT_NE(page.find("b_*********5678.cmd (1 run)<br/>rt34.cmd (2 runs): round trip, command set "
                      "text, COM3 (115200 baud) to "
                      "COM4 (115200 baud), to ***0104, time limit 10 s; options: record=r.jsonl"),
            std::string::npos);
  for (const char* secret : {"5550104", "4915112345678"}) {
    EXPECT_EQ(page.find(secret), std::string::npos) << secret;
    EXPECT_EQ(read_file(o.jsonPath).find(secret), std::string::npos) << secret;
  }
  if (xmllint_path().empty()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  EXPECT_EQ(xmllint(o.htmlPath), "");
}

TEST(RunSettings, RecordsWithoutACampaignGiveTheirOwnSettings) {
  const std::string dir = make_temp_dir("run_settings_records");
  ReportOptions o;
  o.inputs = {write_lines(
      dir, "runs.jsonl",
      {R"({"mode":"round-trip","testName":"T9","commandSet":"pdu","fromPort":5,"fromBaud":115200,)"
       R"("toPort":6,"toBaud":115200,"toNumber":"+15551234567","sendTime":1,"deliveryTime":2,)"
       R"("accuracy":100})"})};
  o.htmlPath = dir + "/page.html";
  const ReportRun r = report_in_process(o);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string page = read_file(o.htmlPath);
  EXPECT_NE(page.find("test T9: round trip, command set pdu, COM5 (115200 baud) to COM6 (115200 "
                      "baud), to +*******4567 <span class=\"ci\">from the run record</span>"),
            std::string::npos)
      << page;
}

}  // namespace
}  // namespace smstest
