// The standard SMS commands across the network, on a clock of the test's
// own: a text-mode send and its "+CMTI:" on the other modem, announcements
// around answers and text entries, the SIM-busy time, stored and refused
// messages, and what the records show.
#include <gtest/gtest.h>

#include "sim/network_fixture.h"

namespace smstest {
namespace {

using testing_network::Line;
using testing_network::read_lines;

class StandardNetworkTest : public testing_network::NetworkFixture {};

TEST_F(StandardNetworkTest, TextModeDialogueBetweenTwoModems) {
  begin();
  open_text_mode(0);
  open_text_mode(1);
  now_ = 101;
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5550104\"\r"));
  EXPECT_EQ("", type(0, "tImE1T hel"));
  now_ = 102;
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(0, "lo\x1a"));
  advance_to(103.499);
  EXPECT_EQ("", lines_[1].take());
  advance_to(103.5);
  EXPECT_EQ("\r\n+CMTI: \"SM\",1\r\n", lines_[1].take());
  ASSERT_EQ(1u, lines_[1].writes.size() - 5);
  EXPECT_DOUBLE_EQ(103.5, lines_[1].writes.back().first);

  now_ = 104;
  std::string header = "\"REC UNREAD\",\"5550103\",,\"" + stamp(1, 0) + "\"\r\n";
  EXPECT_EQ("\r\n+CMGL: 1," + header + "tImE1T hello\r\n\r\nOK\r\n", type(1, "AT+CMGL=\"ALL\"\r"));
  EXPECT_EQ("\r\n+CMGR: \"REC READ\"" + header.substr(12) + "tImE1T hello\r\n\r\nOK\r\n",
            type(1, "AT+CMGR=1\r"));
  EXPECT_EQ("\r\nOK\r\n", type(1, "AT+CMGD=1\r"));
  EXPECT_EQ("\r\nOK\r\n", type(1, "AT+CMGL=\"ALL\"\r"));

  std::vector<std::string> expected = {
      "2.000 sent COM3 5550103 5550104 1 - tImE1T hello",
      "3.500 delivered COM4 5550103 5550104 1 1.500 tImE1T hello",
  };
  EXPECT_EQ(expected, network_record());
  std::vector<std::string> sender = traffic("COM3");
  std::vector<std::string> tail(sender.end() - 5, sender.end());
  std::vector<std::string> expectedTail = {
      "1.000 cmd AT+CMGS=\"5550104\"",
      "1.000 out \\r\\n> ",
      "2.000 cmd tImE1T hello\\x1A",
      "2.000 out \\r\\n+CMGS: 1\\r\\n\\r\\nOK\\r\\n",
  };
  EXPECT_EQ(expectedTail, std::vector<std::string>(tail.begin() + 1, tail.end()));
}

TEST_F(StandardNetworkTest, EscapeCancelsAndNothingIsSent) {
  begin();
  open_text_mode(0);
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5550104\"\r"));
  EXPECT_EQ("\r\nOK\r\n", type(0, "never mind\x1b"));
  advance_to(110);
  EXPECT_TRUE(network_record().empty());
  EXPECT_TRUE(network_->modem(1).messages().empty());
  EXPECT_EQ("0.000 cmd never mind\\x1B", traffic("COM3")[traffic("COM3").size() - 2]);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(0, "AT+CMGS=\"5550104\"\rx\x1a").substr(4));
}

TEST_F(StandardNetworkTest, EchoedTextIsWrittenButNotRecordedAsACommand) {
  begin();
  type(0, "AT+CMGF=1\r");
  EXPECT_EQ("AT+CMGS=\"1\"\r\r\n> ", type(0, "AT+CMGS=\"1\"\r"));
  EXPECT_EQ("ab\r\n> c", type(0, "ab\rc"));
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(0, "\x1a"));
  std::vector<std::string> records = traffic("COM3");
  int commands = 0;
  for (const std::string& line : records) commands += line.find(" cmd ") != std::string::npos;
  EXPECT_EQ(3, commands);
  EXPECT_EQ("0.000 cmd ab\\rc\\x1A", records[records.size() - 2]);
  EXPECT_EQ("0.000 out ab\\r\\n> c", records[records.size() - 3]);
}

