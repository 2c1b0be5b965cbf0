// The real modem_sim binary, started as a child process the way scripts
// and whole-run tests start it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "common/text.h"
#include "sim/sim_process.h"
#include "testsupport/pty_peer.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Runs modem_sim with `args` to its end; returns its exit code and leaves
// standard output, then standard error, in `output`.
int run_to_end(const std::vector<std::string>& args, std::string& output) {
  std::vector<std::string> argv = {MODEM_SIM_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult result = run_process(argv, ".", {}, 30);
  output = result.out + result.err;
  return result.exitCode;
}

std::string temp_dir(const char* name) {
  return testing::TempDir() + format("%s_%d", name, static_cast<int>(getpid()));
}

TEST(ModemSimBinary, ServesUntilSigtermThenRemovesItsLinks) {
  std::string dir = temp_dir("modem_sim_bin");
  SimProcess sim;
  ASSERT_TRUE(sim.start(MODEM_SIM_BINARY, {"--dir", dir, "--delay", "0.3", "--modem",
                                           "COM3=5550103", "--modem", "COM4=5550104"}))
      << sim.lastError << "\n"
      << sim.output();
  EXPECT_EQ("modem_sim: ready " + dir + " COM3=5550103 COM4=5550104", sim.ready_line());

  PtyPeer from, to;
  ASSERT_TRUE(from.open(dir + "/COM3")) << from.lastError;
  ASSERT_TRUE(to.open(dir + "/COM4")) << to.lastError;
  EXPECT_EQ("AT\r\r\nOK\r\n", from.command("AT"));
  from.command("ATE0");
  to.command("ATE0");
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", from.command("AT!SSMS=0,5550104,5550104,\"hello\""));
  std::string report;
  for (int i = 0; i < 100 && report.find("Address:") == std::string::npos; ++i) {
    usleep(20000);
    report = to.command("AT!GSMS?2,0");
  }
  EXPECT_NE(std::string::npos, report.find("Address: 5550103\r")) << report;
  EXPECT_NE(std::string::npos, report.find("Msg Body: hello\r")) << report;
  from.close();
  to.close();

  auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(0, sim.stop());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count(), 1.0);
  EXPECT_FALSE(exists(dir + "/COM3"));
  EXPECT_FALSE(exists(dir + "/COM4"));
  std::ifstream traffic(dir + "/COM3.traffic.log");
  std::string first;
  std::getline(traffic, first);
  EXPECT_EQ("open", first.substr(first.find(' ') + 1));
}

TEST(ModemSimBinary, DurationEndsTheRunByItself) {
  std::string dir = temp_dir("modem_sim_duration");
  std::string output;
  EXPECT_EQ(0, run_to_end({"--dir", dir, "--duration", "0.2", "--modem", "COM3=5550103"}, output));
  EXPECT_EQ("modem_sim: ready " + dir + " COM3=5550103\n", output);
  EXPECT_FALSE(exists(dir + "/COM3"));
}

TEST(ModemSimBinary, HelpAndBadArguments) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* output;  // start of what it prints
  } cases[] = {
      {{"--help"}, 0, "Usage: modem_sim --dir DIR --modem NAME=NUMBER"},
      {{}, 2, "modem_sim: no directory given (--dir DIR)\n"},
      {{"--dir", "/tmp", "--modem", "COM3=1,wobbly"},
       2,
       "modem_sim: unknown modem option \"wobbly\"\n"},
      {{"--dir", "/proc/nope", "--modem", "COM3=1"},
       2,
       "modem_sim: cannot create directory /proc/nope"},
  };
  for (const Case& c : cases) {
    std::string output;
    const std::string args = testing::PrintToString(c.args);
    EXPECT_EQ(c.exitCode, run_to_end(c.args, output)) << args;
    EXPECT_EQ(0u, output.find(c.output)) << args << " -> " << output;
  }
}

}  // namespace

}  // namespace smstest
