// The standard SMS commands through the simulator's pseudo-terminals, the
// way a tool drives a modem: a text-mode round trip between two modems, a
// cancelled send, and the new faults as a client sees them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "sim/records.h"
#include "sim/simulator.h"
#include "sim/test_client.h"

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

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether `answer` ends in a final result code or the send prompt.
bool answer_done(const std::string& answer) {
  if (ends_with(answer, "OK\r\n") || ends_with(answer, "\r\nERROR\r\n") ||
      ends_with(answer, "\r\n> ") || ends_with(answer, "\r\n>")) {
    return true;
  }
  size_t line = answer.rfind("\r\n", answer.size() >= 3 ? answer.size() - 3 : 0);
  if (line == std::string::npos || !ends_with(answer, "\r\n")) return false;
  std::string last = answer.substr(line + 2);
  return last.compare(0, 11, "+CMS ERROR:") == 0 || last.compare(0, 11, "+CME ERROR:") == 0;
}

class StandardSimulatorTest : public testing::Test {
 protected:
  void serve(std::vector<std::string> args) {
    static int run = 0;
    dir_ = testing::TempDir() + format("sim_std_%d_%d", static_cast<int>(getpid()), ++run);
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

  // Opens `name` and sets it up as a tool does for text mode.
  void open_text_mode(SimClient& client, const char* name) {
    ASSERT_TRUE(client.open(dir_ + "/" + name)) << client.lastError;
    for (const char* command :
         {"ATE0", "AT+CMEE=1", "AT+CMGF=1", "AT+CSCS=\"IRA\"", "AT+CNMI=2,1,0,0,0"}) {
      std::string answer = ask(client, command);
      ASSERT_TRUE(ends_with(answer, "\r\nOK\r\n"))
          << name << " " << command << ": " << escape_bytes(answer);
    }
  }

  std::string ask(SimClient& client, const std::string& bytes, double seconds = 2.0) {
    if (!client.write(bytes + (bytes.back() == '\x1a' || bytes.back() == '\x1b' ? "" : "\r"))) {
      return std::string();
    }
    return client.read_until(answer_done, seconds);
  }

  std::vector<std::string> network_record() { return read_lines(dir_ + "/network.log"); }

  std::string dir_;
  SimConfig config_;
  Simulator sim_;
  std::thread serving_;
};

TEST_F(StandardSimulatorTest, TextModeRoundTripBetweenTwoModems) {
  serve({"--delay", "0.4", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  SimClient from, to;
  open_text_mode(from, "COM3");
  open_text_mode(to, "COM4");
  EXPECT_EQ("\r\n> ", ask(from, "AT+CMGS=\"5550104\""));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", ask(from, "tImE7T hi there\x1a"));
  Clock::time_point confirmed = Clock::now();
  std::string notice = to.read_until(
      [](const std::string& s) { return s.find("\r\n+CMTI: \"SM\",1\r\n") != std::string::npos; },
      3);
  double took = seconds_since(confirmed);
  EXPECT_EQ("\r\n+CMTI: \"SM\",1\r\n", notice);
  EXPECT_GE(took, 0.35);
  EXPECT_LT(took, 0.6);

  std::string listing = ask(to, "AT+CMGL=\"ALL\"");
  EXPECT_EQ(0u, listing.find("\r\n+CMGL: 1,\"REC UNREAD\",\"5550103\",,\"")) << listing;
  EXPECT_TRUE(ends_with(listing, "+00\"\r\ntImE7T hi there\r\n\r\nOK\r\n")) << listing;
  std::string read = ask(to, "AT+CMGR=1");
  EXPECT_EQ(0u, read.find("\r\n+CMGR: \"REC READ\",\"5550103\",,\"")) << read;
  EXPECT_TRUE(ends_with(read, "\r\ntImE7T hi there\r\n\r\nOK\r\n")) << read;
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGD=1"));
  EXPECT_EQ("\r\nOK\r\n", ask(to, "AT+CMGL=\"ALL\""));

  std::vector<std::string> record = network_record();
  ASSERT_EQ(2u, record.size());
  EXPECT_NE(std::string::npos, record[0].find(" sent COM3 5550103 5550104 1 - tImE7T hi there"));
  double delay = -1;
  ASSERT_EQ(1, sscanf(record[1].c_str(), "%*f delivered COM4 5550103 5550104 1 %lf", &delay))
      << record[1];
  EXPECT_NEAR(0.4, delay, 0.05);
}

TEST_F(StandardSimulatorTest, EscapeCancelsTheSend) {
  serve({"--delay", "0.1", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  SimClient client;
  open_text_mode(client, "COM3");
  EXPECT_EQ("\r\n> ", ask(client, "AT+CMGS=\"5550104\""));
  EXPECT_EQ("\r\nOK\r\n", ask(client, "not this one\x1b"));
  EXPECT_EQ("\r\nOK\r\n", ask(client, "AT"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(network_record().empty());
}

TEST_F(StandardSimulatorTest, NewFaultsAsTheClientSeesThem) {
  serve({"--delay", "0.1", "--modem", "COM1=5550101,bare-prompt,byte-split=0.02", "--modem",
         "COM2=5550102,sticky-echo,urc-inside=RING", "--modem", "COM5=5550105,sim-busy=0.5",
         "--modem", "COM6=5550106,stored=1,storage-full,no-cnmi", "--modem",
         "COM7=5550107,send-error=330", "--store", "COM6:+15551234:from before"});

  SimClient bare;
  ASSERT_TRUE(bare.open(dir_ + "/COM1"));
  ask(bare, "ATE0");
  ask(bare, "AT+CMGF=1");
  ASSERT_TRUE(bare.write("AT+CMGS=\"5550102\"\r"));
  auto pieces = bare.read_pieces(0.3);
  std::string prompt;
  for (const auto& piece : pieces) prompt += piece.second;
  EXPECT_EQ("\r\n>", prompt);
  EXPECT_GE(pieces.size(), 2u);  // one byte at a time, 20 ms apart
  EXPECT_EQ("\r\nOK\r\n", ask(bare, "\x1b"));

  SimClient echoing;
  ASSERT_TRUE(echoing.open(dir_ + "/COM2"));
  EXPECT_EQ("ATE0\r\r\nRING\r\n\r\nOK\r\n", ask(echoing, "ATE0"));
  EXPECT_EQ("AT\r\r\nRING\r\n\r\nOK\r\n", ask(echoing, "AT"));

  SimClient busy;
  ASSERT_TRUE(busy.open(dir_ + "/COM5"));
  Clock::time_point opened = Clock::now();
  ask(busy, "ATE0");
  EXPECT_EQ("\r\nOK\r\n", ask(busy, "AT+CMEE=1"));
  EXPECT_EQ("\r\nOK\r\n", ask(busy, "AT+CMGF=1"));
  EXPECT_EQ("\r\n+CMS ERROR: 314\r\n", ask(busy, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CME ERROR: 14\r\n", ask(busy, "AT+CPMS?"));
  std::this_thread::sleep_for(std::chrono::duration<double>(0.6 - seconds_since(opened)));
  EXPECT_EQ("\r\n> ", ask(busy, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", ask(busy, "to a full store\x1a"));

  SimClient full;
  ASSERT_TRUE(full.open(dir_ + "/COM6"));
  ask(full, "ATE0");
  ask(full, "AT+CMGF=1");
  ask(full, "AT+CSCS=\"IRA\"");
  EXPECT_EQ("\r\nERROR\r\n", ask(full, "AT+CNMI=2,1,0,0,0"));
  EXPECT_EQ("\r\n+CPMS: \"SM\",2,2,\"SM\",2,2,\"SM\",2,2\r\n\r\nOK\r\n", ask(full, "AT+CPMS?"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string listing = ask(full, "AT+CMGL=\"ALL\"");
  EXPECT_NE(std::string::npos, listing.find(",\"+15550000001\",,\"")) << listing;
  EXPECT_NE(std::string::npos, listing.find("\r\nfrom before\r\n")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("full store")) << listing;

  SimClient failing;
  ASSERT_TRUE(failing.open(dir_ + "/COM7"));
  ask(failing, "ATE0");
  ask(failing, "AT+CMEE=1");
  ask(failing, "AT+CMGF=1");
  EXPECT_EQ("\r\n> ", ask(failing, "AT+CMGS=\"5550106\""));
  EXPECT_EQ("\r\n+CMS ERROR: 330\r\n", ask(failing, "x\x1a"));

  std::vector<std::string> record = network_record();
  ASSERT_EQ(4u, record.size());
  EXPECT_NE(std::string::npos, record[0].find(" stored COM6 +15550000001 5550106 - - stored "));
  EXPECT_NE(std::string::npos, record[1].find(" stored COM6 +15551234 5550106 - - from before"));
  EXPECT_NE(std::string::npos, record[2].find(" sent COM5 5550105 5550106 1 - to a full store"));
  EXPECT_NE(std::string::npos, record[3].find(" refused COM6 5550105 5550106 1 - to a full"));
}

TEST(StandardHelp, NamesEveryNewOptionAndCommand) {
  std::string usage = sim_usage();
  for (const char* name : {"urc-inside[=LINE]",
                           "bare-prompt",
                           "send-error=N",
                           "sim-busy=SECONDS",
                           "no-cnmi",
                           "stored=N",
                           "--store MODEM:FROM:TEXT",
                           "sticky-echo",
                           "storage-full",
                           "byte-split[=SECONDS]",
                           "store-size=N",
                           "AT+CMEE",
                           "AT+CMGF",
                           "AT+CSCS",
                           "AT+CNMI",
                           "AT+CPMS",
                           "AT+CMGS",
                           "AT+CMGL",
                           "AT+CMGR",
                           "AT+CMGD",
                           "+CMTI: \"SM\",<index>",
                           "refused",
                           "stored "}) {
    EXPECT_NE(std::string::npos, usage.find(name)) << name;
  }
}

}  // namespace
}  // namespace smstest