TEST_F(StandardNetworkTest, AnnouncementWaitsForTheEndOfATextEntry) {
  begin("", ",confirm-late=0.5");
  open_text_mode(0);
  open_text_mode(1);
  type(0, "AT+CMGS=\"5550104\"\rping\x1a");
  now_ = 101;
  EXPECT_EQ("\r\n> ", type(1, "AT+CMGS=\"5551234\"\rpo"));
  advance_to(102);  // the message arrived at 101.5, during the entry
  EXPECT_EQ(1u, network_->modem(1).messages().size());
  EXPECT_EQ("", lines_[1].take());
  EXPECT_EQ("", type(1, "ng\x1a"));  // the late confirmation is due at 102.5
  advance_to(103);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n", lines_[1].take());
  EXPECT_DOUBLE_EQ(102.5, lines_[1].writes.back().first);
}

TEST_F(StandardNetworkTest, ModeOneDropsTheAnnouncementWhileBusy) {
  begin("", ",confirm-late=1");
  open_text_mode(0);
  open_text_mode(1);
  type(1, "AT+CNMI=1,1\r");
  // Idle at the arrival: announced.
  type(0, "AT+CMGS=\"5550104\"\ra\x1a");
  advance_to(101.5);
  EXPECT_EQ("\r\n+CMTI: \"SM\",1\r\n", lines_[1].take());
  // At the next arrival COM4's late confirmation is under way: dropped.
  now_ = 102;
  type(0, "AT+CMGS=\"5550104\"\rb\x1a");
  now_ = 103;
  type(1, "AT+CMGS=\"5551234\"\rc\x1a");
  advance_to(105);
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", lines_[1].take());
  EXPECT_EQ(2u, network_->modem(1).messages().size());
}

TEST_F(StandardNetworkTest, PeriodicLinesPauseDuringATextEntry) {
  begin(",unsolicited=1");
  open_text_mode(0);
  now_ = 100.5;
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5551234\"\r"));
  advance_to(102.9);
  EXPECT_EQ("", lines_[0].take());
  EXPECT_EQ("\r\nOK\r\n", type(0, "\x1b"));
  advance_to(103);
  EXPECT_EQ("\r\n+CREG: 1\r\n", lines_[0].take());
}

TEST_F(StandardNetworkTest, NoCnmiMeansNoAnnouncementAtAll) {
  begin("", ",no-cnmi,unsolicited=10");
  type(1, "ATE0\r");
  EXPECT_EQ("\r\nERROR\r\n", type(1, "AT+CNMI=2,1,0,0,0\r"));
  type(0, "AT!SSMS=0,5550104,5550104,\"x\"\r");
  advance_to(105);
  EXPECT_EQ(1u, network_->modem(1).messages().size());
  EXPECT_EQ("", lines_[1].take());
}

TEST_F(StandardNetworkTest, SimIsBusyForItsTimeAfterEachOpen) {
  begin(",sim-busy=3");
  open_text_mode(0);  // settings are no SIM business
  struct Step {
    double at;
    const char* command;
    const char* answer;
  } steps[] = {
      {101, "AT+CMGS=\"5550104\"", "\r\n+CMS ERROR: 314\r\n"},
      {102.999, "AT+CMGL=\"ALL\"", "\r\n+CME ERROR: 14\r\n"},
      {102.999, "AT+CPMS?", "\r\n+CME ERROR: 14\r\n"},
      {103, "AT+CMGL=\"ALL\"", "\r\nOK\r\n"},
      {103, "AT+CMGS=\"5550104\"", "\r\n> "},
  };
  for (const Step& step : steps) {
    advance_to(step.at);
    EXPECT_EQ(escape_bytes(step.answer), escape_bytes(type(0, std::string(step.command) + "\r")))
        << step.at << " " << step.command;
  }
  EXPECT_EQ("\r\nOK\r\n", type(0, "\x1b"));
  // A new client finds the SIM busy again; the settings stayed.
  network_->client_closed(0, 110);
  network_->client_opened(0, 111);
  advance_to(113.9);
  EXPECT_EQ("\r\n+CMS ERROR: 314\r\n", type(0, "AT+CMGS=\"5550104\"\r"));
  advance_to(114);
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5550104\"\r"));
}

