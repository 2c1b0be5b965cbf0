// Whole runs of SMS_TEST in PDU mode (command set "pdu": the standard SMS
// commands with SMS-SUBMIT and SMS-DELIVER PDUs) against modem_sim: the
// round trip with one and two modems, the reflector answering an outside
// phone with an international number, a PDU the decoder refuses, and the
// text-mode faults that apply here too (a text longer than one message goes
// in parts: concatenated_run_test.cpp; past maxParts= it is refused at
// start-up: startup_refusal_test.cpp).  Like
// the other whole runs they run a second time under Wine with SMS_TEST.exe
// (tests/wine/run_wine_tests.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "common/result_line.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using namespace result_column;  // the columns of run.result

// The opening of a PDU-mode session as the simulator answers it: the port's
// handshake (echo still on), then the set-up, with no character set, and
// the stock-taking.
const char kOpening[] =
    "\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n"
    "\nWrote 5 bytes\nATE0\r\nRead 11 bytes\nATE0\r\r\nOK\r\n"
    "\nWrote 10 bytes\nAT+CMEE=1\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 10 bytes\nAT+CMGF=0\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 18 bytes\nAT+CNMI=2,1,0,0,0\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 10 bytes\nAT+CMGL=4\r\nRead 6 bytes\n\r\nOK\r\n";

const std::string kRoundTripErr = round_trip_err();

// "tImE42Thello" to 5550104 as an SMS-SUBMIT: 23 octets of TPDU.
const char kSubmitLine[] = "AT+CMGS=23\r";
const char kSubmitHex[] = "0011000781550501F40000AA0CF464BB489351D16536FB0D";

class PduModeTest : public WholeRunFixture {};

TEST_F(PduModeTest, RoundTripBetweenTwoModems) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.5"});
  // radio=0: the log holds the SMS dialogue alone (radio_run_test.cpp has the rest).
  ToolRun run = run_sms_test("T1|30|3|5550104|hello|0|0|115200|4|115200|0|pdu\nradio=0");
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

  // The sending modem's log, byte for byte: set-up, the TPDU's length, the
  // prompt, the hex, Ctrl-Z, confirmation.
  EXPECT_EQ(read_file(run.dir + "/T1.3.debug.log"),
            std::string(kOpening) + "\nWrote 11 bytes\n" + kSubmitLine +
                "\nRead 4 bytes\n\r\n> \nWrote 49 bytes\n" + kSubmitHex +
                "\x1A\nRead 18 bytes\n\r\n+CMGS: 1\r\n\r\nOK\r\n");
  // The receiving one learns of the message by its announcement, reads its
  // PDU, decodes it and deletes it, and nothing else.
  std::string toLog = read_file(run.dir + "/T1.4.debug.log");
  EXPECT_EQ(toLog.rfind(std::string(kOpening) + "\nWrote 9 bytes\nAT+CPMS?\r", 0), 0u) << toLog;
  EXPECT_TRUE(contains(toLog, "\r\n+CMTI: \"SM\",1\r\n")) << toLog;
  EXPECT_TRUE(contains(toLog, "\nWrote 10 bytes\nAT+CMGR=1\r\nRead ")) << toLog;
  EXPECT_TRUE(contains(toLog, "\r\n+CMGR: 0,,28\r\n07915155000000F0040781550501F30000")) << toLog;
  EXPECT_TRUE(ends_with(toLog, "\nWrote 10 bytes\nAT+CMGD=1\r\nRead 6 bytes\n\r\nOK\r\n")) << toLog;
  // The message went the whole way, decoded by the simulator to the same
  // text, and is gone from the receiver.
  std::string network = network_log();
  EXPECT_TRUE(contains(network, " sent COM3 5550103 5550104 1 - tImE42Thello\n")) << network;
  EXPECT_TRUE(contains(network, " delivered COM4 5550103 5550104 1 ")) << network;
}

TEST_F(PduModeTest, RoundTripOnOneModem) {
  start_sim({"--modem", "COM5=5550105", "--delay", "0.2"});
  for (const char* record : {"T2|30|5|5550105|hello|0|0|9600|0|0|0|pdu",
                             "T2|30|5|5550105|hello|0|0|9600|5|9600|0| pdu \r"}) {
    ToolRun run = run_sms_test(record);
    EXPECT_EQ(run.process.exitCode, 0) << record;
    EXPECT_EQ(run.process.err, kRoundTripErr) << record;
    EXPECT_EQ(run.status, "0 SUCCESS\n") << record;
    EXPECT_EQ(list_dir(run.dir),
              (std::vector<std::string>{"T2.5.debug.log", "cmd.txt", "results.csv", "status.txt"}))
        << record;
    EXPECT_TRUE(contains(read_file(run.dir + "/T2.5.debug.log"), "\nAT+CMGS=23\r")) << record;
  }
}

