// Whole runs of SMS_TEST in text mode (command set "text": the standard SMS
// commands) against modem_sim: the round trip with one and two modems, the
// reflector, the simulator's faults, the messages stored before the run.
// Like the other whole runs they run a second time under Wine with
// SMS_TEST.exe (tests/wine/run_wine_tests.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "common/result_line.h"
#include "tests/whole_run.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

using namespace result_column;  // the columns of run.result

// The opening of a text-mode session as the simulator answers it: the
// handshake (echo still on; one "AT", as the modem answers it), then the set-up and the
// stock-taking.
const char kOpening[] =
    "\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n"
    "\nWrote 5 bytes\nATE0\r\nRead 11 bytes\nATE0\r\r\nOK\r\n"
    "\nWrote 10 bytes\nAT+CMEE=1\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 10 bytes\nAT+CMGF=1\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 14 bytes\nAT+CSCS=\"IRA\"\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 18 bytes\nAT+CNMI=2,1,0,0,0\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 14 bytes\nAT+CMGL=\"ALL\"\r\nRead 6 bytes\n\r\nOK\r\n";

const std::string kRoundTripErr = round_trip_err();

class TextModeTest : public WholeRunFixture {};

TEST_F(TextModeTest, RoundTripBetweenTwoModems) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.5"});
  // radio=0: the log holds the SMS dialogue alone (radio_run_test.cpp has the rest).
  ToolRun run = run_sms_test("T1|30|3|5550104|hello|0|0|115200|4|115200|0|text\nradio=0");
  EXPECT_EQ(run.process.exitCode, 0);
  EXPECT_EQ(run.process.err, kRoundTripErr);
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
  EXPECT_EQ(run.result[kName], "T1");
  EXPECT_EQ(run.result[kStatus], "0");
  EXPECT_EQ(run.result[kAccuracy], "100");
  EXPECT_EQ(run.result[kReply], "-Infinity");
  EXPECT_GE(seconds_of(run.result[kSend]), 0.0);
  EXPECT_NEAR(seconds_of(run.result[kDelivery]), 0.5, 0.35);

  // The sending modem's log, byte for byte: set-up, prompt, text, Ctrl-Z,
  // confirmation.
  EXPECT_EQ(read_file(run.dir + "/T1.3.debug.log"),
            std::string(kOpening) +
                "\nWrote 18 bytes\nAT+CMGS=\"5550104\"\r\nRead 4 bytes\n\r\n> "
                "\nWrote 13 bytes\ntImE42Thello\x1A\nRead 18 bytes\n\r\n+CMGS: 1\r\n\r\nOK\r\n");
  // The receiving one learns of the message by its announcement, reads it
  // and deletes it, and nothing else.
  std::string toLog = read_file(run.dir + "/T1.4.debug.log");
  EXPECT_EQ(toLog.rfind(std::string(kOpening) + "\nWrote 9 bytes\nAT+CPMS?\r", 0), 0u) << toLog;
  EXPECT_TRUE(contains(toLog, "\r\n+CMTI: \"SM\",1\r\n")) << toLog;
  EXPECT_TRUE(ends_with(toLog,
                        "\nWrote 10 bytes\nAT+CMGR=1\r\nRead 77 bytes\n\r\n+CMGR: \"REC UNREAD\","
                        "\"5550103\",,\"" +
                            toLog.substr(toLog.rfind(",,\"") + 3, 20) +
                            "\"\r\ntImE42Thello\r\n\r\nOK\r\nGot SMS message: tImE42Thello\n"
                            "\nWrote 10 bytes\nAT+CMGD=1\r\nRead 6 bytes\n\r\nOK\r\n"))
      << toLog;
  // The message went the whole way and is gone from the receiver.
  std::string network = network_log();
  EXPECT_TRUE(contains(network, " sent COM3 5550103 5550104 1 - tImE42Thello\n")) << network;
  EXPECT_TRUE(contains(network, " delivered COM4 5550103 5550104 1 ")) << network;
}

TEST_F(TextModeTest, RoundTripOnOneModem) {
  start_sim({"--modem", "COM5=5550105", "--delay", "0.2"});
  for (const char* record : {"T2|30|5|5550105|hello|0|0|9600|0|0|0|text",
                             "T2|30|5|5550105|hello|0|0|9600|5|9600|0| text \r"}) {
    ToolRun run = run_sms_test(record);
    EXPECT_EQ(run.process.exitCode, 0) << record;
    EXPECT_EQ(run.process.err, kRoundTripErr) << record;
    EXPECT_EQ(run.status, "0 SUCCESS\n") << record;
    EXPECT_EQ(list_dir(run.dir),
              (std::vector<std::string>{"T2.5.debug.log", "cmd.txt", "results.csv", "status.txt"}))
        << record;
    EXPECT_TRUE(contains(read_file(run.dir + "/T2.5.debug.log"), "AT+CMGS=\"5550105\"\r"));
  }
}