TEST_F(StandardNetworkTest, SimBusyCountsFromTheFirstBytesWhenTheOpenIsLate) {
  begin(",sim-busy=2");
  network_->client_closed(0, 100);
  advance_to(105);
  type(0, "ATE0\rAT+CMEE=1\rAT+CMGF=1\r");  // the client's bytes before its open event
  network_->client_opened(0, 105.5);
  advance_to(106.9);
  EXPECT_EQ("\r\n+CMS ERROR: 314\r\n", type(0, "AT+CMGS=\"1\"\r"));
  advance_to(107);
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"1\"\r"));
}

TEST_F(StandardNetworkTest, MessagesStoredBeforeTheRun) {
  config_.modems.resize(2);
  std::string error;
  ASSERT_TRUE(parse_modem_argument("COM3=5550103", config_.modems[0], error));
  ASSERT_TRUE(parse_modem_argument("COM4=5550104,stored=2", config_.modems[1], error));
  config_.modems[1].stored.push_back({"5551234", "kept, \"quoted\""});
  begin_with_config();
  std::vector<std::string> expected = {
      "0.000 stored COM4 +15550000001 5550104 - - stored message 1",
      "0.000 stored COM4 5550000002 5550104 - - stored message 2",
      "0.000 stored COM4 5551234 5550104 - - kept, \"quoted\"",
  };
  EXPECT_EQ(expected, network_record());
  open_text_mode(1);
  const auto& messages = network_->modem(1).messages();
  ASSERT_EQ(3u, messages.size());
  int64_t now = calendar_seconds();
  EXPECT_NEAR(static_cast<double>(now - 180), static_cast<double>(messages[0].arrived), 2);
  EXPECT_NEAR(static_cast<double>(now - 60), static_cast<double>(messages[2].arrived), 2);
  EXPECT_EQ(
      "\r\n"
      "+CMGL: 1,\"REC UNREAD\",\"+15550000001\",,\"" +
          stamp(1, 0) +
          "\"\r\nstored message 1\r\n"
          "+CMGL: 2,\"REC UNREAD\",\"5550000002\",,\"" +
          stamp(1, 1) +
          "\"\r\nstored message 2\r\n"
          "+CMGL: 3,\"REC UNREAD\",\"5551234\",,\"" +
          stamp(1, 2) +
          "\"\r\nkept, \"quoted\"\r\n"
          "\r\nOK\r\n",
      type(1, "AT+CMGL=\"ALL\"\r"));
  // A new message takes the next place and is announced with it.
  type(0, "AT!SSMS=0,5550104,5550104,\"new\"\r");
  advance_to(102);
  EXPECT_EQ("\r\n+CMTI: \"SM\",4\r\n", lines_[1].take());
}

TEST_F(StandardNetworkTest, FullStoreRefusesArrivals) {
  config_.modems.resize(2);
  std::string error;
  ASSERT_TRUE(parse_modem_argument("COM3=5550103", config_.modems[0], error));
  ASSERT_TRUE(parse_modem_argument("COM4=5550104,stored=2,storage-full", config_.modems[1], error));
  begin_with_config();
  open_text_mode(0);
  open_text_mode(1);
  EXPECT_EQ("\r\n+CPMS: 2,2,2,2,2,2\r\n\r\nOK\r\n", type(1, "AT+CPMS=\"SM\"\r"));
  type(0, "AT+CMGS=\"5550104\"\rlost\x1a");
  advance_to(102);
  EXPECT_EQ("", lines_[1].take());
  EXPECT_EQ(2u, network_->modem(1).messages().size());
  // Once a place is free the next message finds it.
  EXPECT_EQ("\r\nOK\r\n", type(1, "AT+CMGD=1\r"));
  type(0, "AT+CMGS=\"5550104\"\rkept\x1a");
  advance_to(104);
  EXPECT_EQ("\r\n+CMTI: \"SM\",1\r\n", lines_[1].take());
  std::vector<std::string> record = network_record();
  ASSERT_EQ(6u, record.size());
  EXPECT_EQ("0.000 sent COM3 5550103 5550104 1 - lost", record[2]);
  EXPECT_EQ("1.500 refused COM4 5550103 5550104 1 - lost", record[3]);
  EXPECT_EQ("3.500 delivered COM4 5550103 5550104 2 1.500 kept", record[5]);
}

