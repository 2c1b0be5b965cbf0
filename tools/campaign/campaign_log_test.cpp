#include "tools/campaign/campaign_log.h"

#include <gtest/gtest.h>

#include "testsupport/run_process.h"

namespace smstest {
namespace {

bool ends_with_text(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

CampaignLine sample_line() {
  CampaignLine l;
  l.run = 7;
  l.cmdFile = "pairs/rt34.cmd";
  l.testName = "T1";
  l.start = "2026-12-08T10:15:00Z";
  l.end = "2026-12-08T10:15:04Z";
  l.exitCode = "0";
  l.statusCode = "0";
  l.statusText = "SUCCESS";
  l.sendTime = "2.312000";
  l.deliveryTime = "7.950000";
  l.replyTime = "-Infinity";
  l.totalTime = "11.020000";
  l.accuracy = "100";
  l.mode = "round-trip";
  return l;
}

TEST(CampaignLog, FieldQuoting) {
  struct {
    const char* text;
    bool always;
    const char* field;
  } cases[] = {
      {"plain", false, "plain"},   {"", false, ""},
      {"", true, "\"\""},          {"SUCCESS", true, "\"SUCCESS\""},
      {"a,b", false, "\"a,b\""},   {"say \"hi\"", false, "\"say \"\"hi\"\"\""},
      {"\"", false, "\"\"\"\""},   {"two\nlines", false, "\"two\nlines\""},
      {"cr\r", false, "\"cr\r\""}, {" blank ", false, " blank "},
  };
  for (const auto& c : cases) EXPECT_EQ(csv_field(c.text, c.always), c.field) << c.text;
}

TEST(CampaignLog, LineFormat) {
  EXPECT_EQ(format_campaign_line(sample_line()),
            "7,pairs/rt34.cmd,T1,2026-12-08T10:15:00Z,2026-12-08T10:15:04Z,0,0,\"SUCCESS\","
            "2.312000,7.950000,-Infinity,11.020000,100,round-trip,,,,,,,,\n");
  CampaignLine missing = sample_line();
  missing.cmdFile = "a,b.cmd";
  missing.testName = "T \"x\"";
  missing.statusCode = "";
  missing.statusText = "no status file: SMS_TEST ended by signal 2 (SIGINT)";
  missing.sendTime = missing.deliveryTime = missing.replyTime = missing.totalTime =
      missing.accuracy = "";
  missing.mode = "reflector";
  EXPECT_EQ(format_campaign_line(missing),
            "7,\"a,b.cmd\",\"T \"\"x\"\"\",2026-12-08T10:15:00Z,2026-12-08T10:15:04Z,0,,"
            "\"no status file: SMS_TEST ended by signal 2 (SIGINT)\",,,,,,reflector,,,,,,,,\n");
}

TEST(CampaignLog, CsvRecords) {
  using Records = std::vector<std::vector<std::string>>;
  struct {
    const char* text;
    Records records;
  } cases[] = {
      {"", {}},
      {"a,b\n", {{"a", "b"}}},
      {"a,b", {{"a", "b"}}},
      {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
      {",,\n", {{"", "", ""}}},
      {"\"x,y\",\"he said \"\"no\"\"\"\n", {{"x,y", "he said \"no\""}}},
      {"\"two\nlines\",z\n", {{"two\nlines", "z"}}},
      {"\"\"\n", {{""}}},
      {"\n", {{""}}},
      {"a\rb\n", {{"a\rb"}}},
      {"\"never closed,x\n", {{"never closed,x\n"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_csv(c.text), c.records) << c.text;
}

TEST(CampaignLog, WrittenLinesReadBack) {
  CampaignLine a = sample_line();
  CampaignLine b = sample_line();
  b.run = 8;
  b.cmdFile = "odd, \"name\".cmd";
  b.statusText = "";
  b.exitCode = "130";
  std::string text =
      std::string(kCampaignHeader) + "\n" + format_campaign_line(a) + format_campaign_line(b);
  CampaignLog log;
  std::string error;
  ASSERT_TRUE(read_campaign_log(text, log, error)) << error;
  EXPECT_TRUE(log.exists);
  EXPECT_EQ(log.unreadable, 0);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(format_campaign_line(log.lines[0]), format_campaign_line(a));
  EXPECT_EQ(format_campaign_line(log.lines[1]), format_campaign_line(b));
  EXPECT_EQ(log.lines[1].cmdFile, "odd, \"name\".cmd");
}

// The later columns go out and come back by name, whatever layout a log
// was begun in: the first 14 columns, the status-report columns (16), the
// radio columns (18 with them), the part columns, all of them, or its own
// order of them; a log is appended to in
// its own layout, and a header with an unknown or repeated column is none.
TEST(CampaignLog, LayoutsReadAndAppendedByColumnName) {
  CampaignLine l;
  l.run = 3;
  l.cmdFile = "a.cmd";
  l.mode = "round-trip";
  l.statusText = "SUCCESS";
  l.confirmTime = "4.250000";
  l.reportStatus = "70";
  l.technology = "LTE";
  l.operatorId = "001-01";
  l.registeredAtSend = "true";
  l.signalDbm = "-95";
  l.partsSent = "3";
  l.partsReceived = "2";
  const std::string first = kFirstCampaignHeader;
  struct Case {
    const char* name;
    std::string header;
    const char* lineEnd;  // the end of l's line in this layout
    bool reports;         // confirmTime and reportStatus read back
    bool radio;           // technology to signalDbm read back
    bool parts;           // partsSent and partsReceived read back
  } cases[] = {
      {"the first 14 columns", first, ",round-trip\n", false, false, false},
      {"with the status-report columns", first + ",confirmTime,reportStatus",
       ",round-trip,4.250000,70\n", true, false, false},
      {"with the radio columns", first + ",technology,operator,registeredAtSend,signalDbm",
       ",round-trip,LTE,001-01,true,-95\n", false, true, false},
      {"the 20 columns before the part columns",
       first + ",confirmTime,reportStatus,technology,operator,registeredAtSend,signalDbm",
       ",round-trip,4.250000,70,LTE,001-01,true,-95\n", true, true, false},
      {"the current header", kCampaignHeader, ",round-trip,4.250000,70,LTE,001-01,true,-95,3,2\n",
       true, true, true},
      {"the later columns in another order",
       first + ",partsReceived,signalDbm,reportStatus,technology,operator,registeredAtSend,"
               "confirmTime,partsSent",
       ",round-trip,2,-95,70,LTE,001-01,true,4.250000,3\n", true, true, true},
  };
  const std::string dir = make_temp_dir("campaign_log");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CampaignLog log;
    std::string error;
    ASSERT_TRUE(read_campaign_log(c.header + "\n", log, error)) << error;
    EXPECT_TRUE(ends_with_text(format_campaign_line(l, log.columns), c.lineEnd));
    // Appended in the log's layout, and read back by name.
    const std::string path = dir + "/campaign.csv";
    ASSERT_TRUE(write_file(path, c.header + "\n"));
    CampaignLogWriter writer(path, log);
    ASSERT_TRUE(writer.append(l)) << writer.lastError;
    const std::string text = read_file(path);
    EXPECT_TRUE(ends_with_text(text, c.lineEnd)) << text;
    ASSERT_TRUE(read_campaign_log(text, log, error)) << error;
    EXPECT_EQ(log.unreadable, 0);
    ASSERT_EQ(log.lines.size(), 1u);
    const CampaignLine& back = log.lines[0];
    EXPECT_EQ(back.cmdFile, "a.cmd");
    EXPECT_EQ(back.statusText, "SUCCESS");
    EXPECT_EQ(back.confirmTime, c.reports ? "4.250000" : "");
    EXPECT_EQ(back.reportStatus, c.reports ? "70" : "");
    EXPECT_EQ(back.technology, c.radio ? "LTE" : "");
    EXPECT_EQ(back.operatorId, c.radio ? "001-01" : "");
    EXPECT_EQ(back.registeredAtSend, c.radio ? "true" : "");
    EXPECT_EQ(back.signalDbm, c.radio ? "-95" : "");
    EXPECT_EQ(back.partsSent, c.parts ? "3" : "");
    EXPECT_EQ(back.partsReceived, c.parts ? "2" : "");
    // A line of another layout is not one of this log's.
    const std::string other = c.header == first ? std::string(kCampaignHeader) : first;
    CampaignLog otherLog;
    ASSERT_TRUE(read_campaign_log(other + "\n", otherLog, error));
    ASSERT_TRUE(
        read_campaign_log(c.header + "\n" + format_campaign_line(l, otherLog.columns), log, error));
    EXPECT_EQ(log.unreadable, 1);
  }
  // A new log gets the current header and lines of all the columns.
  EXPECT_TRUE(
      ends_with_text(format_campaign_line(l), ",round-trip,4.250000,70,LTE,001-01,true,-95,3,2\n"));
  for (const std::string& header :
       {first + ",confirmTime,confirmTime", first + ",partsSent,partsSent", first + ",latLong",
        first.substr(0, first.size() - 5),
        std::string("cmdFile,run") + first.substr(first.find(",testName")), first + ",cmdFile"}) {
    CampaignLog log;
    std::string error;
    EXPECT_FALSE(read_campaign_log(header + "\n", log, error)) << header;
    EXPECT_EQ(error, "its first line is not the campaign header") << header;
  }
}

TEST(CampaignLog, ReadingCountsRunsPerFile) {
  // A log begun with the status-report columns and before the radio ones.
  const std::string header = std::string(kFirstCampaignHeader) + ",confirmTime,reportStatus\n";
  const std::string a1 = "1,a.cmd,A,s,e,0,0,\"SUCCESS\",1,2,-Infinity,3,100,round-trip,4.5,0\n";
  const std::string b2 = "2,b.cmd,B,s,e,2,2,\"Cannot send SMS\",,,,,,round-trip,,\n";
  const std::string a5 = "5,a.cmd,A,s,e,130,,\"no status file\",,,,,,round-trip,,\n";
  struct {
    const char* name;
    std::string text;
    bool ok;
    int aRuns, bRuns, highest, unreadable;
    bool endsInLineEnd;
  } cases[] = {
      {"empty file", "", true, 0, 0, 0, 0, true},
      {"header only", header, true, 0, 0, 0, 0, true},
      {"three runs", header + a1 + b2 + a5, true, 2, 1, 5, 0, true},
      {"Windows line ends",
       "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,"
       "sendTime,deliveryTime,replyTime,totalTime,accuracy,mode\r\n"
       "1,a.cmd,A,s,e,0,0,\"x\",,,,,,round-trip\r\n",
       true, 1, 0, 1, 0, true},
      {"a line cut off", header + a1 + b2.substr(0, 20), true, 1, 0, 1, 1, false},
      // Whole but for its line end: the writer ends it before the next line,
      // so it counts now as it will then (and as the report counts it).
      {"a whole line without its line end", header + a1 + b2.substr(0, b2.size() - 1), true, 1, 1,
       2, 0, false},
      {"a line cut inside its quote, then more lines",
       header + a1 + "3,b.cmd,B,s,e,2,2,\"On sending SMS Te\n" + b2 + a5, true, 2, 1, 5, 1, true},
      {"a line with a mode that is not one",
       header + a1 + "4,a.cmd,A,s,e,0,0,\"x\",,,,,,round-tri,,\n", true, 1, 0, 1, 1, true},
      // A log of the first layout: its lines have 14 columns.
      {"the first layout",
       "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,"
       "sendTime,deliveryTime,replyTime,totalTime,accuracy,mode\n"
       "1,a.cmd,A,s,e,0,0,\"x\",,,,,,round-trip\n" +
           a1,
       true, 1, 0, 1, 1, true},
      {"a byte-order mark before the header", "\xEF\xBB\xBF" + header + a1 + b2, true, 1, 1, 2, 0,
       true},
      {"short and bad lines skipped",
       header + "3,a.cmd\n" + "x,a.cmd,A,s,e,0,0,\"\",,,,,,m\n" +
           "0,a.cmd,A,s,e,0,0,\"\",,,,,,m\n" + b2,
       true, 0, 1, 2, 3, true},
      {"not a campaign log", "SMS_TEST,1,T1,42,x,0,1,2,3,4,100,100\n", false, 0, 0, 0, 0, true},
      {"header with a column missing", "run,cmdFile\n", false, 0, 0, 0, 0, true},
  };
  for (const auto& c : cases) {
    CampaignLog log;
    std::string error;
    ASSERT_EQ(read_campaign_log(c.text, log, error), c.ok) << c.name;
    if (!c.ok) {
      EXPECT_EQ(error, "its first line is not the campaign header") << c.name;
      continue;
    }
    EXPECT_EQ(log.exists, !c.text.empty()) << c.name;
    EXPECT_EQ(count_runs(log, "a.cmd"), c.aRuns) << c.name;
    EXPECT_EQ(count_runs(log, "b.cmd"), c.bRuns) << c.name;
    EXPECT_EQ(highest_run(log), c.highest) << c.name;
    EXPECT_EQ(log.unreadable, c.unreadable) << c.name;
    EXPECT_EQ(log.endsInLineEnd, c.endsInLineEnd) << c.name;
  }
}

TEST(CampaignLog, SplitsOneLineStrictly) {
  using Fields = std::vector<std::string>;
  struct {
    const char* line;
    bool ok;
    Fields fields;
  } cases[] = {
      {"a,b", true, {"a", "b"}},
      {"", true, {""}},
      {"a,", true, {"a", ""}},
      {"\"x,y\",\"he said \"\"no\"\"\"", true, {"x,y", "he said \"no\""}},
      {"1,\"never closed,x", false, {}},
      {"1,\"closed\"junk,x", false, {}},
  };
  for (const auto& c : cases) {
    Fields fields;
    EXPECT_EQ(split_csv_line(c.line, fields), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(fields, c.fields) << c.line;
    }
  }
}

// A campaign killed while it wrote a line inside the status text, resumed
// twice: before, the cut line's open quote took the lines after it along,
// and the second resume made 9 runs for --repeat 6.
TEST(CampaignLog, ResumingAfterACutLineCountsEveryRunOnce) {
  const std::string dir = make_temp_dir("campaign_log");
  const std::string path = dir + "/campaign.csv";
  auto run_line = [](int run) {
    CampaignLine l = sample_line();
    l.run = run;
    l.cmdFile = "a.cmd";
    l.statusCode = "2";
    l.statusText = "On sending SMS Text, Com port returned ERROR";
    return l;
  };
  ASSERT_TRUE(write_file(path, std::string(kCampaignHeader) + "\n" +
                                   format_campaign_line(run_line(1)) +
                                   format_campaign_line(run_line(2)).substr(0, 75)));
  for (int part = 0; part < 2; ++part) {
    CampaignLog log;
    std::string error;
    ASSERT_TRUE(read_campaign_log(read_file(path), log, error)) << error;
    EXPECT_EQ(log.unreadable, 1) << "part " << part;
    CampaignLogWriter writer(path, log);
    EXPECT_EQ(count_runs(log, "a.cmd"), 1 + 2 * part) << "part " << part;
    // Each part makes two runs.
    for (int k = 0; k < 2; ++k) ASSERT_TRUE(writer.append(run_line(3 + 2 * part + k)));
  }
  CampaignLog log;
  std::string error;
  ASSERT_TRUE(read_campaign_log(read_file(path), log, error));
  EXPECT_EQ(count_runs(log, "a.cmd"), 5);
  EXPECT_EQ(log.unreadable, 1);
  std::vector<int> runs;
  for (const CampaignLine& line : log.lines) runs.push_back(line.run);
  EXPECT_EQ(runs, (std::vector<int>{1, 3, 4, 5, 6}));
}

TEST(CampaignLog, WriterAddsTheHeaderOnceAndEndsACutLine) {
  const std::string dir = make_temp_dir("campaign_log");
  const std::string path = dir + "/campaign.csv";
  CampaignLine line = sample_line();

  CampaignLog log;
  std::string error;
  ASSERT_TRUE(read_campaign_log(read_file(path), log, error));
  CampaignLogWriter fresh(path, log);
  ASSERT_TRUE(fresh.append(line)) << fresh.lastError;
  line.run = 8;
  ASSERT_TRUE(fresh.append(line)) << fresh.lastError;
  const std::string two = std::string(kCampaignHeader) + "\n" +
                          format_campaign_line(sample_line()) + format_campaign_line(line);
  EXPECT_EQ(read_file(path), two);

  // A later part of the campaign appends without a second header.
  ASSERT_TRUE(read_campaign_log(read_file(path), log, error));
  CampaignLogWriter later(path, log);
  line.run = 9;
  ASSERT_TRUE(later.append(line));
  EXPECT_EQ(read_file(path), two + format_campaign_line(line));

  // A line cut off by a crash is ended before the next one.
  ASSERT_TRUE(write_file(path, two + "9,a.cmd,T1,20"));
  ASSERT_TRUE(read_campaign_log(read_file(path), log, error));
  CampaignLogWriter mended(path, log);
  ASSERT_TRUE(mended.append(line));
  EXPECT_EQ(read_file(path), two + "9,a.cmd,T1,20\n" + format_campaign_line(line));
  ASSERT_TRUE(read_campaign_log(read_file(path), log, error));
  EXPECT_EQ(log.lines.size(), 3u);
  EXPECT_EQ(log.unreadable, 1);

  CampaignLogWriter nowhere(dir + "/missing/campaign.csv", CampaignLog());
  EXPECT_FALSE(nowhere.append(line));
  EXPECT_EQ(nowhere.lastError, "cannot append to " + dir + "/missing/campaign.csv");
}

}  // namespace
}  // namespace smstest
