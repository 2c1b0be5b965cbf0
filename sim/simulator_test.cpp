// The simulator served on a thread, driven through its pseudo-terminals the
// way a client drives a serial port.
#include "sim/simulator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "sim/records.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

int count_records(const std::string& path, const char* event) {
  int count = 0;
  for (const std::string& line : read_lines(path)) count += line.find(event) != std::string::npos;
  return count;
}

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

class SimulatorTest : public testing::Test {
 protected:
  // Starts a simulator in its own directory with `args` after --dir.
  void serve(std::vector<std::string> args) {
    static int run = 0;
    dir_ = testing::TempDir() + format("sim_test_%d_%d", static_cast<int>(getpid()), ++run);
    args.insert(args.begin(), {"--dir", dir_});
    std::string error;
    ASSERT_TRUE(parse_sim_arguments(args, config_, error)) << error;
    ASSERT_TRUE(sim_.start(config_)) << sim_.lastError;
    serving_ = std::thread([this] { sim_.run(); });
  }

  void TearDown() override {
    sim_.request_stop();
    if (serving_.joinable()) serving_.join();
  }

  std::string link(const char* name) { return dir_ + "/" + name; }

  // Opens a client on `name` with echo off.
  void open_quiet(PtyPeer& client, const char* name) {
    ASSERT_TRUE(client.open(link(name))) << client.lastError;
    client.command("ATE0");
  }

