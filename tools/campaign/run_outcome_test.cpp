#include "tools/campaign/run_outcome.h"

#include <gtest/gtest.h>

#include <set>

#include "common/files.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

TEST(RunOutcome, IsoTimes) {
  struct {
    int64_t seconds;
    const char* iso;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z"},          {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},  {946684799, "1999-12-31T23:59:59Z"},
      {1709210096, "2024-02-29T12:34:56Z"}, {1796724900, "2026-12-08T10:15:00Z"},
      {4107628799, "2100-03-01T23:59:59Z"},  // 2100 is no leap year
  };
  for (const auto& c : cases) EXPECT_EQ(iso_utc(c.seconds), c.iso) << c.seconds;
}

TEST(RunOutcome, DataTimeIsDigitsAndUnique) {
  EXPECT_EQ(data_time(1796724900, 7), "20261208101500000007");
  EXPECT_EQ(data_time(1796724900, 1234567), "202612081015001234567");
  // Runs of one part differ by their number; a resumed part by its start
  // as well, and its numbers go on from the last.
  std::set<std::string> seen;
  for (int64_t start : {1796724900LL, 1796724901LL})
    for (int run = 1; run <= 50; ++run) {
      std::string tag = data_time(start, run + (start == 1796724900 ? 0 : 50));
      EXPECT_EQ(tag.find_first_not_of("0123456789"), std::string::npos) << tag;
      EXPECT_TRUE(seen.insert(tag).second) << tag;
    }
}