// Characters outside the GSM 7-bit alphabet go in UCS2 and come back byte
// for byte.
TEST_F(PduModeTest, RoundTripInUcs2) {
  start_sim({"--modem", "COM5=5550105", "--delay", "0.2"});
  ToolRun run = run_sms_test("T3|30|5|5550105|caf\xE2 \xFE|0|0|9600|0|0|0|pdu");
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.process.err,
            "Sending SMS: OK.\nNew Message Found.\nDeleting Message: OK - tImE42Tcaf\xE2 \xFE\n");
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  // 7 + 6 characters: 26 octets of UCS2 after the 12 of the header.
  EXPECT_TRUE(contains(read_file(run.dir + "/T3.5.debug.log"), "\nAT+CMGS=38\r"));
}

TEST_F(PduModeTest, ReflectorRepliesToAnInternationalNumber) {
  start_sim({"--modem", "COM5=5550105", "--inject", "COM5@3:+15551234:hello there"});
  int64_t before = calendar_seconds();
  ToolRun run = run_sms_test("R|20|5|unused|unused|0|0|115200|9|115200|1|pdu");
  int64_t after = calendar_seconds();
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.process.err,
            "New Message Found.\nDeleting Message: Replying back to sender...\nReply Successful\n");
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u);
  EXPECT_EQ(run.result[kStatus], "2");
  EXPECT_GE(seconds_of(run.result[kSend]), 0.0);
  EXPECT_GE(seconds_of(run.result[kReply]), seconds_of(run.result[kSend]));
  // The PDU came from +15551234 (type 91, digits 51552143) and the reply
  // goes back to the same type.
  std::string log = read_file(run.dir + "/R.5.debug.log");
  EXPECT_TRUE(contains(log, "040891515521430000")) << log;          // the SMS-DELIVER's TP-OA
  EXPECT_TRUE(contains(log, "\n0011000891515521430000AA")) << log;  // the reply's TP-DA
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

// A national outside number gets its reply as a national number.
TEST_F(PduModeTest, ReflectorRepliesToANationalNumber) {
  start_sim({"--modem", "COM5=5550105", "--inject", "COM5@3:5551234:hi"});
  ToolRun run = run_sms_test("R|20|5|unused|unused|0|0|115200|9|115200|1|pdu");
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  std::string log = read_file(run.dir + "/R.5.debug.log");
  EXPECT_TRUE(contains(log, "\n0011000781551532F40000AA")) << log;
  EXPECT_TRUE(contains(network_log(), " 5550105 5551234 ")) << network_log();
}

const char kSuccess[] = "0 SUCCESS\n";
const char kBusy[] = "answered +CME ERROR: 14 (SIM busy): trying again in a second\n";

// Each fault of a modem in PDU mode: the run copes, or ends on its own
// within its time with a report that says why.
TEST_F(PduModeTest, Faults) {
  // The status names the PDU as the modem gave it.
  const char* kCannotDecode = "2 Cannot decode 07915155000000F0[0-9A-F]*\n\n";
  const std::vector<FaultRow> rows = {
      {"refused PDU, user data cut", "bad-pdu", "", 20, "", kCannotDecode, true, "",
       "\nDecoder error: User Data Length 12 exceeds PDU boundary, PDU too short\n"},
      {"refused PDU, header past the end", "bad-pdu=header", "", 20, "", kCannotDecode, true, "",
       "\nDecoder error: User Data Header exceeds PDU boundary, PDU too short\n"},
      {"unsolicited line inside every answer", "urc-inside", "urc-inside", 20, kSuccess, "", true,
       "\r\n+CREG: 1\r\n", "Unsolicited line ignored: +CREG: 1\n"},
      {"SIM busy after the open", "sim-busy=3", "sim-busy=3", 30, kSuccess, "", true, kBusy, kBusy},
      {"answers split at every byte", "byte-split", "byte-split", 20, kSuccess, "", true,
       "\nRead Partial bytes: ", "\nRead Partial bytes: "},
      {"send error", "", "send-error=330", 10,
       "2 AT+CMGS=23 answered +CMS ERROR: 330 (SMSC address unknown)\n", "", false, "", ""},
  };
  const std::vector<PairRun> runs = run_fault_matrix(rows, "pdu");
  for (size_t i = 0; i < runs.size(); ++i) {
    const FaultRow& c = rows[i];
    const ToolRun& run = runs[i].run;
    SCOPED_TRACE(c.name);
    ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
    EXPECT_EQ(run.result[kSend] != "-Infinity", c.sendMeasured) << run.resultFile;
    // A refused PDU is named as the modem gave it.
    if (run.status.rfind("2 Cannot decode ", 0) == 0) {
      const std::string hex = run.status.substr(16, run.status.find('\n') - 16);
      EXPECT_EQ(run.status, "2 Cannot decode " + hex + "\n\n");
      EXPECT_TRUE(contains(runs[i].toLog, "\nGot SMS message: " + hex + "\n")) << runs[i].toLog;
    }
    if (!c.sendMeasured) {
      // A refused text never reached the modem.
      EXPECT_EQ(contains(traffic(runs[i].from), "cmd AT+CMGS="), !c.fromOptions.empty()) << c.name;
    }
  }
}

}  // namespace

}  // namespace smstest