TEST_F(TextModeTest, Reflector) {
  // The outside phone sends once the session is open: what is stored before
  // that is left alone.
  start_sim({"--modem", "COM5=5550105", "--inject", "COM5@3:+15551234:hello there"});
  int64_t before = calendar_seconds();
  ToolRun run = run_sms_test("R|20|5|unused|unused|0|0|115200|9|115200|1|text");
  int64_t after = calendar_seconds();
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.process.err,
            "New Message Found.\nDeleting Message: Replying back to sender...\nReply Successful\n");
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u);
  EXPECT_EQ(run.result[kStatus], "2");  // no delivery time is measured
  EXPECT_EQ(run.result[kDelivery], "-Infinity");
  EXPECT_GE(seconds_of(run.result[kSend]), 0.0);
  EXPECT_GE(seconds_of(run.result[kReply]), seconds_of(run.result[kSend]));
  EXPECT_EQ(list_dir(run.dir),
            (std::vector<std::string>{"R.5.debug.log", "cmd.txt", "results.csv", "status.txt"}));
  // The reply goes to the sender as read, "+" included.
  std::string log = read_file(run.dir + "/R.5.debug.log");
  EXPECT_TRUE(contains(log, "\nAT+CMGS=\"+15551234\"\r")) << log;
  std::string network = network_log();
  size_t at = network.find(" outside ");
  ASSERT_NE(at, std::string::npos) << network;
  std::string line = network.substr(at, network.find('\n', at) - at);
  EXPECT_TRUE(contains(line, " 5550105 +15551234 ")) << line;
  size_t reply = line.find("rEfLeCt");
  ASSERT_NE(reply, std::string::npos) << line;
  size_t t = line.find('T', reply + 7);
  long long clock = std::stoll(line.substr(reply + 7, t - reply - 7));
  EXPECT_GE(clock, before);
  EXPECT_LE(clock, after);
  EXPECT_EQ(line.substr(t), "Thello there");
}

TEST_F(TextModeTest, UnknownCommandSetsStopTheRunAtStartUp) {
  start_sim({"--modem", "COM3=5550103"});
  const std::string valid = " (valid: text, pdu, or none for the modem's own commands)\n";
  struct {
    const char* record;
    std::string err;
  } cases[] = {
      {"U|10|3|1|x|0|0|115200|0|0|0|PUD", "Unknown command set PUD" + valid},
      {"U|10|3|1|x|0|0|115200|0|0|0| Txt\t", "Unknown command set Txt" + valid},
      {"U|10|3|1|x|0|0|115200|0|0|0|text mode|x", "Unknown command set text mode" + valid},
      // fromPort is checked first.
      {"U|10|0|1|x|0|0|115200|0|0|0|PUD", "From COM port must be > 0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    ToolRun run = run_sms_test(c.record);
    EXPECT_EQ(run.process.exitCode, 2);
    EXPECT_EQ(run.process.err, c.err);
    EXPECT_EQ(list_dir(run.dir), (std::vector<std::string>{"cmd.txt"}));
  }
  // The modem was never opened.
  EXPECT_FALSE(contains(traffic(3), " open"));
}

// Messages in the receiving modem's store before the run are neither read
// nor deleted, and stay there.
TEST_F(TextModeTest, StoredMessagesSurviveTheRun) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104,stored=2", "--store",
             "COM4:+15557777:keep me", "--delay", "0.3"});
  ToolRun run = run_sms_test("S|30|3|5550104|hello|0|0|115200|4|115200|0|text");
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  std::string toLog = read_file(run.dir + "/S.4.debug.log");
  EXPECT_TRUE(contains(toLog, "Stored before the test, left alone: 1,2,3\n")) << toLog;
  for (const char* command : {"cmd AT+CMGR=1", "cmd AT+CMGR=2", "cmd AT+CMGR=3", "cmd AT+CMGD=1",
                              "cmd AT+CMGD=2", "cmd AT+CMGD=3"}) {
    EXPECT_FALSE(contains(traffic(4), command)) << command;
  }
  EXPECT_TRUE(contains(traffic(4), "cmd AT+CMGD=4\n"));

  PtyPeer client;
  ASSERT_TRUE(client.open(ports_ + "/COM4")) << client.lastError;
  client.command("AT+CMGF=1");
  std::string listing = client.command("AT+CMGL=\"ALL\"");
  EXPECT_TRUE(contains(listing, "\r\nstored message 1\r\n")) << listing;
  EXPECT_TRUE(contains(listing, "\r\nstored message 2\r\n")) << listing;
  EXPECT_TRUE(contains(listing, "+CMGL: 3,\"REC READ\",\"+15557777\",,")) << listing;
  EXPECT_TRUE(contains(listing, "\r\nkeep me\r\n")) << listing;
  EXPECT_FALSE(contains(listing, "tImE42T")) << listing;
}