TEST_F(StandardNetworkTest, AnswerSplitAtEveryByte) {
  begin(",byte-split=0.01");
  type(0, "ATE0\r");
  advance_to(101);
  lines_[0].writes.clear();
  lines_[0].taken = 0;
  type(0, "AT+CMGF?\r");
  advance_to(102);
  std::string answer = "\r\n+CMGF: 0\r\n\r\nOK\r\n";
  ASSERT_EQ(answer.size(), lines_[0].writes.size());
  for (size_t i = 0; i < answer.size(); ++i) {
    EXPECT_EQ(answer.substr(i, 1), lines_[0].writes[i].second) << i;
    EXPECT_NEAR(101 + 0.01 * static_cast<double>(i), lines_[0].writes[i].first, 1e-9) << i;
  }
}

TEST_F(StandardNetworkTest, ChunksAndUnsolicitedLineInAListing) {
  begin("", ",chunks=0.1,urc-inside=RING");
  open_text_mode(0);
  type(1, "ATE0\rAT+CMEE=1\rAT+CMGF=1\rAT+CSCS=\"IRA\"\r");
  advance_to(101);
  type(0, "AT+CMGS=\"5550104\"\rx\x1a");
  advance_to(103);
  lines_[1].writes.clear();
  lines_[1].taken = 0;
  type(1, "AT+CMGL=\"ALL\"\r");
  advance_to(106);
  std::string header = "+CMGL: 1,\"REC UNREAD\",\"5550103\",,\"" + stamp(1, 0) + "\"";
  EXPECT_EQ("\r\n" + header + "\r\nx\r\n\r\nRING\r\n\r\nOK\r\n", lines_[1].all());
  EXPECT_GT(lines_[1].writes.size(), 6u);
}

}  // namespace
}  // namespace smstest

namespace smstest {
namespace {

// Status reports across the network: when they come (the destination's
// delay, temporary statuses first), in which form the sender's <ds> and
// mode give them, the SR storage behind +CDSI, and message service 1, whose
// routing stops when a +CDS goes unacknowledged.
class StatusReportNetworkTest : public StandardNetworkTest {
 protected:
  // A text-mode send from COM3 that asks for a report, confirmed at 102.
  void send_with_report() {
    now_ = 101;
    EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CSMP=49,167,0,0\r"));
    EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5550104\"\r"));
    now_ = 102;
    EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(0, "hello\x1a"));
  }
};

TEST_F(StatusReportNetworkTest, TemporaryThenFinalAsCdsInTextMode) {
  begin("", ",report-delay=0.5,report-temporary=32,report-status=70");
  open_text_mode(0);
  open_text_mode(1);
  EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CNMI=2,1,0,1,0\r"));
  send_with_report();
  advance_to(103.999);  // delivered at 103.5, the first report half a second later
  EXPECT_EQ("", lines_[0].take());
  advance_to(104);
  const std::string first = lines_[0].take();
  EXPECT_EQ(0u, first.find("\r\n+CDS: 6,1,\"5550104\",129,\"")) << first;
  EXPECT_NE(std::string::npos, first.find("\",32\r\n")) << first;
  advance_to(104.5);
  EXPECT_NE(std::string::npos, lines_[0].take().find("\",70\r\n"));
  const std::vector<std::string> record = network_record();
  ASSERT_EQ(4u, record.size());
  EXPECT_EQ("4.000 report COM3 - 5550104 1 - status=32", record[2]);
  EXPECT_EQ("4.500 report COM3 - 5550104 1 - status=70", record[3]);
}

TEST_F(StatusReportNetworkTest, StoredReportsAndPduForms) {
  struct Case {
    const char* name;
    const char* fromOptions;
    const char* cnmi;
    const char* announced;  // the start of what COM3 gets, "" for nothing
  } cases[] = {
      {"cds_pdu", "", "AT+CNMI=2,1,0,1,0", "\r\n+CDS: 23\r\n0601"},
      {"cds_pdu_sca", ",cds-sca", "AT+CNMI=2,1,0,1,0", "\r\n+CDS: 23\r\n07915155000000F00601"},
      {"cdsi", "", "AT+CNMI=2,1,0,2,0", "\r\n+CDSI: \"SR\",1\r\n"},
      {"silent", "", "AT+CNMI=2,1,0,0,0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    config_ = SimConfig();
    lines_.clear();
    SetUp();
    begin(c.fromOptions, "");
    open_text_mode(0);
    EXPECT_EQ("\r\nOK\r\n\r\nOK\r\n", type(0, std::string(c.cnmi) + "\rAT+CMGF=0\r"));
    now_ = 101;
    EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=17\r"));
    now_ = 102;
    // "hello" to 5550104 with TP-SRR.
    EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(0, "0031000781550501F40000AA05E8329BFD06\x1a"));
    advance_to(110);
    const std::string got = lines_[0].take();
    EXPECT_EQ(0u, got.find(c.announced)) << got;
    if (std::string(c.announced).find("+CDS:") != std::string::npos) continue;
    // Stored in SR, read and deleted there, and "SM" back.
    EXPECT_EQ("\r\n+CPMS: 1,20,0,50,0,50\r\n\r\nOK\r\n", type(0, "AT+CPMS=\"SR\"\r"));
    EXPECT_EQ(0u, type(0, "AT+CMGR=1\r").find("\r\n+CMGR: 1,,23\r\n07915155000000F00601"));
    EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CMGD=1\r"));
    EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CMGL=4\r"));
    EXPECT_EQ("\r\n+CPMS: 0,50,0,50,0,50\r\n\r\nOK\r\n", type(0, "AT+CPMS=\"SM\"\r"));
  }
}

