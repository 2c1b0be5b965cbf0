// The real modem_sim binary, started as a child process the way scripts
// and whole-run tests start it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "sim/sim_process.h"
#include "sim/simulator.h"
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

std::string link_target(const std::string& path) {
  char target[4096];
  ssize_t n = readlink(path.c_str(), target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

std::string file_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(ModemSimBinary, DirCreatesItsMissingParents) {
  std::filesystem::remove_all(temp_dir("modem_sim_parents"));  // left by an earlier run
  std::string dir = temp_dir("modem_sim_parents") + "/run/ports";
  std::string output;
  EXPECT_EQ(0, run_to_end({"--dir", dir, "--duration", "0.1", "--modem", "COM3=5550103"}, output));
  EXPECT_EQ("modem_sim: ready " + dir + " COM3=5550103\n", output);
  EXPECT_TRUE(exists(dir + "/network.log"));
  EXPECT_FALSE(exists(dir + "/modem_sim.lock"));  // gone with the simulator
  // A file where a parent should be is no folder to serve.
  std::string file = temp_dir("modem_sim_parents") + "/file";
  std::ofstream(file) << "x";
  EXPECT_EQ(2, run_to_end({"--dir", file + "/ports", "--modem", "COM3=1"}, output));
  EXPECT_EQ(0u, output.find("modem_sim: cannot create directory " + file + "/ports: ")) << output;
}

TEST(ModemSimBinary, SecondSimulatorOnADirInUseIsRefusedNamingTheFirst) {
  std::string dir = temp_dir("modem_sim_twice");
  SimProcess first;
  ASSERT_TRUE(first.start(MODEM_SIM_BINARY, {"--dir", dir, "--modem", "COM3=5550103"}))
      << first.lastError;
  PtyPeer peer;
  ASSERT_TRUE(peer.open(dir + "/COM3")) << peer.lastError;
  EXPECT_EQ("AT\r\r\nOK\r\n", peer.command("AT"));
  const std::string link = link_target(dir + "/COM3");
  const std::string log = file_text(dir + "/COM3.traffic.log");

  std::string output;
  EXPECT_EQ(
      2, run_to_end({"--dir", dir, "--modem", "COM3=5550103", "--modem", "COM4=5550104"}, output));
  EXPECT_EQ(
      format("modem_sim: %s is in use by another modem_sim (pid %d)\n", dir.c_str(), first.pid()),
      output);
  // The first one keeps its links, its records and its client.
  EXPECT_EQ(link, link_target(dir + "/COM3"));
  EXPECT_FALSE(exists(dir + "/COM4"));
  EXPECT_EQ(log, file_text(dir + "/COM3.traffic.log"));
  EXPECT_EQ("AT\r\r\nOK\r\n", peer.command("AT"));
  peer.close();

  // In the same process as well: the claim is on the folder, not the program.
  SimConfig config;
  config.dir = dir;
  config.modems.push_back(ModemConfig());
  config.modems.back().name = "COM5";
  config.modems.back().number = "5550105";
  Simulator inProcess;
  EXPECT_FALSE(inProcess.start(config));
  EXPECT_EQ(format("%s is in use by another modem_sim (pid %d)", dir.c_str(), first.pid()),
            inProcess.lastError);

  EXPECT_EQ(0, first.stop());
  EXPECT_EQ(0, run_to_end({"--dir", dir, "--duration", "0.1", "--modem", "COM3=5550103"}, output))
      << output;
}

TEST(ModemSimBinary, KilledSimulatorLeavesNoClaimOnItsDir) {
  std::string dir = temp_dir("modem_sim_killed");
  SimProcess killed;
  ASSERT_TRUE(killed.start(MODEM_SIM_BINARY, {"--dir", dir, "--modem", "COM3=5550103"}))
      << killed.lastError;
  ASSERT_EQ(0, kill(killed.pid(), SIGKILL));
  EXPECT_EQ(128 + SIGKILL, killed.stop());
  // Its lock file and its link stay behind; neither keeps the next one out.
  EXPECT_TRUE(exists(dir + "/modem_sim.lock"));
  EXPECT_TRUE(exists(dir + "/COM3"));
  SimProcess next;
  ASSERT_TRUE(next.start(MODEM_SIM_BINARY, {"--dir", dir, "--modem", "COM3=5550103"}))
      << next.lastError << "\n"
      << next.output();
  PtyPeer peer;
  ASSERT_TRUE(peer.open(dir + "/COM3")) << peer.lastError;
  EXPECT_EQ("AT\r\r\nOK\r\n", peer.command("AT"));
  peer.close();
  EXPECT_EQ(format("%d\n", next.pid()), file_text(dir + "/modem_sim.lock"));
  EXPECT_EQ(0, next.stop());
}

}  // namespace

}  // namespace smstest