  // Polls with AT!GSMS?2,0 until a report comes or `seconds` pass.
  std::string poll_report(PtyPeer& client, double seconds) {
    Clock::time_point start = Clock::now();
    while (seconds_since(start) < seconds) {
      std::string answer = client.command("AT!GSMS?2,0");
      if (answer.find("Address:") != std::string::npos) return answer;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::string();
  }

  std::string dir_;
  SimConfig config_;
  Simulator sim_;
  std::thread serving_;
};

TEST_F(SimulatorTest, HandshakeWithEchoOnThenOffAcrossReopens) {
  serve({"--modem", "COM3=5550103"});
  PtyPeer client;
  ASSERT_TRUE(client.open(link("COM3"))) << client.lastError;
  EXPECT_EQ("AT\r\r\nOK\r\n", client.command("AT"));
  EXPECT_EQ("ATE0\r\r\nOK\r\n", client.command("ATE0"));
  EXPECT_EQ("\r\nOK\r\n", client.command("AT"));
  EXPECT_EQ("\r\nOK\r\n", client.command("AT!DASMS"));
  // PDU mode at start: the unread messages, none here.
  EXPECT_EQ("\r\nOK\r\n", client.command("AT+CMGL"));
  client.close();
  ASSERT_TRUE(client.open(link("COM3"))) << client.lastError;
  EXPECT_EQ("\r\nOK\r\n", client.command("AT"));  // the modem remembers ATE0
}

TEST_F(SimulatorTest, TerminalIsRawForEveryClient) {
  serve({"--modem", "COM3=5550103"});
  for (int round = 0; round < 2; ++round) {
    int fd = open(link("COM3").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    struct termios t;
    ASSERT_EQ(0, tcgetattr(fd, &t));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG)) << "round " << round;
    EXPECT_EQ(0u, t.c_iflag & (ICRNL | IXON)) << "round " << round;
    EXPECT_EQ(0u, t.c_oflag & OPOST) << "round " << round;
    // A careless client leaves the line cooked; the next one must not see it.
    t.c_lflag |= ICANON | ECHO;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    tcsetattr(fd, TCSANOW, &t);
    close(fd);
    // The simulator resets the line when it sees the close, which it records.
    Clock::time_point closed = Clock::now();
    while (count_records(dir_ + "/COM3.traffic.log", " close") <= round &&
           seconds_since(closed) < 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

TEST_F(SimulatorTest, ClientsMayReopenManyTimesAndClaimExclusively) {
  serve({"--modem", "COM3=5550103"});
  PtyPeer client;
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(client.open(link("COM3"))) << "open " << i << ": " << client.lastError;
    ASSERT_TRUE(answer_complete(client.command("AT"))) << "round " << i;
    client.close();
  }
  Clock::time_point closed = Clock::now();
  while (count_records(dir_ + "/COM3.traffic.log", " close") < 40 && seconds_since(closed) < 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(40, count_records(dir_ + "/COM3.traffic.log", " open"));
  EXPECT_EQ(40, count_records(dir_ + "/COM3.traffic.log", " close"));

  // The claim ends with the client that made it.  A user without privileges
  // is refused a claimed terminal, so try as one when the test can.
  if (geteuid() != 0) return;
  chmod(sim_.terminal_path(0).c_str(), 0666);
  pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    for (int i = 0; i < 5; ++i) {
      PtyPeer other;
      if (!other.open(link("COM3"))) _exit(10 + i);
      if (!answer_complete(other.command("AT"))) _exit(20 + i);
      other.close();
      usleep(30000);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "10+i: open refused, 20+i: no answer in round i";
}

TEST_F(SimulatorTest, MessageArrivesAfterItsDelay) {
  serve({"--delay", "0.6", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  PtyPeer from, to;
  open_quiet(from, "COM3");
  open_quiet(to, "COM4");
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", from.command("AT!SSMS=0,5550104,5550104,\"tImE1T hi\""));
  Clock::time_point confirmed = Clock::now();
  std::string report = poll_report(to, 3);
  double took = seconds_since(confirmed);
  EXPECT_GE(took, 0.55);
  EXPECT_LT(took, 0.75);
  EXPECT_NE(std::string::npos, report.find("\r\nAddress: 5550103\r\n")) << report;
  EXPECT_NE(std::string::npos, report.find("\r\nMsg Body: tImE1T hi\r\n")) << report;
  EXPECT_EQ("\r\nOK\r\n", to.command("AT!DSMS=3,0"));
  EXPECT_EQ("\r\nOK\r\n", to.command("AT!GSMS?2,0"));

  std::vector<std::string> record = read_lines(dir_ + "/network.log");
  ASSERT_EQ(2u, record.size());
  double delay = -1;
  ASSERT_EQ(1, sscanf(record[1].c_str(), "%*f delivered COM4 5550103 5550104 1 %lf", &delay))
      << record[1];
  EXPECT_NEAR(0.6, delay, 0.05);
}

TEST_F(SimulatorTest, OutsidePhoneBothWays) {
  serve({"--modem", "COM5=5550105", "--inject", "COM5@0.3:5551234:ping"});
  PtyPeer client;
  open_quiet(client, "COM5");
  std::string report = poll_report(client, 3);
  EXPECT_NE(std::string::npos, report.find("Address: 5551234\r")) << report;
  EXPECT_NE(std::string::npos, report.find("Msg Body: ping\r")) << report;
  EXPECT_EQ("\r\nOK\r\n", client.command("AT!DSMS=3,0"));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", client.command("AT!SSMS=0,5551234,5551234,\"pong\""));
  std::vector<std::string> record = read_lines(dir_ + "/network.log");
  ASSERT_EQ(4u, record.size());
  EXPECT_NE(std::string::npos, record[3].find(" outside COM5 5550105 5551234 1 - pong"))
      << record[3];
}

TEST_F(SimulatorTest, ChunksArriveAsSeparateReads) {
  serve({"--modem", "COM3=5550103,chunks=0.2"});
  PtyPeer client;
  ASSERT_TRUE(client.open(link("COM3")));
  ASSERT_TRUE(client.write("AT\r"));
  auto pieces = client.read_pieces(0.9);
  // Echo and answer, with the line ends split between CR and LF.
  std::vector<std::string> expected = {"AT", "\r\r", "\nO", "K\r", "\n"};
  std::vector<std::string> got;
  for (size_t i = 0; i < pieces.size(); ++i) {
    got.push_back(pieces[i].second);
    if (i > 0) {
      EXPECT_GT(pieces[i].first - pieces[i - 1].first, 0.1) << i;
    }
  }
  EXPECT_EQ(expected, got);
}

TEST_F(SimulatorTest, FaultsAsTheClientSeesThem) {
  serve({"--modem", "COM1=5550101,silent", "--modem", "COM2=5550102,nul,big", "--modem",
         "COM3=5550103,confirm-late=0.4", "--modem", "COM4=5550104,unsolicited=0.2"});
  PtyPeer silent, noisy, late, chatty;
  ASSERT_TRUE(silent.open(link("COM1")));
  EXPECT_EQ("", silent.command("AT", 0.3));

  open_quiet(noisy, "COM2");
  EXPECT_EQ(std::string("\r\n\0OK\r\n", 7), noisy.command("AT"));
  std::string big = noisy.command("AT!GSMS?2,0", 5);
  EXPECT_GT(big.size(), 40960u);
  EXPECT_EQ(std::string("\r\n\0OK\r\n", 7), big.substr(big.size() - 7));

  open_quiet(late, "COM3");
  Clock::time_point sent = Clock::now();
  std::string answer = late.command("AT!SSMS=0,5559999,5559999,\"x\"");
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", answer);
  EXPECT_GE(seconds_since(sent), 0.39);

  open_quiet(chatty, "COM4");
  std::string unasked = chatty.read_for(0.45);
  EXPECT_NE(std::string::npos, unasked.find("\r\n+CREG: 1\r\n")) << escape_bytes(unasked);
}

TEST_F(SimulatorTest, HangupClosesTheTerminalAndTheLink) {
  serve({"--modem", "COM3=5550103,hangup=2"});
  PtyPeer client;
  ASSERT_TRUE(client.open(link("COM3")));
  EXPECT_EQ("AT\r\r\nOK\r\n", client.command("AT"));
  EXPECT_EQ("AT\r\r\nOK\r\n", client.command("AT"));
  client.read_for(2);  // returns at the hang-up, 0.3 s after the answer
  EXPECT_TRUE(client.hung_up());
  EXPECT_FALSE(exists(link("COM3")));
  client.close();
  EXPECT_FALSE(client.open(link("COM3")));
}

TEST_F(SimulatorTest, StopRemovesLinksPromptly) {
  serve({"--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  EXPECT_EQ(format("modem_sim: ready %s COM3=5550103 COM4=5550104", dir_.c_str()),
            sim_.ready_line());
  EXPECT_TRUE(exists(link("COM3")));
  EXPECT_TRUE(exists(link("COM4")));
  Clock::time_point asked = Clock::now();
  sim_.request_stop();
  serving_.join();
  EXPECT_LT(seconds_since(asked), 0.5);
  EXPECT_FALSE(exists(link("COM3")));
  EXPECT_FALSE(exists(link("COM4")));
}

TEST(SimulatorStart, RefusesToReplaceAFileAndLeavesNoLink) {
  std::string dir = testing::TempDir() + format("sim_start_%d", static_cast<int>(getpid()));
  mkdir(dir.c_str(), 0777);
  std::ofstream(dir + "/COM4") << "not a link";
  SimConfig config;
  std::string error;
  ASSERT_TRUE(
      parse_sim_arguments({"--dir", dir, "--modem", "COM3=1", "--modem", "COM4=2"}, config, error));
  Simulator sim;
  EXPECT_FALSE(sim.start(config));
  EXPECT_EQ(dir + "/COM4 exists and is not a link", sim.lastError);
  EXPECT_FALSE(exists(dir + "/COM3"));
  unlink((dir + "/COM4").c_str());
}

}  // namespace

}  // namespace smstest
