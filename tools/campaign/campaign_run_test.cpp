// Whole campaigns: the real sms_campaign starts the real SMS_TEST against
// modem_sim.  sms_campaign is started without --sms-test, so it finds
// SMS_TEST beside itself in the build folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/result_line.h"
#include "common/text.h"
#include "sim/sim_process.h"
#include "testsupport/run_process.h"
#include "tools/campaign/campaign_log.h"

extern char** environ;

namespace smstest {
namespace {

struct Interval {
  double open, close;
};

// The times a client held the simulated modem `name` open, from its traffic
// record.
std::vector<Interval> open_intervals(const std::string& portsDir, const std::string& name) {
  std::vector<Interval> intervals;
  for (const std::string& line : split(read_file(portsDir + "/" + name + ".traffic.log"), '\n')) {
    std::vector<std::string> f = split(line, ' ');
    if (f.size() < 2) continue;
    if (f[1] == "open") intervals.push_back({std::stod(f[0]), -1});
    if (f[1] == "close" && !intervals.empty()) intervals.back().close = std::stod(f[0]);
  }
  return intervals;
}

bool overlap(const Interval& a, const Interval& b) { return a.open < b.close && b.open < a.close; }

std::string env_entry(const std::string& ports) { return "SMS_TEST_PORTS=" + ports; }

// The environment of a child started by hand: the test's own plus `extra`.
std::vector<std::string> environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env(extra);
  for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
  return env;
}

// Starts `argv` in `cwd` with its output streams in `outPath`; returns its
// process id.
pid_t start_async(const std::vector<std::string>& argv, const std::string& cwd,
                  const std::vector<std::string>& env, const std::string& outPath) {
  std::vector<std::string> envStrings = environment(env);
  std::vector<char*> envp, args;
  for (std::string& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(cwd.c_str()) != 0 || out < 0) _exit(127);
    dup2(out, 1);
    dup2(out, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// Waits up to `seconds` for `pid`; its exit code, 128 + signal, or -1 when
// it had to be killed.
int wait_exit(pid_t pid, double seconds) {
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) != pid; waited += 10) {
    if (waited > seconds * 1000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    sleep_milliseconds(10);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class CampaignRunTest : public ::testing::Test {
 protected:
  void start_sim(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", ports_});
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
  }

  // Writes the command file `name` in the work folder.
  void write_cmd(const std::string& name, const std::string& record,
                 const std::string& resultName = "results.csv") {
    ASSERT_TRUE(write_file(work_ + "/" + name, "SMS_TEST\n" + resultName + "\n" + record + "\n"));
  }

  // Runs sms_campaign in the work folder with `args`.
  ProcessResult campaign(std::vector<std::string> args, double seconds = 120) {
    args.insert(args.begin(), SMS_CAMPAIGN_BINARY);
    return run_process(args, work_, {env_entry(ports_)}, seconds);
  }

  CampaignLog log(const std::string& out = "out") {
    CampaignLog l;
    std::string error;
    EXPECT_TRUE(read_campaign_log(read_file(work_ + "/" + out + "/campaign.csv"), l, error))
        << error;
    EXPECT_EQ(l.unreadable, 0);
    return l;
  }

  // The result lines of `file` in OUT, split into columns, by dataTime.
  std::map<std::string, std::vector<std::string>> results(const std::string& file) {
    std::map<std::string, std::vector<std::string>> byTag;
    for (const std::string& line : split(read_file(work_ + "/out/" + file), '\n')) {
      if (line.empty()) continue;
      ResultLine parsed;
      if (read_result_line(line, parsed) == ResultLineKind::kOtherRecord) continue;
      std::vector<std::string> f = result_columns(line);
      EXPECT_EQ(f.size(), 12u) << line;
      if (f.size() != 12) continue;
      EXPECT_TRUE(byTag.emplace(f[3], f).second) << "dataTime twice: " << line;
    }
    return byTag;
  }

  std::string work_ = make_temp_dir("campaign_work");
  std::string ports_ = make_temp_dir("campaign_ports");
  SimProcess sim_;
};

const std::regex kIso("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
const std::regex kSeconds("\\d+\\.\\d{6}");

// Every line a successful round trip gives, checked against its result line
// and its status file.
void expect_success(const CampaignLine& line,
                    std::map<std::string, std::vector<std::string>>& resultsByTag,
                    const std::string& out, double delay) {
  SCOPED_TRACE("run " + std::to_string(line.run) + " of " + line.cmdFile);
  EXPECT_EQ(line.exitCode, "0");
  EXPECT_EQ(line.statusCode, "0");
  EXPECT_EQ(line.statusText, "SUCCESS");
  EXPECT_TRUE(std::regex_match(line.start, kIso)) << line.start;
  EXPECT_TRUE(std::regex_match(line.end, kIso)) << line.end;
  EXPECT_LE(line.start, line.end);
  EXPECT_TRUE(std::regex_match(line.sendTime, kSeconds)) << line.sendTime;
  EXPECT_NEAR(std::stod(line.deliveryTime), delay, 0.4);
  EXPECT_EQ(line.replyTime, "-Infinity");
  EXPECT_TRUE(std::regex_match(line.totalTime, kSeconds)) << line.totalTime;
  EXPECT_EQ(line.accuracy, "100");
  EXPECT_EQ(line.mode, "round-trip");
  // The run's own result line: its dataTime ends in the run number.
  const char* stem = line.cmdFile == "a.cmd" ? "a" : line.cmdFile == "b.cmd" ? "b" : "c";
  char number[16];
  std::snprintf(number, sizeof number, "%06d", line.run);
  const std::vector<std::string>* mine = nullptr;
  for (const auto& entry : resultsByTag)
    if (std::regex_match(entry.first, std::regex("\\d{14}" + std::string(number))))
      mine = &entry.second;
  ASSERT_NE(mine, nullptr) << "no result line for run " << line.run;
  EXPECT_EQ((*mine)[6], line.sendTime);
  EXPECT_EQ((*mine)[7], line.deliveryTime);
  EXPECT_EQ((*mine)[9], line.totalTime);
  EXPECT_EQ((*mine)[4], "-");
  EXPECT_EQ(read_file(out + "/status/" + stem + "." + number + ".txt"), "0 SUCCESS\n");
}

TEST_F(CampaignRunTest, DisjointPortsRunSideBySide) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem", "COM5=5550105",
             "--modem", "COM6=5550106", "--delay", "0.3"});
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("b.cmd", "B|20|5|5550106|hello|0|0|115200|6|115200|0");
  ProcessResult r = campaign({"--dir", "out", "--repeat", "2", "a.cmd", "b.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  EXPECT_EQ(r.err, "");

  CampaignLog l = log();
  ASSERT_EQ(l.lines.size(), 4u);
  EXPECT_EQ(count_runs(l, "a.cmd"), 2);
  EXPECT_EQ(count_runs(l, "b.cmd"), 2);
  std::set<int> runs;
  auto byTag = results("results.csv");
  EXPECT_EQ(byTag.size(), 4u);
  for (const CampaignLine& line : l.lines) {
    runs.insert(line.run);
    expect_success(line, byTag, work_ + "/out", 0.3);
  }
  EXPECT_EQ(runs, (std::set<int>{1, 2, 3, 4}));
  for (const auto& entry : byTag)
    EXPECT_TRUE(std::regex_match(entry.first, std::regex("\\d{20}"))) << entry.first;

  // The two pairs were in use at the same time.
  bool together = false;
  for (const Interval& a : open_intervals(ports_, "COM3"))
    for (const Interval& b : open_intervals(ports_, "COM5")) together |= overlap(a, b);
  EXPECT_TRUE(together) << read_file(ports_ + "/COM3.traffic.log");

  // Not a terminal: one plain line per run, then the summary.
  std::vector<std::string> out = split(r.out, '\n');
  ASSERT_EQ(out.size(), 1 + 4 + 1 + 2 + 1u) << r.out;
  EXPECT_EQ(out[0], "sms_campaign: 2 command files, 2 runs each, 0 made before; log " + work_ +
                        "/out/campaign.csv");
  for (int i = 1; i <= 4; ++i)
    EXPECT_TRUE(std::regex_match(
        out[i], std::regex("[ab]\\.cmd [12]/2 \\(run [1-4]\\): exit 0, 0 SUCCESS, delivery "
                           "\\d+\\.\\d{6} s")))
        << out[i];
  EXPECT_EQ(out[5], "sms_campaign: 4 of 4 runs done, 4 succeeded, 0 failed; log " + work_ +
                        "/out/campaign.csv");
  EXPECT_TRUE(std::regex_match(out[6], std::regex("  a\\.cmd  2/2  ok 2  failed 0  median "
                                                  "delivery 0\\.\\d\\d s")))
      << out[6];
}

TEST_F(CampaignRunTest, FilesSharingAPortTakeTurns) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem", "COM5=5550105",
             "--delay", "0.2"});
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("c.cmd", "C|20|5|5550103|hello|0|0|115200|3|115200|0");
  ProcessResult r = campaign({"--dir", "out", "--repeat", "2", "a.cmd", "c.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;

  CampaignLog l = log();
  ASSERT_EQ(l.lines.size(), 4u);
  auto byTag = results("results.csv");
  for (const CampaignLine& line : l.lines) expect_success(line, byTag, work_ + "/out", 0.2);
  // They took turns, one run each.
  for (size_t i = 1; i < l.lines.size(); ++i)
    EXPECT_NE(l.lines[i].cmdFile, l.lines[i - 1].cmdFile) << "line " << i;

  // COM3, the port they share, was never opened by two runs at once: every
  // open is closed before the next.  Both files' checks opened it first.
  std::vector<Interval> com3 = open_intervals(ports_, "COM3");
  ASSERT_EQ(com3.size(), 2 + 4u) << read_file(ports_ + "/COM3.traffic.log");
  for (size_t i = 0; i < com3.size(); ++i) {
    EXPECT_GE(com3[i].close, com3[i].open) << read_file(ports_ + "/COM3.traffic.log");
    if (i > 0) {
      EXPECT_GE(com3[i].open, com3[i - 1].close) << read_file(ports_ + "/COM3.traffic.log");
    }
  }
  // Nor were the others of the two files at once.
  for (const Interval& a : open_intervals(ports_, "COM4"))
    for (const Interval& c : open_intervals(ports_, "COM5")) EXPECT_FALSE(overlap(a, c));
}

TEST_F(CampaignRunTest, FailureCausesAreLogged) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104,lose", "--modem",
             "COM5=5550105,send-refused", "--modem", "COM6=5550106", "--delay", "0.2"});
  write_cmd("lost.cmd", "L|3|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("refused.cmd", "R|10|5|5550106|hello|0|0|115200|6|115200|0", "refused.csv");
  ProcessResult r = campaign({"--dir", "out", "--repeat", "1", "lost.cmd", "refused.cmd"});
  ASSERT_EQ(r.exitCode, 0) << "failed runs are results: " << r.err << r.out;

  CampaignLog l = log();
  ASSERT_EQ(l.lines.size(), 2u);
  std::map<std::string, CampaignLine> byFile;
  for (const CampaignLine& line : l.lines) byFile[line.cmdFile] = line;

  const CampaignLine& lost = byFile["lost.cmd"];
  EXPECT_EQ(lost.exitCode, "2");
  EXPECT_EQ(lost.statusCode, "2");
  EXPECT_EQ(lost.statusText, "Operation Timed out during SMS Receive.");
  EXPECT_TRUE(std::regex_match(lost.sendTime, kSeconds)) << lost.sendTime;
  EXPECT_EQ(lost.deliveryTime, "-Infinity");
  EXPECT_NE(read_file(ports_ + "/network.log").find(" lost COM4 "), std::string::npos);

  const CampaignLine& refused = byFile["refused.cmd"];
  EXPECT_EQ(refused.exitCode, "2");
  EXPECT_EQ(refused.statusCode, "2");
  EXPECT_EQ(refused.statusText, "On sending SMS Text, Com port returned ERROR");
  EXPECT_EQ(refused.sendTime, "-Infinity");
  EXPECT_EQ(refused.deliveryTime, "-Infinity");
  EXPECT_EQ(refused.accuracy, "-Infinity");
  EXPECT_EQ(results("refused.csv").size(), 1u);

  // The raw line: the status text quoted, as a report reads it.
  std::string csv = read_file(work_ + "/out/campaign.csv");
  EXPECT_NE(csv.find(",2,2,\"On sending SMS Text, Com port returned ERROR\",-Infinity,"),
            std::string::npos)
      << csv;
  EXPECT_NE(r.out.find("0 succeeded, 2 failed"), std::string::npos) << r.out;

  // Each run's debug logs stay beside its status file, the failed ones'
  // AT traces included; none is left under SMS_TEST's own names.
  for (const auto& entry : byFile) {
    const std::string stem = entry.first.substr(0, entry.first.size() - 4);
    const int from = stem == "lost" ? 3 : 5;
    for (int port : {from, from + 1}) {
      const std::string log = work_ + "/out/status/" + stem + format(".%06d", entry.second.run) +
                              format(".COM%d.debug.log", port);
      EXPECT_NE(read_file(log).find("\nATE0\r"), std::string::npos) << log;
    }
  }
  EXPECT_NE(
      read_file(work_ + "/out/status/" + format("lost.%06d.COM3.debug.log", byFile["lost.cmd"].run))
          .find("AT!SSMS"),
      std::string::npos);
  for (const std::string& name : list_dir(work_ + "/out")) {
    EXPECT_EQ(name.find("debug.log"), std::string::npos) << name;
  }
}

// SMS_TEST as a later version might be: around the real one's line, lines
// of another record type that carry the run's dataTime; for the command file
// of test "Extra" a stand-in that writes a line with columns after the pass
// figure.  $1 command file, $2 status file, $3 dataTime; runs in OUT.
std::string later_tool() {
  return std::string("#!/bin/sh\n") +
         "if grep -q Extra \"$1\"; then\n"
         "  printf 'SMS_TEST,2,%s,17\\n' \"$3\" >> extra.csv\n"
         "  printf 'SMS_TEST,1,Extra,%s,-,0,1.500000,2.500000,-Infinity,4.000000,100,100,17,x\\n' "
         "\"$3\" >> extra.csv\n"
         "  printf 'SMS_TEST,2,Extra,%s,-,0,9.000000,9.000000,9.000000,9.000000,100,100\\n' "
         "\"$3\" >> extra.csv\n"
         "  printf '0 SUCCESS\\n' > \"$2\"\n"
         "  exit 0\n"
         "fi\n"
         "printf 'SMS_TEST,2,A,%s,-,0,9.000000,9.000000,-Infinity,9.000000,100,100\\n' \"$3\" "
         ">> results.csv\n"
         "\"" SMS_TEST_BINARY
         "\" \"$@\"\n"
         "code=$?\n"
         "printf 'SMS_TEST,3,%s,9.000000\\n' \"$3\" >> results.csv\n"
         "printf 'SMS_TEST,2,A,%s,-,0,9.000000,9.000000,-Infinity,9.000000,100,100\\n' \"$3\" "
         ">> results.csv\n"
         "exit $code\n";
}

// The measures in campaign.csv come from the run's record of type 1 alone,
// found by its dataTime among lines of other record types that carry it
// too, and read past columns after the pass figure.
TEST_F(CampaignRunTest, MeasuresComeFromTheRecordOfType1) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.2"});
  const std::string tool = work_ + "/later_sms_test";
  ASSERT_TRUE(write_file(tool, later_tool()));
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("x.cmd", "Extra|20|5|5550106|hello|0|0|115200|6|115200|0", "extra.csv");
  ProcessResult r = campaign(
      {"--dir", "out", "--repeat", "2", "--sms-test", tool, "--no-check", "a.cmd", "x.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;

  CampaignLog l = log();
  ASSERT_EQ(l.lines.size(), 4u);
  auto byTag = results("results.csv");
  EXPECT_EQ(byTag.size(), 2u);
  for (const CampaignLine& line : l.lines) {
    if (line.cmdFile == "a.cmd") {
      expect_success(line, byTag, work_ + "/out", 0.2);
      continue;
    }
    SCOPED_TRACE("run " + std::to_string(line.run));
    EXPECT_EQ(line.statusText, "SUCCESS");
    EXPECT_EQ(line.sendTime, "1.500000");
    EXPECT_EQ(line.deliveryTime, "2.500000");
    EXPECT_EQ(line.replyTime, "-Infinity");
    EXPECT_EQ(line.totalTime, "4.000000");
    EXPECT_EQ(line.accuracy, "100");
  }
  EXPECT_EQ(count_runs(l, "x.cmd"), 2);
}

// A stand-in for SMS_TEST that ends without a status file: with a message
// and exit code 2, or killed by SIGTERM when its command file says "Kill".
const char kSilentTool[] =
    "#!/bin/sh\n"
    "if grep -q Kill \"$1\"; then kill -TERM $$; fi\n"
    "echo 'From COM port must be > 0' >&2\n"
    "exit 2\n";

TEST_F(CampaignRunTest, RunsWithoutStatusFileSayWhy) {
  const std::string tool = work_ + "/fake_sms_test";
  ASSERT_TRUE(write_file(tool, kSilentTool));
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  write_cmd("early.cmd", "E|10|3|5|x|0|0|9600|4|9600|0");
  write_cmd("killed.cmd", "Kill|10|5|5|x|0|0|9600|6|9600|0");
  ProcessResult r = campaign({"--dir", "out", "--repeat", "1", "--sms-test", tool, "--no-check",
                              "early.cmd", "killed.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  std::map<std::string, CampaignLine> byFile;
  for (const CampaignLine& line : log().lines) byFile[line.cmdFile] = line;
  ASSERT_EQ(byFile.size(), 2u);
  const CampaignLine& early = byFile["early.cmd"];
  EXPECT_EQ(early.exitCode, "2");
  EXPECT_EQ(early.statusCode, "");
  EXPECT_EQ(early.statusText,
            "no status file and no result line: SMS_TEST exited with 2: From COM port must be > 0");
  EXPECT_EQ(early.sendTime, "");
  EXPECT_EQ(early.accuracy, "");
  const CampaignLine& killed = byFile["killed.cmd"];
  EXPECT_EQ(killed.exitCode, "143");
  EXPECT_EQ(killed.statusText,
            "no status file and no result line: SMS_TEST ended by signal 15 (SIGTERM)");
  EXPECT_EQ(killed.testName, "Kill");
}

struct InterruptCase {
  int signal;
  int exitCode;
  const char* name;
};

class CampaignInterruptTest : public CampaignRunTest,
                              public ::testing::WithParamInterface<InterruptCase> {};

// Interrupted while runs are under way, then started again: exactly N runs
// per file, none twice, none missing, the interrupted ones logged.
//
// SMS_TEST either dies of the signal (no status file, no result line) or
// ends through its failure path ("Interrupted by signal N" in its status
// file, exit 128 + N): either way the run's line carries exit code 128 + N
// and a status text that names the signal.
TEST_P(CampaignInterruptTest, ResumesToExactlyNRuns) {
  const InterruptCase& c = GetParam();
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem", "COM5=5550105",
             "--modem", "COM6=5550106", "--delay", "1.0"});
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("b.cmd", "B|20|5|5550106|hello|0|0|115200|6|115200|0");
  const std::vector<std::string> args = {
      SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "3", "a.cmd", "b.cmd"};
  const std::string firstOut = work_ + "/first.out";
  pid_t pid = start_async(args, work_, {env_entry(ports_)}, firstOut);
  ASSERT_GT(pid, 0);
  // Once the first run is logged, the next ones are under way (a run takes
  // over a second here).
  const std::string csvPath = work_ + "/out/campaign.csv";
  for (int waited = 0; split(read_file(csvPath), '\n').size() < 3 && waited < 30000; waited += 20)
    sleep_milliseconds(20);
  sleep_milliseconds(300);
  kill(pid, c.signal);
  ASSERT_EQ(wait_exit(pid, 60), c.exitCode) << read_file(firstOut);

  const std::string first = read_file(firstOut);
  EXPECT_NE(first.find(std::string("sms_campaign: interrupted by signal ") +
                       std::to_string(c.signal) + " (" + c.name + ")"),
            std::string::npos)
      << first;
  CampaignLog part = log();
  EXPECT_LT(part.lines.size(), 6u);
  EXPECT_LE(count_runs(part, "a.cmd"), 3);
  EXPECT_LE(count_runs(part, "b.cmd"), 3);
  int interrupted = 0;
  const std::regex names("(.* )?[Ss]ignal " + std::to_string(c.signal) + "( .*)?");
  for (const CampaignLine& line : part.lines) {
    if (line.exitCode != std::to_string(c.exitCode)) continue;
    ++interrupted;
    EXPECT_TRUE(std::regex_match(line.statusText, names)) << line.statusText;
  }
  EXPECT_GE(interrupted, 1) << read_file(csvPath);

  ProcessResult r = campaign({"--dir", "out", "--repeat", "3", "a.cmd", "b.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  EXPECT_EQ(r.out.rfind("sms_campaign: 2 command files, 3 runs each, " +
                            std::to_string(part.lines.size()) + " made before",
                        0),
            0u)
      << r.out;
  CampaignLog whole = log();
  ASSERT_EQ(whole.lines.size(), 6u) << read_file(csvPath);
  EXPECT_EQ(count_runs(whole, "a.cmd"), 3);
  EXPECT_EQ(count_runs(whole, "b.cmd"), 3);
  // The first part's lines stay as they were, the runs go on from there.
  for (size_t i = 0; i < part.lines.size(); ++i)
    EXPECT_EQ(format_campaign_line(whole.lines[i]), format_campaign_line(part.lines[i]));
  std::set<int> runs;
  for (const CampaignLine& line : whole.lines) runs.insert(line.run);
  EXPECT_EQ(runs, (std::set<int>{1, 2, 3, 4, 5, 6}));
  // Every result line has a dataTime of its own (results() checks).
  results("results.csv");

  // Started once more, nothing is left to do.
  ProcessResult again = campaign({"--dir", "out", "--repeat", "3", "a.cmd", "b.cmd"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(log().lines.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Signals, CampaignInterruptTest,
                         ::testing::Values(InterruptCase{SIGINT, 130, "SIGINT"},
                                           InterruptCase{SIGTERM, 143, "SIGTERM"},
                                           // A closed terminal or a dropped ssh.
                                           InterruptCase{SIGHUP, 129, "SIGHUP"}),
                         [](const ::testing::TestParamInfo<InterruptCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(CampaignRunTest, ProgressIsRedrawnOnATerminal) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem", "COM5=5550105",
             "--delay", "0.2"});
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  write_cmd("rf.cmd", "R|2|5|0|x|0|0|115200|0|115200|1");
  std::vector<std::string> envStrings = environment({env_entry(ports_), "TERM=xterm"});
  std::vector<char*> envp, args;
  for (std::string& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<std::string> argv = {
      SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "2", "a.cmd", "rf.cmd"};
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  struct winsize size = {};
  size.ws_row = 24;
  size.ws_col = 100;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(work_.c_str()) != 0) _exit(127);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  std::string screen;
  for (;;) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, 60000) <= 0) break;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the campaign has closed the terminal
    screen.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  ASSERT_EQ(wait_exit(pid, 10), 0) << screen;

  // Two lines, drawn and redrawn in place; no plain run lines.
  EXPECT_NE(screen.find("\x1b[2A\r"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\ra.cmd   0/2  ok 0  failed 0  median delivery -  left ?\x1b[K"),
            std::string::npos)
      << screen;
  EXPECT_TRUE(std::regex_search(
      screen,
      std::regex("\ra\\.cmd   2/2  ok 2  failed 0  median delivery 0\\.\\d\\d s  done\x1b\\[K")))
      << screen;
  // The reflector waits in vain for a message: two failures, no reply time.
  EXPECT_NE(screen.find("\rrf.cmd  2/2  ok 0  failed 2  median reply -  done\x1b[K"),
            std::string::npos)
      << screen;
  EXPECT_EQ(screen.find("(run "), std::string::npos) << screen;
  EXPECT_NE(screen.find("sms_campaign: 4 of 4 runs done, 2 succeeded, 2 failed"), std::string::npos)
      << screen;
}

struct Refusal {
  const char* name;
  std::vector<std::string> args;  // after the program; "@" stands for the work folder
  std::string err;                // exactly; "@" stands for the work folder
};

TEST_F(CampaignRunTest, BadInputIsRefusedBeforeAnythingRuns) {
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  ASSERT_TRUE(write_file(work_ + "/lower.cmd", "sms_test\nr.csv\nA|20|3|5|x|0|0|9600|4|9600|0\n"));
  write_cmd("port0.cmd", "A|20|0|5550104|hello|0|0|115200|4|115200|0");
  // A copy of sms_campaign in a folder without SMS_TEST.
  const std::string lonely = make_temp_dir("campaign_lonely");
  ASSERT_TRUE(write_file(lonely + "/sms_campaign", read_file(SMS_CAMPAIGN_BINARY)));
  ASSERT_EQ(chmod((lonely + "/sms_campaign").c_str(), 0755), 0);

  const Refusal refusals[] = {
      {"missing command file",
       {"--dir", "out", "--repeat", "2", "a.cmd", "nothere.cmd"},
       "sms_campaign: nothere.cmd: cannot open the command file (No such file or directory)\n"},
      {"wrong line 1",
       {"--dir", "out", "--repeat", "2", "lower.cmd", "a.cmd"},
       "sms_campaign: lower.cmd: line 1 of the command file does not begin with SMS_TEST\n"},
      {"fromPort 0",
       {"--dir", "out", "--repeat", "2", "port0.cmd"},
       "sms_campaign: port0.cmd: fromPort of the command file must be 1 or more, not 0\n"},
      {"missing SMS_TEST",
       {"--dir", "out", "--repeat", "2", "--sms-test", "bin/SMS_TEST", "a.cmd"},
       "sms_campaign: SMS_TEST not found or not executable: @/bin/SMS_TEST (give it with "
       "--sms-test)\n"},
      {"repeat 0",
       {"--dir", "out", "--repeat", "0", "a.cmd"},
       "sms_campaign: --repeat must be 1 or more, not 0\n"},
      {"no command file",
       {"--dir", "out", "--repeat", "2"},
       "sms_campaign: CMDFILE is required (see --help)\n"},
  };
  auto place = [&](std::string text) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, work_);
    return text;
  };
  for (const Refusal& refusal : refusals) {
    ProcessResult r = campaign(refusal.args, 30);
    EXPECT_EQ(r.exitCode, 2) << refusal.name;
    EXPECT_EQ(r.err, place(refusal.err)) << refusal.name;
    EXPECT_EQ(r.out, "") << refusal.name;
    EXPECT_FALSE(file_exists(work_ + "/out")) << refusal.name << ": nothing may run";
  }

  // Without --sms-test, SMS_TEST is looked for beside sms_campaign.
  ProcessResult r = run_process(
      {lonely + "/sms_campaign", "--dir", "out", "--repeat", "1", "a.cmd"}, work_, {}, 30);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_campaign: SMS_TEST not found or not executable: " + lonely +
                       "/SMS_TEST (give it with --sms-test)\n");
  EXPECT_FALSE(file_exists(work_ + "/out"));

  // --help tells the synopsis and exits 0.
  ProcessResult help = campaign({"--help"}, 30);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: sms_campaign --dir OUT --repeat N [--pause SECONDS]"),
            std::string::npos)
      << help.out;
}

