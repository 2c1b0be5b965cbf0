#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "testsupport/run_process.h"
#include "tools/campaign/campaign.h"

namespace smstest {
namespace {

TEST(CampaignSetup, PortsOfARun) {
  struct {
    int fromPort, toPort, reflectMode;
    std::vector<int> ports;
  } cases[] = {
      {3, 4, 0, {3, 4}}, {4, 3, 0, {3, 4}}, {3, 0, 0, {3}},      {3, 3, 0, {3}},
      {5, 6, 1, {5}},    {5, 0, 7, {5}},    {12, 2, 0, {2, 12}},
  };
  for (const auto& c : cases) {
    SmsTestParams p;
    p.fromPort = c.fromPort;
    p.toPort = c.toPort;
    p.reflectMode = c.reflectMode;
    EXPECT_EQ(ports_of(p), c.ports) << c.fromPort << "->" << c.toPort << " " << c.reflectMode;
  }
}

TEST(CampaignSetup, RunNumbersOfStatusNames) {
  struct {
    const char* name;
    int run;
  } cases[] = {
      {"rt34.000007.txt", 7},
      {"rt34.000007.stderr.txt", 7},
      {"my.test.001234.txt", 1234},
      {"rt34.1000000.txt", 1000000},
      {"rt34.txt", 0},
      {"rt34.00000x.txt", 0},
      {"rt34..txt", 0},
      {"rt34.000007.log", 0},
      {".txt", 0},
      {"000007.txt", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(run_number_of_status_name(c.name), c.run) << c.name;
}

class CampaignFiles : public ::testing::Test {
 protected:
  std::string write_cmd(const std::string& name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    EXPECT_TRUE(write_file(path, content));
    return path;
  }
  std::string dir_ = make_temp_dir("campaign_setup");
};

TEST_F(CampaignFiles, CommandFiles) {
  CampaignFile file;
  std::string error;
  std::string rt = write_cmd("rt34.cmd", "SMS_TEST\nres.csv\nT1|30|4|555|hi|0|0|9600|3|9600|0\n");
  ASSERT_TRUE(load_campaign_file(rt, file, error)) << error;
  EXPECT_EQ(file.name, rt);
  EXPECT_EQ(file.path, rt);
  EXPECT_EQ(file.stem, "rt34");
  EXPECT_EQ(file.command.resultName, "res.csv");
  EXPECT_EQ(file.command.params.testName, "T1");
  EXPECT_EQ(file.ports, (std::vector<int>{3, 4}));
  EXPECT_FALSE(file.reflector);

  std::string rf = write_cmd("rf.x.cmd", "SMS_TEST extra\nr.csv\nR|30|5|0|x|0|0|9600|6|9600|1\n");
  ASSERT_TRUE(load_campaign_file(rf, file, error)) << error;
  EXPECT_EQ(file.stem, "rf.x");
  EXPECT_EQ(file.ports, (std::vector<int>{5}));
  EXPECT_TRUE(file.reflector);

  struct {
    const char* name;
    const char* content;  // nullptr: no such file
    std::string error;
  } bad[] = {
      {"missing.cmd", nullptr,
       "missing.cmd: cannot open the command file (No such file or directory)"},
      {"lower.cmd", "sms_test\nr.csv\nT|30|3|5|x|0|0|9600|4|9600|0\n",
       "lower.cmd: line 1 of the command file does not begin with SMS_TEST"},
      {"blank.cmd", " SMS_TEST\nr.csv\nT|30|3|5|x|0|0|9600|4|9600|0\n",
       "blank.cmd: line 1 of the command file does not begin with SMS_TEST"},
      {"empty.cmd", "", "empty.cmd: line 1 of the command file does not begin with SMS_TEST"},
      {"port0.cmd", "SMS_TEST\nr.csv\nT|30|0|5|x|0|0|9600|4|9600|0\n",
       "port0.cmd: fromPort of the command file must be 1 or more, not 0"},
  };
  for (const auto& b : bad) {
    std::string path = dir_ + "/" + b.name;
    if (b.content != nullptr) write_cmd(b.name, b.content);
    EXPECT_FALSE(load_campaign_file(path, file, error)) << b.name;
    EXPECT_EQ(error, dir_ + "/" + b.error) << b.name;
  }
}

// parse_campaign_arguments with `args`; its error stream in `*err`.
int parse(std::vector<std::string> args, CampaignOptions& options, std::string* err) {
  args.insert(args.begin(), "sms_campaign");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  std::FILE* out = std::tmpfile();
  std::FILE* errFile = std::tmpfile();
  int code =
      parse_campaign_arguments(static_cast<int>(argv.size()), argv.data(), options, out, errFile);
  err->clear();
  std::rewind(errFile);
  int c;
  while ((c = std::fgetc(errFile)) != EOF) *err += static_cast<char>(c);
  std::fclose(out);
  std::fclose(errFile);
  return code;
}

TEST(CampaignSetup, CommandLine) {
  CampaignOptions o;
  std::string err;
  ASSERT_EQ(parse({"--dir", "out", "--repeat", "20", "--pause", "1.5", "--lat-long", "-45.5N",
                   "--sms-test", "bin/SMS_TEST", "a.cmd", "b.cmd"},
                  o, &err),
            -1)
      << err;
  EXPECT_EQ(o.dir, "out");
  EXPECT_EQ(o.repeat, 20);
  EXPECT_DOUBLE_EQ(o.pause, 1.5);
  EXPECT_EQ(o.latLong, "-45.5N");
  EXPECT_EQ(o.smsTest, "bin/SMS_TEST");
  EXPECT_EQ(o.cmdFiles, (std::vector<std::string>{"a.cmd", "b.cmd"}));

  // A check needs neither a folder nor a number of runs.
  CampaignOptions c;
  ASSERT_EQ(parse({"--check", "a.cmd"}, c, &err), -1) << err;
  EXPECT_TRUE(c.check);
  EXPECT_FALSE(c.noCheck);

  CampaignOptions d;
  ASSERT_EQ(parse({"a.cmd", "--repeat=1", "--dir=o"}, d, &err), -1) << err;
  EXPECT_EQ(d.latLong, "-");
  EXPECT_EQ(d.pause, 0.0);
  EXPECT_EQ(d.smsTest, "");

  struct {
    std::vector<std::string> args;
    const char* err;
  } refused[] = {
      {{"--repeat", "0", "--dir", "o", "a.cmd"},
       "sms_campaign: --repeat must be 1 or more, not 0\n"},
      {{"--repeat", "-3", "--dir", "o", "a.cmd"},
       "sms_campaign: --repeat must be 1 or more, not -3\n"},
      {{"--repeat", "2", "--dir", "o", "--pause", "-1", "a.cmd"},
       "sms_campaign: --pause must be 0 to 86400 seconds, not -1\n"},
      // Before, an infinite pause overflowed the wait and a NaN was taken.
      {{"--repeat", "2", "--dir", "o", "--pause", "inf", "a.cmd"},
       "sms_campaign: --pause must be 0 to 86400 seconds, not inf\n"},
      {{"--repeat", "2", "--dir", "o", "--pause", "nan", "a.cmd"},
       "sms_campaign: --pause must be 0 to 86400 seconds, not nan\n"},
      {{"--repeat", "2", "--dir", "o", "--pause", "1e300", "a.cmd"},
       "sms_campaign: --pause must be 0 to 86400 seconds, not 1e+300\n"},
      {{"--repeat", "2", "--dir", "o", "--run-margin", "-0.5", "a.cmd"},
       "sms_campaign: --run-margin must be 0 to 86400 seconds, not -0.5\n"},
      {{"--dir", "o", "a.cmd"}, "sms_campaign: --repeat is required (see --help)\n"},
      {{"--repeat", "2", "a.cmd"}, "sms_campaign: --dir is required (see --help)\n"},
      {{"--repeat", "2", "--dir", "o"}, "sms_campaign: CMDFILE is required (see --help)\n"},
      {{"--repeat", "many", "--dir", "o", "a.cmd"},
       "sms_campaign: Could not convert: --repeat = many (see --help)\n"},
      // A comma splits the result line; the hint is the form sms_report reads.
      {{"--repeat", "2", "--dir", "o", "--lat-long", "45.5017, -73.5673", "a.cmd"},
       "sms_campaign: --lat-long \"45.5017, -73.5673\" holds a comma, which would split the "
       "result line's columns; write it as \"45.5017;-73.5673\" (sms_report reads "
       "latitude;longitude, latitude longitude, latitude/longitude or 45.5N73.6W)\n"},
      {{"--repeat", "2", "--dir", "o", "--lat-long", "45.5,-73.5", "a.cmd"},
       "sms_campaign: --lat-long \"45.5,-73.5\" holds a comma, which would split the "
       "result line's columns; write it as \"45.5;-73.5\" (sms_report reads "
       "latitude;longitude, latitude longitude, latitude/longitude or 45.5N73.6W)\n"},
      {{"--check", "--no-check", "a.cmd"},
       "sms_campaign: --check excludes --no-check (see --help)\n"},
  };
  for (const auto& r : refused) {
    CampaignOptions x;
    EXPECT_EQ(parse(r.args, x, &err), kCampaignRefused) << r.err;
    EXPECT_EQ(err, r.err);
  }
}

TEST_F(CampaignFiles, PreparingRefusals) {
  const std::string good = write_cmd("a.cmd", "SMS_TEST\nr.csv\nA|30|3|5|x|0|0|9600|4|9600|0\n");
  const std::string own =
      write_cmd("own.cmd", "SMS_TEST\ncampaign.csv\nO|30|5|5|x|0|0|9600|0|9600|0\n");
  const std::string program = write_cmd("SMS_TEST", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(system(("chmod +x " + program).c_str()), 0);

  CampaignOptions o;
  o.dir = dir_ + "/out";
  o.repeat = 2;
  o.smsTest = program;
  std::vector<std::string> refusals;
  Campaign c;

  o.cmdFiles = {good, dir_ + "/./a.cmd", own};
  EXPECT_FALSE(prepare_campaign(o, c, refusals));
  EXPECT_EQ(refusals,
            (std::vector<std::string>{
                dir_ + "/./a.cmd: the same command file as " + good + "; give each file once",
                own + ": its result file campaign.csv is the campaign's own log"}));
  EXPECT_FALSE(file_exists(o.dir)) << "refused before the folder was made";

  refusals.clear();
  o.cmdFiles = {good};
  o.smsTest = dir_ + "/nowhere/SMS_TEST";
  EXPECT_FALSE(prepare_campaign(o, c, refusals));
  EXPECT_EQ(refusals, (std::vector<std::string>{"SMS_TEST not found or not executable: " + dir_ +
                                                "/nowhere/SMS_TEST (give it with --sms-test)"}));

  refusals.clear();
  o.smsTest = good;  // not executable
  EXPECT_FALSE(prepare_campaign(o, c, refusals));
  ASSERT_EQ(refusals.size(), 1u);

  refusals.clear();
  o.smsTest = program;
  ASSERT_EQ(system(("mkdir -p " + o.dir).c_str()), 0);
  ASSERT_TRUE(write_file(o.dir + "/campaign.csv", "SMS_TEST,1,A,1,-,0,1,2,3,4,5,100\n"));
  EXPECT_FALSE(prepare_campaign(o, c, refusals));
  EXPECT_EQ(refusals, (std::vector<std::string>{
                          o.dir + "/campaign.csv is not a campaign log: its first line is not "
                                  "the campaign header"}));
}

TEST_F(CampaignFiles, PreparingFindsTheRunsMadeBefore) {
  const std::string a = write_cmd("a.cmd", "SMS_TEST\nr.csv\nA|30|3|5|x|0|0|9600|4|9600|0\n");
  const std::string program = write_cmd("SMS_TEST", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(system(("chmod +x " + program).c_str()), 0);
  CampaignOptions o;
  o.dir = dir_ + "/out";
  o.repeat = 5;
  o.smsTest = program;
  o.cmdFiles = {a};
  std::vector<std::string> refusals;
  Campaign fresh;
  ASSERT_TRUE(prepare_campaign(o, fresh, refusals)) << refusals[0];
  EXPECT_TRUE(file_exists(o.dir + "/status"));
  EXPECT_EQ(fresh.lastRun, 0);
  EXPECT_FALSE(fresh.log.exists);
  EXPECT_EQ(fresh.logPath, o.dir + "/campaign.csv");
  EXPECT_EQ(fresh.smsTest, program);

  // Two runs logged; a third whose line was never written left its files.
  ASSERT_TRUE(write_file(o.dir + "/campaign.csv",
                         std::string(kCampaignHeader) + "\n" + "1," + a +
                             ",A,s,e,0,0,\"SUCCESS\",1,2,-Infinity,3,100,round-trip,,,,,,,,\n" +
                             "2," + a +
                             ",A,s,e,0,0,\"SUCCESS\",1,2,-Infinity,3,100,round-trip,,,,,,,,\n"));
  ASSERT_TRUE(write_file(o.dir + "/status/a.000003.stderr.txt", ""));
  // While the first campaign holds the folder, a second is refused.
  Campaign second;
  o.dir = dir_ + "/./out";
  EXPECT_FALSE(prepare_campaign(o, second, refusals));
  EXPECT_EQ(refusals, (std::vector<std::string>{o.dir + " is in use by sms_campaign pid " +
                                                std::to_string(getpid())}));
  refusals.clear();
  fresh.lock.reset();
  Campaign resumed;
  ASSERT_TRUE(prepare_campaign(o, resumed, refusals));
  EXPECT_EQ(resumed.lastRun, 3);
  EXPECT_EQ(count_runs(resumed.log, a), 2);
}

}  // namespace
}  // namespace smstest
