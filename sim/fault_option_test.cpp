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

std::string joined(const Reply& reply) {
  std::string out;
  for (const AnswerPiece& piece : reply.pieces) out += piece.bytes;
  return out;
}

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
  EXPECT_TRUE(modem_with("echo-on").faults.echoStays);
  EXPECT_TRUE(modem_with("big-delete").faults.bigDelete);
  EXPECT_DOUBLE_EQ(modem_with("split-report").faults.splitReport, 0.5);
  EXPECT_DOUBLE_EQ(modem_with("split-report=1.5").faults.splitReport, 1.5);
  EXPECT_EQ(modem_with("sender=BANK\"; x").faults.sender, "BANK\"; x");
  struct Bad {
    const char* option;
  } bad[] = {{"stall=0"},      {"stall=x"},        {"stall"},   {"split-report=0"}, {"echo-on=1"},
             {"big-delete=2"}, {"split-report=x"}, {"sender="}, {"sender"}};
  for (const Bad& b : bad) {
    ModemConfig config;
    std::string error;
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=1,") + b.option, config, error))
        << b.option;
    EXPECT_NE(error.find("modem option"), std::string::npos) << error;
  }
}

TEST(SimFaultOptions, EchoOnKeepsEchoingAfterAte0) {
  SimModem modem(modem_with("echo-on"));
  EXPECT_EQ(joined(modem.answer("ATE0")), "ATE0\r\r\nOK\r\n");
  EXPECT_TRUE(modem.echo());
  EXPECT_EQ(joined(modem.answer("AT!DASMS")), "AT!DASMS\r\r\nOK\r\n");
}

TEST(SimFaultOptions, SplitReportHoldsTheBodyBack) {
  SimModem modem(modem_with("split-report=0.7"));
  modem.answer("ATE0");
  modem.store("5551234", "hi", 0);
  Reply reply = modem.answer("AT!GSMS?2,0");
  ASSERT_EQ(reply.pieces.size(), 2u);
  EXPECT_EQ(reply.pieces[0].pause, 0);
  EXPECT_EQ(reply.pieces[0].bytes.find("Msg Body:"), std::string::npos);
  EXPECT_NE(reply.pieces[0].bytes.find("Address: 5551234\r\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(reply.pieces[1].pause, 0.7);
  EXPECT_EQ(reply.pieces[1].bytes, "Msg Body: hi\r\n\r\nOK\r\n");
  // Nothing stored: one piece as always.
  SimModem empty(modem_with("split-report"));
  empty.answer("ATE0");
  EXPECT_EQ(empty.answer("AT!GSMS?2,0").pieces.size(), 1u);
}

TEST(SimFaultOptions, SenderReplacesTheRealOne) {
  SimModem modem(modem_with("sender=+ABC\"D"));
  modem.answer("ATE0");
  modem.store("5551234", "hi", 0);
  const std::string report = joined(modem.answer("AT!GSMS?2,0"));
  EXPECT_NE(report.find("\r\nAddress: +ABC\"D\r\n"), std::string::npos) << report;
}

TEST(SimFaultOptions, BigDeleteAndLateRefusal) {
  SimModem modem(modem_with("big-delete,send-refused,confirm-late=1.5"));
  modem.answer("ATE0");
  const std::string deleted = joined(modem.answer("AT!DSMS=3,0"));
  EXPECT_GT(deleted.size(), 41000u);
  EXPECT_EQ(deleted.substr(deleted.size() - 6), "\r\nOK\r\n");
  Reply refused = modem.answer("AT!SSMS=0,1,1,\"x\"");
  ASSERT_EQ(refused.pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(refused.pieces[0].pause, 1.5);
  EXPECT_EQ(refused.pieces[0].bytes, "\r\nERROR\r\n");
  EXPECT_FALSE(refused.sends);
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