TEST_F(TextModeTest, DelayedConfirmationAndDeliveryShowInTheTimes) {
  start_sim({"--modem", "COM3=5550103,confirm-late=1", "--modem", "COM4=5550104,delay=2"});
  ToolRun run = run_sms_test("D|30|3|5550104|hello|0|0|115200|4|115200|0|text");
  ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
  ASSERT_EQ(run.result.size(), 12u);
  // Roughly: how close they come is measured by bench/ (fidelity-text).
  EXPECT_NEAR(seconds_of(run.result[kSend]), 1.0, 0.35);
  EXPECT_NEAR(seconds_of(run.result[kDelivery]), 2.0, 0.35);
}

const char kSuccess[] = "0 SUCCESS\n";

// Each fault of a modem, in text mode: the run copes, or ends on its own
// within its time with a report that says why.
TEST_F(TextModeTest, Faults) {
  const std::vector<FaultRow> rows = {
      {"unsolicited line inside every answer", "urc-inside", "urc-inside", 20, kSuccess, "", true,
       "\r\n+CREG: 1\r\n", "Unsolicited line ignored: +CREG: 1\n"},
      {"RING inside every answer", "urc-inside=RING", "", 20, kSuccess, "", true, "",
       "Unsolicited line ignored: RING\n"},
      {"bare prompt", "", "bare-prompt", 20, kSuccess, "", true, "\r\n>\nWrote", ""},
      {"send error", "", "send-error=330", 10,
       "2 AT+CMGS=\"@TO\" answered +CMS ERROR: 330 (SMSC address unknown)\n", "", false, "", ""},
      {"send refused", "", "send-refused", 10,
       "2 AT+CMGS=\"@TO\" answered +CMS ERROR: 500 (unknown error)\n", "", false, "", ""},
      {"SIM busy after the open", "sim-busy=3", "sim-busy=3", 30, kSuccess, "", true,
       "answered +CME ERROR: 14 (SIM busy): trying again in a second\n",
       "answered +CME ERROR: 14 (SIM busy): trying again in a second\n"},
      {"SIM busy past the deadline", "", "sim-busy=30", 4, "",
       "2 No final result code for AT\\+CMGL=\"ALL\" in time\n|2 AT\\+CMGL=\"ALL\" answered "
       "\\+CME ERROR: 14 \\(SIM busy\\)\n|2 AT\\+CMGS=\"@TO\" answered \\+CMS ERROR: 314 \\(SIM "
       "busy\\)\n",
       false, "", ""},
      {"no announcements", "no-cnmi", "", 20, kSuccess, "", true, "",
       "AT+CNMI=2,1,0,0,0 answered ERROR: trying AT+CNMI=2,1,0,0\n"
       "\nWrote 16 bytes\nAT+CNMI=2,1,0,0\r\nRead 9 bytes\n\r\nERROR\r\n"
       "AT+CNMI=2,1,0,0 answered ERROR: trying AT+CNMI=1,1,0,0,0\n"
       "\nWrote 18 bytes\nAT+CNMI=1,1,0,0,0\r\nRead 9 bytes\n\r\nERROR\r\n"
       "AT+CNMI=1,1,0,0,0 answered ERROR: new messages are found by listing\n"},
      {"messages stored before", "stored=2", "", 20, kSuccess, "", true, "",
       "Stored before the test, left alone: 1,2\n"},
      {"echo that ATE0 does not stop", "sticky-echo", "sticky-echo", 20, kSuccess, "", true,
       "\ntImE42Thello\r\n+CMGS: 1\r\n\r\nOK\r\n", "AT+CMGR=1\r\r\n+CMGR: "},
      {"storage full", "storage-full", "", 5,
       "2 Operation Timed out during SMS Receive. The message store was full (0 of 0).\n", "", true,
       "", "Message store full: 0 of 0\n"},
      {"answers split at every byte", "byte-split", "byte-split", 20, kSuccess, "", true,
       "\nRead Partial bytes: ", "\nRead Partial bytes: "},
      {"answers in chunks", "chunks=0.2", "chunks=0.2", 20, kSuccess, "", true, "", ""},
      {"message lost", "lose", "", 4, "2 Operation Timed out during SMS Receive.\n", "", true, "",
       ""},
  };
  const std::vector<PairRun> runs = run_fault_matrix(rows, "text");
  for (size_t i = 0; i < runs.size(); ++i) {
    const FaultRow& c = rows[i];
    const ToolRun& run = runs[i].run;
    SCOPED_TRACE(c.name);
    ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
    EXPECT_EQ(run.result[kSend] != "-Infinity", c.sendMeasured) << run.resultFile;
    // Whatever happened, the messages stored before were not touched.
    if (c.toOptions == "stored=2") {
      const std::string record = traffic(runs[i].to);
      EXPECT_FALSE(contains(record, "cmd AT+CMGR=1\n") || contains(record, "cmd AT+CMGR=2\n") ||
                   contains(record, "cmd AT+CMGD=1\n") || contains(record, "cmd AT+CMGD=2\n"))
          << record;
      EXPECT_TRUE(contains(record, "cmd AT+CMGD=3\n")) << record;
    }
  }
}

}  // namespace

}  // namespace smstest