// Every command file is checked by SMS_TEST itself before the first run:
// one typo, a refused option, a silent modem or a missing port refuses the
// whole campaign, naming the file and the problem, and nothing runs.
// --check says the same of each file and runs nothing.
TEST_F(CampaignRunTest, CommandFilesThatCantRunRefuseTheCampaignBeforeAnyRun) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem", "COM5=5550105,silent",
             "--modem", "COM6=5550106,no-dasms"});
  write_cmd("good.cmd", "G|20|3|5550104|hello|0|0|115200|4|115200|0|text");
  write_cmd("typo.cmd", "T|20|3|5550104|hello|0|0|115200|4|115200|0|txet");
  write_cmd("option.cmd", "O|20|3|5550104|hello|0|0|115200|4|115200|0\nrecrod=x.jsonl");
  write_cmd("silent.cmd", "S|5|3|5550105|hello|0|0|115200|5|115200|0|pdu");
  write_cmd("gone.cmd", "N|20|9|5550104|hello|0|0|115200|4|115200|0");
  const std::string typo =
      "sms_campaign: typo.cmd: not ready: Unknown command set txet (valid: text, pdu, or none for "
      "the modem's own commands)\n";

  const std::string silent = "sms_campaign: silent.cmd: not ready: COM5: " + ports_ +
                             "/COM5 failed to respond to at comand. Please make sure that the "
                             "device is connected and the baudrate and other port settings are "
                             "correct.\n";
  const std::string gone = "sms_campaign: gone.cmd: not ready: COM9: Failed to open " + ports_ +
                           "/COM9. Please make sure that this device is not in use. (No such "
                           "file or directory)\n";
  const std::string ready = "sms_campaign: good.cmd: ready: a modem answers on COM3 and COM4\n";

  // What sms_campaign reads itself is refused first, before any port is opened.
  ProcessResult r =
      campaign({"--dir", "out", "--repeat", "3", "good.cmd", "option.cmd", "typo.cmd"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sms_campaign: option.cmd: Unknown option recrod in option.cmd\n");
  EXPECT_FALSE(file_exists(work_ + "/out"));

  r = campaign({"--dir", "out", "--repeat", "3", "good.cmd", "typo.cmd", "silent.cmd", "gone.cmd"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, typo + silent + gone);
  EXPECT_FALSE(file_exists(work_ + "/out/campaign.csv"));
  EXPECT_EQ(list_dir(work_ + "/out/status"), std::vector<std::string>{});
  EXPECT_FALSE(file_exists(work_ + "/out/results.csv"));
  // Only the checks opened the modems: the good file's, and the silent one's.
  EXPECT_EQ(open_intervals(ports_, "COM3").size(), 2u);
  EXPECT_EQ(open_intervals(ports_, "COM4").size(), 1u);

  ProcessResult check = campaign({"--check", "good.cmd", "typo.cmd"});
  EXPECT_EQ(check.exitCode, 2);
  EXPECT_EQ(check.out, ready);
  EXPECT_EQ(check.err, typo);
  // A modem that refuses AT!DASMS says so before the verdict, and is ready.
  write_cmd("dasms.cmd", "D|20|6|5550106|hello|0|0|115200|0|115200|0");
  check = campaign({"--check", "good.cmd", "dasms.cmd"});
  EXPECT_EQ(check.exitCode, 0) << check.err;
  EXPECT_EQ(check.out, ready + "sms_campaign: dasms.cmd: ready: a modem answers on COM6\n");
  EXPECT_EQ(check.err, "");
  // A check makes no folder.
  EXPECT_FALSE(file_exists(work_ + "/check"));
  EXPECT_EQ(campaign({"--check", "--dir", "check", "good.cmd"}).exitCode, 0);
  EXPECT_FALSE(file_exists(work_ + "/check"));
}

// SMS_TEST --check on its own: exactly two arguments, a verdict line, 0 or 2.
TEST_F(CampaignRunTest, SmsTestChecksACommandFile) {
  start_sim({"--modem", "COM3=5550103"});
  write_cmd("one.cmd", "G|20|3|5550103|hello|0|0|115200|0|115200|0");
  write_cmd("utf8.cmd", "G|20|3|5550103|caf\xE9|0|0|115200|0|115200|0|pdu\ncharset=utf-8");
  ProcessResult p =
      run_process({SMS_TEST_BINARY, "--check", "one.cmd"}, work_, {env_entry(ports_)}, 30);
  EXPECT_EQ(p.exitCode, 0) << p.err;
  EXPECT_EQ(p.out, "one.cmd: ready: a modem answers on COM3\n");
  p = run_process({SMS_TEST_BINARY, "--check", "utf8.cmd"}, work_, {env_entry(ports_)}, 30);
  EXPECT_EQ(p.exitCode, 2);
  EXPECT_EQ(p.err,
            "utf8.cmd: not ready: The messageText field in utf8.cmd is not valid UTF-8 (option "
            "charset=utf-8)\n");
  // Nothing else of a run: no debug log, no status file.
  EXPECT_EQ(list_dir(work_), (std::vector<std::string>{"one.cmd", "utf8.cmd"}));
}

// A second campaign on a folder in use is refused; once the first is
// killed outright (kill -9), its lock is gone, and the campaign started
// again waits for the run the killed one left going (its port is busy), logs
// it from its status and result files, and makes the runs left after it.
// Before, the second campaign ran beside the first, and the resumed one
// failed its first run at once with "not in use".
TEST_F(CampaignRunTest, AFolderInUseIsRefusedAndAKilledCampaignsRunIsWaitedFor) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "2.0"});
  write_cmd("a.cmd", "A|20|3|5550104|hello|0|0|115200|4|115200|0");
  const std::string firstOut = work_ + "/first.out";
  pid_t pid = start_async({SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "2", "a.cmd"}, work_,
                          {env_entry(ports_)}, firstOut);
  ASSERT_GT(pid, 0);
  const std::string copy = work_ + "/out/status/a.000001.cmd";
  for (int waited = 0; !file_exists(copy) && waited < 20000; waited += 20) sleep_milliseconds(20);
  ASSERT_TRUE(file_exists(copy)) << read_file(firstOut);

  ProcessResult second = campaign({"--dir", "out", "--repeat", "2", "a.cmd"}, 30);
  EXPECT_EQ(second.exitCode, 2);
  EXPECT_EQ(second.err,
            "sms_campaign: out is in use by sms_campaign pid " + std::to_string(pid) + "\n");
  EXPECT_EQ(second.out, "");

  // Killed while run 1 goes on (its message takes 2 s).
  sleep_milliseconds(300);
  kill(pid, SIGKILL);
  ASSERT_EQ(wait_exit(pid, 10), 128 + SIGKILL);
  EXPECT_FALSE(file_exists(work_ + "/out/campaign.csv"));

  ProcessResult r = campaign({"--dir", "out", "--repeat", "2", "a.cmd"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  CampaignLog l = log();
  ASSERT_EQ(l.lines.size(), 2u) << read_file(work_ + "/out/campaign.csv");
  // Run 1, of the killed campaign: its exit was never seen.
  EXPECT_EQ(l.lines[0].run, 1);
  EXPECT_EQ(l.lines[0].exitCode, "");
  EXPECT_EQ(l.lines[0].statusCode, "0");
  EXPECT_EQ(l.lines[0].statusText, "SUCCESS");
  EXPECT_NEAR(std::stod(l.lines[0].deliveryTime), 2.0, 0.4);
  auto byTag = results("results.csv");
  EXPECT_EQ(byTag.size(), 2u);
  expect_success(l.lines[1], byTag, work_ + "/out", 2.0);
  EXPECT_EQ(l.lines[1].run, 2);
  // COM3 was never opened by two runs at once: the first campaign's check,
  // its run, and the run of the second (which checks no port a run of the
  // killed one may still hold).
  std::vector<Interval> com3 = open_intervals(ports_, "COM3");
  ASSERT_EQ(com3.size(), 1 + 2u) << read_file(ports_ + "/COM3.traffic.log");
  for (size_t i = 1; i < com3.size(); ++i) {
    EXPECT_GE(com3[i].open, com3[i - 1].close) << read_file(ports_ + "/COM3.traffic.log");
  }
}

// A stand-in for SMS_TEST, by what its command file copy says: "Stubborn"
// ignores SIGINT, SIGTERM and SIGHUP and hangs; "Hang" hangs; "Edit" notes
// the record it was given and rewrites the command file the campaign was
// started with, moving it to other ports.
const char kHangingTool[] =
    "#!/bin/sh\n"
    "if grep -q Stubborn \"$1\"; then trap '' INT TERM HUP; fi\n"
    "sed -n 3p \"$1\" >> ../seen.txt\n"
    "if grep -q Stubborn \"$1\"; then exec sleep 30; fi\n"
    "if grep -q Hang \"$1\"; then exec sleep 30; fi\n"
    "printf 'SMS_TEST\\nr.csv\\nEdit|10|7|5|x|0|0|9600|8|9600|0\\n' > ../edit.cmd\n"
    "echo '0 SUCCESS' > \"$2\"\n";

class CampaignToolTest : public CampaignRunTest {
 protected:
  void SetUp() override {
    tool_ = work_ + "/fake_sms_test";
    ASSERT_TRUE(write_file(tool_, kHangingTool));
    ASSERT_EQ(chmod(tool_.c_str(), 0755), 0);
  }
  std::string tool_;
};

// A run that does not end within its testTimeout + --run-margin gets
// SIGTERM, then SIGKILL 5 s later, and says so in its line.
TEST_F(CampaignToolTest, AHungRunIsStoppedByTheWatchdog) {
  write_cmd("hang.cmd", "Hang|1|3|5|x|0|0|9600|4|9600|0");
  write_cmd("stubborn.cmd", "Stubborn|1|5|5|x|0|0|9600|6|9600|0");
  const double start = steady_seconds();
  ProcessResult r = campaign({"--dir", "out", "--repeat", "1", "--run-margin", "1", "--sms-test",
                              tool_, "--no-check", "hang.cmd", "stubborn.cmd"},
                             40);
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  EXPECT_LT(steady_seconds() - start, 15);
  std::map<std::string, CampaignLine> byFile;
  for (const CampaignLine& line : log().lines) byFile[line.cmdFile] = line;
  ASSERT_EQ(byFile.size(), 2u);
  EXPECT_EQ(byFile["hang.cmd"].exitCode, "143");
  EXPECT_EQ(byFile["hang.cmd"].statusText,
            "no status file and no result line: SMS_TEST killed after 2 s");
  EXPECT_EQ(byFile["stubborn.cmd"].exitCode, "137");
  EXPECT_EQ(byFile["stubborn.cmd"].statusText,
            "no status file and no result line: SMS_TEST killed after 2 s");
}

// The first SIGINT is passed on; a run that ignores it is killed at once by
// a second interrupt, instead of holding the campaign up.
TEST_F(CampaignToolTest, ASecondInterruptEndsTheRunsAtOnce) {
  write_cmd("stubborn.cmd", "Stubborn|100|5|5|x|0|0|9600|6|9600|0");
  const std::string out = work_ + "/campaign.out";
  pid_t pid = start_async({SMS_CAMPAIGN_BINARY, "--dir", "out", "--repeat", "1", "--sms-test",
                           tool_, "--no-check", "stubborn.cmd"},
                          work_, {}, out);
  ASSERT_GT(pid, 0);
  for (int waited = 0; !file_exists(work_ + "/seen.txt") && waited < 10000; waited += 20)
    sleep_milliseconds(20);
  kill(pid, SIGINT);
  sleep_milliseconds(300);
  kill(pid, SIGTERM);
  ASSERT_EQ(wait_exit(pid, 5), 130) << read_file(out);
  std::vector<CampaignLine> lines = log().lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].exitCode, "137");
  EXPECT_EQ(lines[0].statusText,
            "no status file and no result line: SMS_TEST ended by signal 9 (SIGKILL)");
}

// Every run reads the copy of its command file taken when the campaign
// started: an edit during the campaign can't move a run onto other ports.
TEST_F(CampaignToolTest, EveryRunReadsTheCommandFileAsItWasAtTheStart) {
  write_cmd("edit.cmd", "Edit|10|3|5|x|0|0|9600|4|9600|0");
  ProcessResult r = campaign(
      {"--dir", "out", "--repeat", "3", "--sms-test", tool_, "--no-check", "edit.cmd"}, 30);
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  EXPECT_EQ(read_file(work_ + "/seen.txt"),
            "Edit|10|3|5|x|0|0|9600|4|9600|0\n"
            "Edit|10|3|5|x|0|0|9600|4|9600|0\n"
            "Edit|10|3|5|x|0|0|9600|4|9600|0\n");
  EXPECT_EQ(read_file(work_ + "/out/status/edit.000002.cmd"),
            "SMS_TEST\nresults.csv\nEdit|10|3|5|x|0|0|9600|4|9600|0\n");
  EXPECT_EQ(log().lines.size(), 3u);
}

}  // namespace
}  // namespace smstest