TEST(RunOutcome, OneLine) {
  struct {
    const char* text;
    const char* line;
  } cases[] = {
      {"SUCCESS", "SUCCESS"},
      {"Cannot send SMS\n", "Cannot send SMS"},
      {"Bad SMS message\n\n", "Bad SMS message"},
      {"error code: 5: Access is denied.\r\n", "error code: 5: Access is denied."},
      {"first\r\nsecond\n\nthird\n", "first second third"},
      {"\nleading", "leading"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(one_line(c.text), c.line) << c.text;
}

TEST(RunOutcome, StatusFiles) {
  struct {
    const char* content;
    bool ok;
    const char* code;
    const char* text;
  } cases[] = {
      {"0 SUCCESS\n", true, "0", "SUCCESS"},
      {"2 Accuracy not 100\n", true, "2", "Accuracy not 100"},
      {"2 Cannot send SMS\n\n", true, "2", "Cannot send SMS"},
      {"2 Interrupted by signal 2\n\n", true, "2", "Interrupted by signal 2"},
      {"2 Access denied\r\n\r\n", true, "2", "Access denied"},
      {"2 \n", true, "2", ""},
      {"-1 odd\n", true, "-1", "odd"},
      {"", false, "", ""},
      {"SUCCESS\n", false, "", ""},
      {" 0 SUCCESS\n", false, "", ""},
  };
  for (const auto& c : cases) {
    std::string code, text;
    ASSERT_EQ(parse_status(c.content, code, text), c.ok) << c.content;
    if (!c.ok) continue;
    EXPECT_EQ(code, c.code) << c.content;
    EXPECT_EQ(text, c.text) << c.content;
  }
}

TEST(RunOutcome, ResultLineByDataTime) {
  using Measures = std::vector<std::string>;
  const std::string mine = "SMS_TEST,1,T1,20261208101500000007,-,0,0.1,0.5,-Infinity,1.6,100,100";
  const std::string other = "SMS_TEST,1,T1,20261208101500000008,-,0,0.2,0.6,-Infinity,1.7,100,100";
  struct {
    const char* name;
    std::string results;
    bool found;
    Measures measures;
  } cases[] = {
      {"alone", mine + "\n", true, {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"among others",
       other + "\n" + mine + "\n" + other + "\n",
       true,
       {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"Windows line ends, no last line end",
       other + "\r\n" + mine + "\r",
       true,
       {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"commas in testName and latLong",
       "SMS_TEST,1,T,1,20261208101500000007,45,5N,2,1.0,-Infinity,-Infinity,-Infinity,-Infinity,"
       "0\n",
       true,
       {"1.0", "-Infinity", "-Infinity", "-Infinity", "-Infinity"}},
      {"the last of two",
       mine + "\n" + "SMS_TEST,1,T1,20261208101500000007,-,2,9,9,9,9,9,0\n",
       true,
       {"9", "9", "9", "9", "9"}},
      {"extra columns",
       "SMS_TEST,1,T1,20261208101500000007,-,0,0.1,0.5,-Infinity,1.6,100,100,7,9.5\n",
       true,
       {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"commas and extra columns",
       "SMS_TEST,1,T,1,20261208101500000007,-,0,0.1,0.5,-Infinity,1.6,100,100,7\r\n",
       true,
       {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"lines of another record type are passed over",
       "SMS_TEST,2,T1,20261208101500000007,-,0,0.3,0.3,0.3,0.3,100,100\n" + mine +
           "\nSMS_TEST,2,T1,20261208101500000007,-,0,9,9,9,9,9,100\n"
           "SMS_TEST,3,20261208101500000007\n",
       true,
       {"0.1", "0.5", "-Infinity", "1.6", "100"}},
      {"only another record type",
       "SMS_TEST,2,T1,20261208101500000007,-,0,9,9,9,9,9,100\n",
       false,
       {}},
      {"only another run", other + "\n", false, {}},
      {"the tag as a measure is not the dataTime",
       "SMS_TEST,1,T1,42,-,0,20261208101500000007,0.5,-Infinity,1.6,100,100\n",
       false,
       {}},
      {"a longer tag", "SMS_TEST,1,T1,202612081015000000070,-,0,1,2,3,4,5,100\n", false, {}},
      {"not a result line", "XMS_TEST,1,T1,20261208101500000007,-,0,1,2,3,4,5,100\n", false, {}},
      {"cut off", "SMS_TEST,1,T1,20261208101500000007,-,0,0.1,0.5\n", false, {}},
      {"empty", "", false, {}},
  };
  for (const auto& c : cases) {
    Measures measures;
    ASSERT_EQ(find_result_measures(c.results, "20261208101500000007", measures), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(measures, c.measures) << c.name;
    }
  }
}

TEST(RunOutcome, LastLine) {
  EXPECT_EQ(last_line("Sending SMS: OK.\nFrom COM port must be > 0\n\n  \n"),
            "From COM port must be > 0");
  EXPECT_EQ(last_line("one\r\ntwo\r\n"), "two");
  EXPECT_EQ(last_line(""), "");
}

TEST(RunOutcome, CampaignLines) {
  const std::string dataTime = "20261208101500000003";
  const std::string result =
      "SMS_TEST,1,T1," + dataTime + ",-,2,0.100000,-Infinity,-Infinity,-Infinity,-Infinity,0\n";
  RunFacts base;
  base.run = 3;
  base.cmdFile = "rt.cmd";
  base.testName = "T1";
  base.start = 1796724900;
  base.end = 1796724904;
  base.resultName = "results.csv";
  base.dataTime = dataTime;

  struct Case {
    const char* name;
    int exitCode, signal;
    bool statusFound;
    const char* status;
    std::string results;
    const char* output;
    bool reflector;
    // exitCode, statusCode, statusText, sendTime, deliveryTime, mode
    std::vector<std::string> expected;
  } cases[] = {
      {"a refused send",
       2,
       0,
       true,
       "2 On sending SMS Text, Com port returned ERROR\n",
       result,
       "",
       false,
       {"2", "2", "On sending SMS Text, Com port returned ERROR", "0.100000", "-Infinity",
        "round-trip"}},
      {"interrupted through the failure path",
       130,
       0,
       true,
       "2 Interrupted by signal 2\n",
       result,
       "",
       false,
       {"130", "2", "Interrupted by signal 2", "0.100000", "-Infinity", "round-trip"}},
      {"killed by SIGINT",
       130,
       2,
       false,
       "",
       "",
       "Sending SMS: OK.\n",
       false,
       {"130", "", "no status file and no result line: SMS_TEST ended by signal 2 (SIGINT)", "", "",
        "round-trip"}},
      {"killed by SIGTERM, the result line written",
       143,
       15,
       false,
       "",
       result,
       "",
       true,
       {"143", "", "no status file: SMS_TEST ended by signal 15 (SIGTERM)", "0.100000", "-Infinity",
        "reflector"}},
      {"a start-up failure",
       2,
       0,
       false,
       "",
       "",
       "From COM port must be > 0\n",
       false,
       {"2", "",
        "no status file and no result line: SMS_TEST exited with 2: From COM port must "
        "be > 0",
        "", "", "round-trip"}},
      {"exit without a word",
       1,
       0,
       false,
       "",
       "",
       "",
       false,
       {"1", "", "no status file and no result line: SMS_TEST exited with 1", "", "",
        "round-trip"}},
      {"status without its result line",
       0,
       0,
       true,
       "0 SUCCESS\n",
       "",
       "",
       false,
       {"0", "0", "SUCCESS (no result line in results.csv)", "", "", "round-trip"}},
      {"an empty status file",
       2,
       0,
       true,
       "",
       result,
       "",
       false,
       {"2", "", "unreadable status file: SMS_TEST exited with 2", "0.100000", "-Infinity",
        "round-trip"}},
  };
  for (const Case& c : cases) {
    RunFacts facts = base;
    facts.exitCode = c.exitCode;
    facts.signal = c.signal;
    facts.statusFound = c.statusFound;
    facts.status = c.status;
    facts.results = c.results;
    facts.output = c.output;
    facts.reflector = c.reflector;
    CampaignLine line = describe_run(facts);
    EXPECT_EQ(line.run, 3) << c.name;
    EXPECT_EQ(line.cmdFile, "rt.cmd") << c.name;
    EXPECT_EQ(line.testName, "T1") << c.name;
    EXPECT_EQ(line.start, "2026-12-08T10:15:00Z") << c.name;
    EXPECT_EQ(line.end, "2026-12-08T10:15:04Z") << c.name;
    EXPECT_EQ((std::vector<std::string>{line.exitCode, line.statusCode, line.statusText,
                                        line.sendTime, line.deliveryTime, line.mode}),
              c.expected)
        << c.name;
    const bool measured = !c.expected[3].empty();
    EXPECT_EQ(line.replyTime, measured ? "-Infinity" : "") << c.name;
    EXPECT_EQ(line.totalTime, measured ? "-Infinity" : "") << c.name;
    EXPECT_EQ(line.accuracy, measured ? "-Infinity" : "") << c.name;
  }
}

// A run the watchdog stopped, and one of a killed campaign process whose
// exit was never seen.
TEST(RunOutcome, WatchdogAndUnseenExitsAreSaid) {
  const std::string dataTime = "20261208101500000003";
  const std::string result =
      "SMS_TEST,1,T1," + dataTime + ",-,2,0.100000,-Infinity,-Infinity,-Infinity,-Infinity,0\n";
  RunFacts facts;
  facts.run = 3;
  facts.cmdFile = "rt.cmd";
  facts.resultName = "results.csv";
  facts.dataTime = dataTime;
  facts.exitCode = 137;
  facts.signal = 9;
  facts.killedAfter = 62;
  CampaignLine line = describe_run(facts);
  EXPECT_EQ(line.exitCode, "137");
  EXPECT_EQ(line.statusText, "no status file and no result line: SMS_TEST killed after 62 s");
  facts.statusFound = true;
  facts.status = "2 Interrupted by signal 15\n";
  facts.results = result;
  line = describe_run(facts);
  EXPECT_EQ(line.statusText, "Interrupted by signal 15 (killed after 62 s)");
  EXPECT_EQ(line.sendTime, "0.100000");

  RunFacts unseen;
  unseen.run = 3;
  unseen.exitKnown = false;
  unseen.results = result;
  unseen.dataTime = find_data_time_of_run(result, 3);
  EXPECT_EQ(unseen.dataTime, dataTime);
  line = describe_run(unseen);
  EXPECT_EQ(line.exitCode, "");
  EXPECT_EQ(line.statusText,
            "no status file: SMS_TEST's exit code unknown (its campaign was gone before it ended)");
  EXPECT_EQ(line.sendTime, "0.100000");
  // Without a dataTime no result line is taken, whatever the file holds.
  unseen.dataTime = "";
  EXPECT_EQ(describe_run(unseen).sendTime, "");
}

TEST(RunOutcome, DataTimeOfARunIsFoundByItsNumber) {
  const std::string results =
      "SMS_TEST,1,T1,20261208101500000003,-,0,1,2,-Infinity,3,100,100\n"
      "SMS_TEST,1,T1,20261208101500000013,-,0,1,2,-Infinity,3,100,100\n"
      "SMS_TEST,1,T,x,20261208101500000004,-,0,1,2,-Infinity,3,100,100\n"
      "junk 20261208101500000005\n";
  EXPECT_EQ(find_data_time_of_run(results, 3), "20261208101500000003");
  EXPECT_EQ(find_data_time_of_run(results, 13), "20261208101500000013");
  EXPECT_EQ(find_data_time_of_run(results, 4), "20261208101500000004");  // a comma in testName
  EXPECT_EQ(find_data_time_of_run(results, 5), "");
  EXPECT_EQ(find_data_time_of_run(results, 1), "");
}

// SMS_TEST's output is read from its end: a run that wrote 8 MB costs the
// campaign no more than the tail it reads.
TEST(RunOutcome, FilesAreReadFromTheirTail) {
  const std::string path = make_temp_dir("run_outcome") + "/big.txt";
  std::string big(8 * 1024 * 1024, 'x');
  big += "\nlast words\n";
  ASSERT_TRUE(write_file(path, big));
  std::string text;
  ASSERT_TRUE(read_file_tail(path, 0, 4096, text));
  EXPECT_EQ(text.size(), 4096u);
  EXPECT_EQ(last_line(text), "last words");
  ASSERT_TRUE(read_file_tail(path, big.size() - 11, 4096, text));
  EXPECT_EQ(text, "last words\n");
  // An offset past the end (the file was cut since): from its start.
  ASSERT_TRUE(write_file(path, "short\n"));
  ASSERT_TRUE(read_file_tail(path, 100, 4096, text));
  EXPECT_EQ(text, "short\n");
  EXPECT_FALSE(read_file_tail(path + ".missing", 0, 4096, text));
}

}  // namespace
}  // namespace smstest
