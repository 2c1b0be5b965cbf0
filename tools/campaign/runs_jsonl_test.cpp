// runs.jsonl objects and the measures campaign.csv takes from a run record.
#include "tools/campaign/runs_jsonl.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace smstest {
namespace {

using Json = nlohmann::json;

TEST(RunsJsonl, MeasuresFromTheRecordAsTheResultLineWritesThem) {
  std::vector<std::string> measures;
  ASSERT_TRUE(
      record_measures("not json\n{\"sendTime\":2.312,\"deliveryTime\":7.95,\"replyTime\":null,"
                      "\"totalTime\":11.02,\"accuracy\":96}\n\n",
                      measures));
  EXPECT_EQ(measures,
            (std::vector<std::string>{"2.312000", "7.950000", "-Infinity", "11.020000", "96"}));
  EXPECT_FALSE(record_measures("", measures));
  EXPECT_FALSE(record_measures("{\"sendTime\":", measures));  // cut off
}

TEST(RunsJsonl, ReportColumnsFromTheRecord) {
  struct Case {
    const char* record;
    const char* confirmTime;
    const char* reportStatus;
  } cases[] = {
      {"{\"reportRequested\":true,\"confirmTime\":4.25,\"reportStatus\":70}\n", "4.250000", "70"},
      {"{\"reportRequested\":true,\"confirmTime\":null,\"reportStatus\":null}\n", "-Infinity", ""},
      {"{\"sendTime\":1.5}\n", "", ""},  // no report asked for
      {"not json", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    std::string confirmTime = "x";
    std::string reportStatus = "x";
    record_report(c.record, confirmTime, reportStatus);
    EXPECT_EQ(confirmTime, c.confirmTime);
    EXPECT_EQ(reportStatus, c.reportStatus);
  }
}

TEST(RunsJsonl, RadioColumnsFromTheSendingModemsSnapshotBeforeTheSend) {
  const std::string lte =
      "{\"registeredAtSend\":true,\"modems\":["
      "{\"port\":4,\"roles\":[\"to\"],\"radio\":[{\"at\":\"open\",\"technology\":\"GSM\"}]},"
      "{\"port\":3,\"roles\":[\"from\"],\"radio\":["
      "{\"at\":\"open\",\"technology\":\"UMTS\",\"operator\":\"001-01\",\"rssiDbm\":-70},"
      "{\"at\":\"send\",\"technology\":\"LTE\",\"operator\":\"262-02\",\"rssiDbm\":-65,"
      "\"rsrpDbm\":-95.0}]}]}";
  const std::string gsm =
      "{\"registeredAtSend\":false,\"modems\":[{\"port\":3,\"roles\":[\"from\",\"to\"],"
      "\"radio\":[{\"at\":\"send\",\"technology\":\"GSM\",\"operator\":null,"
      "\"rssiDbm\":-71,\"rsrpDbm\":null}]}]}";
  struct Row {
    std::string record;
    const char* technology;
    const char* operatorId;
    const char* registered;
    const char* signal;
  } rows[] = {
      {lte, "LTE", "262-02", "true", "-95"},
      {gsm, "GSM", "", "false", "-71"},
      {"{\"modems\":null,\"registeredAtSend\":null}", "", "", "", ""},
      {"{\"sendTime\":1}", "", "", "", ""},
      {"not json", "", "", "", ""},
      {"{\"modems\":[{\"roles\":\"from\",\"radio\":7}]}", "", "", "", ""},
  };
  for (const Row& row : rows) {
    CampaignLine line;
    record_radio(row.record, line);
    EXPECT_EQ(row.technology, line.technology) << row.record;
    EXPECT_EQ(row.operatorId, line.operatorId) << row.record;
    EXPECT_EQ(row.registered, line.registeredAtSend) << row.record;
    EXPECT_EQ(row.signal, line.signalDbm) << row.record;
  }
}

// partsSent and partsReceived of concatenated and single sends; empty where
// the record has no whole count.
TEST(RunsJsonl, PartColumnsFromTheRecord) {
  struct Case {
    const char* record;
    const char* partsSent;
    const char* partsReceived;
  } cases[] = {
      {"{\"partsSent\":3,\"partsExpected\":3,\"partsReceived\":3}\n", "3", "3"},
      {"{\"partsSent\":3,\"partsExpected\":3,\"partsReceived\":2}\n", "3", "2"},
      // A single message: one part sent, the receiver's counts null.
      {"{\"partsSent\":1,\"partsExpected\":null,\"partsReceived\":null}\n", "1", ""},
      // The first send failed.
      {"{\"partsSent\":0}\n", "0", ""},
      // A record made before the part fields.
      {"{\"sendTime\":1.5}\n", "", ""},
      {"{\"partsSent\":2.5,\"partsReceived\":-1}\n", "", ""},
      {"{\"partsSent\":\"3\",\"partsReceived\":true}\n", "", ""},
      // The last record line counts.
      {"{\"partsSent\":9}\n{\"partsSent\":4,\"partsReceived\":4}\n", "4", "4"},
      {"not json", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    CampaignLine line;
    line.partsSent = line.partsReceived = "x";
    record_parts(c.record, line);
    EXPECT_EQ(line.partsSent, c.partsSent);
    EXPECT_EQ(line.partsReceived, c.partsReceived);
  }
}

TEST(RunsJsonl, RadioColumnsReadBackAndOldLogsStillRead) {
  CampaignLine a;
  a.run = 1;
  a.mode = "round-trip";
  a.technology = "LTE";
  a.operatorId = "262-02";
  a.registeredAtSend = "false";
  a.signalDbm = "-95";
  CampaignLog log;
  std::string error;
  ASSERT_TRUE(
      read_campaign_log(std::string(kCampaignHeader) + "\n" + format_campaign_line(a), log, error))
      << error;
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(format_campaign_line(a), format_campaign_line(log.lines[0]));
  EXPECT_EQ("262-02", log.lines[0].operatorId);
  CampaignLog old;
  ASSERT_TRUE(read_campaign_log(
      std::string(kFirstCampaignHeader) + "\n1,a.cmd,A,s,e,0,0,\"x\",,,,,,round-trip\n", old,
      error))
      << error;
  ASSERT_EQ(1u, old.lines.size());
  EXPECT_EQ("", old.lines[0].technology);
}

TEST(RunsJsonl, CampaignFieldsOverTheRecord) {
  RunFacts facts;
  facts.exitCode = 130;
  facts.recordFound = true;
  facts.record =
      "{\"testName\":\"T\",\"mode\":\"round-trip\",\"exitCode\":130,\"signal\":2,"
      "\"statusCode\":2,\"statusText\":\"Interrupted by signal 2\",\"failurePhase\":\"receive\"}\n";
  CampaignLine line;
  line.run = 7;
  line.cmdFile = "a\xE9.cmd";
  line.start = "2026-12-08T10:15:00Z";
  line.end = "2026-12-08T10:15:09Z";
  line.statusCode = "2";
  line.statusText = "Interrupted by signal 2";
  const std::string text = runs_jsonl_line(facts, line);
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  Json o = Json::parse(text);
  EXPECT_EQ(o["run"], 7);
  EXPECT_EQ(o["cmdFile"], "a\xC3\xA9.cmd");  // read as ISO-8859-1
  EXPECT_EQ(o["signal"], 2);                 // the record's, SMS_TEST exited
  EXPECT_EQ(o["statusCode"], 2);
  EXPECT_EQ(o["failurePhase"], "receive");
  EXPECT_FALSE(o.contains("recordMissing"));

  // Killed before it wrote a record: the campaign's view only.
  facts.recordFound = false;
  facts.signal = 9;
  facts.exitCode = 137;
  line.testName = "T";
  line.mode = "reflector";
  line.statusCode = "";
  line.statusText = "no status file and no result line: SMS_TEST ended by signal 9";
  line.sendTime = "";
  line.replyTime = "-Infinity";
  line.accuracy = "100";
  o = Json::parse(runs_jsonl_line(facts, line));
  EXPECT_EQ(o["recordMissing"],
            "no run record: SMS_TEST ended before its run began, or was killed");
  EXPECT_EQ(o["signal"], 9);
  EXPECT_EQ(o["statusCode"], nullptr);
  EXPECT_EQ(o["mode"], "reflector");
  EXPECT_EQ(o["sendTime"], nullptr);
  EXPECT_EQ(o["replyTime"], nullptr);
  EXPECT_EQ(o["accuracy"], 100.0);
}

}  // namespace
}  // namespace smstest