TEST_F(StatusReportNetworkTest, ServiceOneStopsRoutingWithoutAcknowledgement) {
  begin(",csms1", ",report-delay=1,report-temporary=32/33");
  open_text_mode(0);
  open_text_mode(1);
  EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CNMI=2,1,0,1,0\r"));
  send_with_report();
  advance_to(104.5);  // the first +CDS
  EXPECT_NE(std::string::npos, lines_[0].take().find("+CDS: 6,1,"));
  EXPECT_EQ("\r\nOK\r\n", type(0, "AT+CNMA\r"));
  advance_to(105.5);  // the second, never acknowledged
  EXPECT_NE(std::string::npos, lines_[0].take().find("+CDS: 6,1,"));
  advance_to(110);  // routing went off: the final report is stored unannounced
  EXPECT_EQ("", lines_[0].take());
  EXPECT_EQ("\r\n+CNMI: 2,0,0,0,0\r\n\r\nOK\r\n", type(0, "AT+CNMI?\r"));
  bool off = false;
  for (const std::string& line : traffic("COM3"))
    off = off || line.find("routing-off") != std::string::npos;
  EXPECT_TRUE(off);
}

// The radio schedule: a change at its time writes the registration lines
// the client asked for, between answers, and the traffic record notes it.
TEST_F(StandardNetworkTest, RadioScheduleSendsRegistrationLines) {
  begin(",radio-at=2:cell=BEEF+rsrp=-110,radio-at=4:lost,radio-at=6:reg=home", ",radio-at=2:lost");
  EXPECT_EQ("ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n", type(0, "ATE0\rAT+CREG=1\rAT+CEREG=2\r"));
  advance_to(102.5);
  EXPECT_EQ("\r\n+CEREG: 1,\"1A2B\",\"000BEEF\",7\r\n", lines_[0].take());
  EXPECT_EQ("", lines_[1].take());  // COM4's client asked for no lines
  EXPECT_EQ("\r\n+CESQ: 99,99,255,255,20,31\r\n\r\nOK\r\n", type(0, "AT+CESQ\r"));
  advance_to(104.5);
  EXPECT_EQ("\r\n+CREG: 2\r\n\r\n+CEREG: 2\r\n", lines_[0].take());
  EXPECT_EQ("\r\n+CREG: 1,2\r\n\r\nOK\r\n", type(0, "AT+CREG?\r"));
  EXPECT_EQ("\r\n+CREG: 0,2\r\n\r\nOK\r\n", type(1, "ATE0\rAT+CREG?\r").substr(11));
  // A line due during a text entry waits for its answer.
  type(0, "AT+CMGF=1\r");
  EXPECT_EQ("\r\n> ", type(0, "AT+CMGS=\"5550104\"\r"));
  advance_to(106.5);
  EXPECT_EQ("", lines_[0].take());
  type(0, "hi\x1a");
  advance_to(107);
  std::string after = lines_[0].all();
  EXPECT_NE(std::string::npos, after.find("+CMGS: 1\r\n\r\nOK\r\n\r\n+CREG: 1\r\n\r\n+CEREG: 1,"))
      << after;
  bool noted = false;
  for (const std::string& line : traffic("COM3"))
    noted = noted || line.find("radio lost") != std::string::npos;
  EXPECT_TRUE(noted);
}

}  // namespace
}  // namespace smstest
