// The faults of the simulated modems that whole runs use to show how the
// tool copes with stale bytes, echo that stays on, reports in pieces,
// hostile senders and modems that stop reading: parsed from the options,
// and what each does to the answers (on the modem's own, clock-free model).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/modem.h"
#include "sim/network.h"
#include "sim/sim_config.h"

namespace smstest {

namespace {

ModemConfig modem_with(const std::string& options) {
  ModemConfig config;
  std::string error;
  EXPECT_TRUE(
      parse_modem_argument("COM3=5550103" + (options.empty() ? "" : "," + options), config, error))
      << options << ": " << error;
  return config;
}

TEST(SimFaultOptions, ParseAndRefuseBadValues) {
  EXPECT_EQ(modem_with("stall=6").faults.stallAfter, 6);
  struct Bad {
    const char* option;
  } bad[] = {{"stall=0"}, {"stall=x"}, {"stall"}};
  for (const Bad& b : bad) {
    ModemConfig config;
    std::string error;
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=1,") + b.option, config, error))
        << b.option;
    EXPECT_NE(error.find("modem option"), std::string::npos) << error;
  }
}

// A line that records what the network does to it.
struct RecordingLine : SimLine {
  std::string out;
  int stalls = 0;
  void write(const std::string& bytes) override { out += bytes; }
  void hang_up() override {}
  void stall() override { ++stalls; }
};

TEST(SimFaultOptions, StallAnswersTheCommandThenReadsNothing) {
  SimConfig config;
  config.modems.push_back(modem_with("stall=2"));
  SimNetwork network(config);
  RecordingLine line;
  network.attach_line(0, &line);
  network.start(0);
  network.client_opened(0, 0);
  const std::string commands = "AT\rATE0\rAT\r";
  network.receive(0, commands.data(), commands.size(), 0);
  network.run_due(1);
  // The second command is answered; the third is never read.
  EXPECT_EQ(line.out, "AT\r\r\nOK\r\nATE0\r\r\nOK\r\n");
  EXPECT_EQ(line.stalls, 1);
  network.receive(0, "AT\r", 3, 2);
  network.run_due(3);
  EXPECT_EQ(line.out, "AT\r\r\nOK\r\nATE0\r\r\nOK\r\n");
  EXPECT_EQ(line.stalls, 1);
}

}  // namespace

}  // namespace smstest
