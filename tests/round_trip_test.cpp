// Whole runs of SMS_TEST against modem_sim: the round trip, the reflector,
// and how each fault of a modem shows in the reports.  The same tests run
// the Windows build under Wine (tests/wine/run_wine_tests.sh, the Windows
// mode of tests/whole_run.h) and must give the same reports there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/result_line.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using namespace result_column;  // the columns of run.result

// The opening of every session as the simulator answers it: two "AT" (echo
// still on), "ATE0", then the "AT!DASMS" probe.
const char kHandshake[] =
    "\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n"
    "\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n"
    "\nWrote 5 bytes\nATE0\r\nRead 11 bytes\nATE0\r\r\nOK\r\n"
    "\nWrote 9 bytes\nAT!DASMS\r\nRead 6 bytes\n\r\nOK\r\n";

class WholeRunTest : public WholeRunFixture {};

const std::string kRoundTripErr = round_trip_err();

TEST_F(WholeRunTest, RoundTripBetweenTwoModems) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.5"});
  ToolRun run = run_sms_test("T1|30|3|5550104|hello|0|0|115200|4|115200|0");
  EXPECT_EQ(run.process.exitCode, 0);
  EXPECT_EQ(run.process.err, kRoundTripErr);
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
  EXPECT_EQ(run.result[kTag], "SMS_TEST");
  EXPECT_EQ(run.result[kName], "T1");
  EXPECT_EQ(run.result[kDataTime], "42");
  EXPECT_EQ(run.result[kLatLong], "45.5N73.6W");
  EXPECT_EQ(run.result[kStatus], "0");
  EXPECT_EQ(run.result[kReply], "-Infinity");
  EXPECT_EQ(run.result[kAccuracy], "100");
  EXPECT_EQ(run.result[kPass], "100");
  double send = seconds_of(run.result[kSend]);
  double delivery = seconds_of(run.result[kDelivery]);
  double total = seconds_of(run.result[kTotal]);
  EXPECT_GE(send, 0.0);
  EXPECT_NEAR(delivery, 0.5, 0.35);
  EXPECT_GT(total, send + delivery);

  // Each modem's log holds its own dialogue byte for byte, from the
  // handshake on; the sending one ends with the confirmed send.
  std::string fromLog = read_file(run.dir + "/T1.3.debug.log");
  std::string toLog = read_file(run.dir + "/T1.4.debug.log");
  EXPECT_EQ(fromLog, std::string(kHandshake) +
                         "\nWrote 41 bytes\nAT!SSMS=0,5550104,5550104,\"tImE42Thello\"\r\n"
                         "Read 18 bytes\n\r\n+CMGS: 1\r\n\r\nOK\r\n");
  // The receiving one polls until the message is listed, then deletes it.
  const std::string toEnd =
      "Msg Body: tImE42Thello\r\n\r\nOK\r\nGot SMS message: tImE42Thello\n"
      "\nWrote 12 bytes\nAT!DSMS=3,0\r\nRead 6 bytes\n\r\nOK\r\n";
  EXPECT_EQ(toLog.rfind(kHandshake + std::string("\nWrote 12 bytes\nAT!GSMS?2,0\r\n"), 0), 0u)
      << toLog;
  EXPECT_TRUE(ends_with(toLog, toEnd)) << toLog;
}

TEST_F(WholeRunTest, RoundTripOnOneModem) {
  start_sim({"--modem", "COM5=5550105", "--delay", "0.2"});
  for (const char* record :
       {"T2|30|5|5550105|hello|0|0|9600|0|0|0", "T2|30|5|5550105|hello|0|0|9600|5|9600|0"}) {
    ToolRun run = run_sms_test(record);
    EXPECT_EQ(run.process.exitCode, 0) << record;
    EXPECT_EQ(run.process.err, kRoundTripErr) << record;
    EXPECT_EQ(run.status, "0 SUCCESS\n") << record;
    EXPECT_EQ(list_dir(run.dir),
              (std::vector<std::string>{"T2.5.debug.log", "cmd.txt", "results.csv", "status.txt"}))
        << record;
  }
}

TEST_F(WholeRunTest, AlteredTexts) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104,alter=prefix", "--modem",
             "COM6=5550106,alter=change", "--delay", "0.2"});
  // Text before the marker is dropped: the score is as if the body began with it.
  ToolRun prefixed = run_sms_test("P|30|3|5550104|hello|0|0|115200|4|115200|0");
  EXPECT_EQ(prefixed.process.exitCode, 0);
  EXPECT_EQ(prefixed.status, "0 SUCCESS\n");
  ASSERT_EQ(prefixed.result.size(), 12u);
  EXPECT_EQ(prefixed.result[kAccuracy], "100");

  // One character changed: reported as "Accuracy not 100", yet the sequence
  // ran to its end.  A received text no longer than the sent one tries no
  // offset, so it scores 0.
  ToolRun changed = run_sms_test("C|30|3|5550106|abcdefghijkl|0|0|115200|6|115200|0");
  EXPECT_EQ(changed.process.exitCode, 0);
  EXPECT_EQ(changed.status, "2 Accuracy not 100\n");
  ASSERT_EQ(changed.result.size(), 12u) << changed.resultFile;
  EXPECT_EQ(changed.result[kStatus], "0");
  EXPECT_EQ(changed.result[kPass], "100");
  EXPECT_EQ(changed.result[kTotal], "-Infinity");
  EXPECT_EQ(changed.result[kAccuracy], "0");
}

TEST_F(WholeRunTest, BodyWithoutTheMarker) {
  // An outside phone's message is waiting on the receiving modem.
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "5", "--inject",
             "COM4@0:5551234:no marker here"});
  sleep_milliseconds(300);
  ToolRun run = run_sms_test("B|30|3|5550104|hello|0|0|115200|4|115200|0");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            "Sending SMS: OK.\nNew Message Found.\nDeleting Message: Bad SMS message\n\n");
  EXPECT_EQ(run.status, "2 Bad SMS message\n\n");
  ASSERT_EQ(run.result.size(), 12u);
  EXPECT_EQ(run.result[kStatus], "2");
  EXPECT_NE(run.result[kSend], "-Infinity");
  EXPECT_EQ(run.result[kDelivery], "-Infinity");
  // The receiving port was closed before the check.  The simulator notes
  // the close when it sees it, which may be a moment after the run ended.
  std::string traffic;
  for (int i = 0; i < 30 && traffic.find(" close") == std::string::npos; ++i) {
    if (i > 0) sleep_milliseconds(100);
    traffic = read_file(ports_ + "/COM4.traffic.log");
  }
  EXPECT_NE(traffic.find(" close"), std::string::npos);
}

// After a hang-up the system's codes and texts differ from one platform to
// another, and whether the answer read or the next write meets it first is
// a race: one of the port's failure contexts, a code and a text.
const char kHangUpStatus[] =
    "2 (read_com: (Could not set comm mask|Error reading from the comm port)|"
    "write_com: Could not write to COM@N), error code: [0-9]+: [^\n]+\n+";

const char kNoAnswerStatus[] =
    "2 @PORT failed to respond to at comand. Please make sure that the device is connected and "
    "the baudrate and other port settings are correct.\n";

// Two "AT" tries of 3 seconds each, then the session gives up.
const char kNoAnswerLog[] =
    "\nWrote 3 bytes\nAT\rRead timedout, timeout=3, elapsed=[34]\n"
    "\nWrote 3 bytes\nAT\rRead timedout, timeout=3, elapsed=[34]\n";

const char kSuccess[] = "0 SUCCESS\n";
const char kUnconfirmed[] = "2 Send Timed Out Waiting for +CMGW:\n\n";

// Each fault of a modem ends the run on its own, within its time limit, with
// a status file and a result line.
TEST_F(WholeRunTest, FaultsEndTheRunWithAReport) {
  const std::vector<FaultRow> rows = {
      {"send refused", "", "send-refused", 10, "2 On sending SMS Text, Com port returned ERROR\n",
       "", false, "", ""},
      {"message lost", "lose", "", 4, "2 Operation Timed out during SMS Receive.\n", "", true, "",
       ""},
      {"delete refused", "delete-refused", "", 20, kSuccess, "", true, "", ""},
      {"polls answered ERROR", "poll-error", "", 20, kSuccess, "", true, "", ""},
      {"listing with ERROR", "cmgl-error", "", 20, kSuccess, "", true, "", ""},
      // "+CREG: 1" between the answers of both modems is read past.
      {"unsolicited lines", "unsolicited=0.3", "unsolicited=0.3", 20, kSuccess, "", true,
       "\r\n+CREG: 1\r\n", "\r\n+CREG: 1\r\n"},
      {"NUL bytes in answers", "nul", "nul", 20, kSuccess, "", true, "", ""},
      // Answers that come in pieces 0.3 s apart are read in pieces, and the
      // message is picked up all the same.
      {"answers in chunks", "chunks=0.3", "", 20, kSuccess, "", true, "", "\nRead Partial bytes: "},
      // A report past the port's buffer: the message is found after the
      // padding all the same.
      {"oversized report", "big", "", 6, kSuccess, "", true, "",
       "ReadCom: buffer size 40960 is too small\n"},
      {"send never confirmed", "", "send-unconfirmed", 3, kUnconfirmed, "", false, "", ""},
      {"CMGS at the first byte", "", "cmgs-first", 3, kUnconfirmed, "", false, "", ""},
      FaultRow("silent receiver", "silent", "", 5, kNoAnswerStatus, "", false, "", "")
          .with_to_log_pattern(kNoAnswerLog),
      {"receiver hangs up", "hangup=5", "", 5, "", kHangUpStatus, true, "", ""},
      {"only the second AT answered", "skip-first-at", "", 20, kSuccess, "", true, "", ""},
      // The probe's refusal is noted on the error stream.
      FaultRow("AT!DASMS not supported", "no-dasms", "", 20, kSuccess, "", true, "", "")
          .with_err("AT!DASMS is not supported for COM@N\n" + kRoundTripErr),
  };
  const std::vector<PairRun> runs = run_fault_matrix(rows);
  for (size_t i = 0; i < runs.size(); ++i) {
    const ToolRun& run = runs[i].run;
    SCOPED_TRACE(rows[i].name);
    ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
    EXPECT_EQ(run.result[kSend] != "-Infinity", rows[i].sendMeasured) << run.resultFile;
    if (run.process.exitCode == 2) {
      EXPECT_EQ(run.result[kStatus], "2");
    }
  }
  // The modems of the NUL case really sent NUL bytes.
  for (size_t i = 0; i < runs.size(); ++i) {
    if (rows[i].toOptions != "nul") continue;
    const std::string record = traffic(runs[i].to);
    EXPECT_NE(record.find("\\0"), std::string::npos) << record;
  }
}

TEST_F(WholeRunTest, Reflector) {
  start_sim({"--modem", "COM5=5550105", "--inject", "COM5@0.5:5551234:hello there"});
  int64_t before = calendar_seconds();
  ToolRun run = run_sms_test("R|20|5|unused|unused|0|0|115200|9|115200|1");
  int64_t after = calendar_seconds();
  EXPECT_EQ(run.process.exitCode, 0);
  EXPECT_EQ(run.process.err,
            "New Message Found.\nDeleting Message: Replying back to sender...\nReply Successful\n");
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u);
  // No delivery time is measured, so the line carries status 2.
  EXPECT_EQ(run.result[kStatus], "2");
  EXPECT_EQ(run.result[kPass], "0");
  EXPECT_EQ(run.result[kDelivery], "-Infinity");
  EXPECT_EQ(run.result[kAccuracy], "-Infinity");
  EXPECT_GE(seconds_of(run.result[kSend]), 0.0);
  EXPECT_GE(seconds_of(run.result[kReply]), seconds_of(run.result[kSend]));
  EXPECT_GE(seconds_of(run.result[kTotal]), seconds_of(run.result[kReply]));
  // Only the reflector's own modem is opened, never toPort.
  EXPECT_EQ(list_dir(run.dir),
            (std::vector<std::string>{"R.5.debug.log", "cmd.txt", "results.csv", "status.txt"}));
  std::string log = read_file(run.dir + "/R.5.debug.log");
  EXPECT_EQ(log.rfind(kHandshake, 0), 0u) << log;
  // The reply is the last thing the modem was told, and it was confirmed.
  EXPECT_NE(log.find("\nAT!SSMS=0,5551234,5551234,\"rEfLeCt"), std::string::npos) << log;
  EXPECT_TRUE(ends_with(log, "Thello there\"\r\nRead 18 bytes\n\r\n+CMGS: 1\r\n\r\nOK\r\n")) << log;
  // The reply reached the outside phone: rEfLeCt<clock>T<body>.
  std::string network = network_log();
  size_t at = network.find(" outside ");
  ASSERT_NE(at, std::string::npos) << network;
  std::string line = network.substr(at, network.find('\n', at) - at);
  EXPECT_NE(line.find(" 5550105 5551234 "), std::string::npos) << line;
  size_t reply = line.find("rEfLeCt");
  ASSERT_NE(reply, std::string::npos) << line;
  size_t t = line.find('T', reply + 7);
  long long clock = std::stoll(line.substr(reply + 7, t - reply - 7));
  EXPECT_GE(clock, before);
  EXPECT_LE(clock, after);
  EXPECT_EQ(line.substr(t), "Thello there");
}

TEST_F(WholeRunTest, ReflectorReplyRefused) {
  start_sim({"--modem", "COM5=5550105,send-refused", "--inject", "COM5@0.3:5551234:hi"});
  ToolRun run = run_sms_test("R|20|5|x|x|0|0|115200|0|0|1");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(
      run.process.err,
      "New Message Found.\nDeleting Message: Replying back to sender...\nCannot send SMS\n\n");
  EXPECT_EQ(run.status, "2 Cannot send SMS\n\n");
  EXPECT_EQ(run.resultFile,
            "SMS_TEST,1,R,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

// A port that can't be opened ends the run with its device name in the
// reports: "COM9" and, from 10 on, "\\.\COM50" on Windows.
TEST_F(WholeRunTest, OpenFailures) {
  start_sim({"--modem", "COM3=5550103"});
  const char* kNoTimes = "2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n";
  struct {
    const char* name;
    const char* record;
    int failing;  // the port that can't be opened
    std::vector<std::string> files;
  } cases[] = {
      {"M",
       "M|10|9|1|x|0|0|115200|0|0|0",
       9,
       {"M.9.debug.log", "cmd.txt", "results.csv", "status.txt"}},
      {"L",
       "L|10|50|1|x|0|0|115200|0|0|0",
       50,
       {"L.50.debug.log", "cmd.txt", "results.csv", "status.txt"}},
      // The receiving modem fails after the sending one opened; both logs
      // were created before either port was opened.
      {"T1",
       "T1|10|3|1|x|0|0|115200|8|115200|0",
       8,
       {"T1.3.debug.log", "T1.8.debug.log", "cmd.txt", "results.csv", "status.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    ToolRun run = run_sms_test(c.record);
    std::string text = missing_port_failure(port(c.failing));
    EXPECT_EQ(run.process.exitCode, 2);
    EXPECT_EQ(run.process.err, text + "\n");
    EXPECT_EQ(run.status, "2 " + text + "\n");
    EXPECT_EQ(run.resultFile, std::string("SMS_TEST,1,") + c.name + ",42,45.5N73.6W," + kNoTimes);
    EXPECT_EQ(list_dir(run.dir), c.files);
    EXPECT_EQ(read_file(run.dir + "/" + c.name + "." + std::to_string(c.failing) + ".debug.log"),
              "");
  }

  // A result file that can't be opened: the message box's text, and the
  // status file is written all the same.
  std::string dir = make_temp_dir("noresult");
  ASSERT_EQ(mkdir((dir + "/results.csv").c_str(), 0755), 0);
  ToolRun run = run_sms_test("M|10|9|1|x|0|0|115200|0|0|0", "42", dir);
  std::string text = missing_port_failure(port(9));
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err, text + "\nCould not open log file for writing. Operation Failed.\n");
  EXPECT_EQ(run.status, "2 " + text + "\n");
}

TEST_F(WholeRunTest, DelayedConfirmationAndDeliveryShowInTheTimes) {
  start_sim({"--modem", "COM3=5550103,confirm-late=1", "--modem", "COM4=5550104,delay=2"});
  ToolRun run = run_sms_test("D|30|3|5550104|hello|0|0|115200|4|115200|0");
  ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
  ASSERT_EQ(run.result.size(), 12u);
  EXPECT_NEAR(seconds_of(run.result[kSend]), 1.0, 0.35);
  EXPECT_NEAR(seconds_of(run.result[kDelivery]), 2.0, 0.35);
}

TEST_F(WholeRunTest, ManyRunsShareOneResultFile) {
  const int kRuns = 20;
  std::vector<std::string> args = {"--delay", "0.3"};
  for (int i = 0; i < kRuns; ++i) {
    args.push_back("--modem");
    args.push_back("COM" + std::to_string(20 + i) + "=5552" + std::to_string(100 + i));
  }
  start_sim(args);
  // The result file is named relative to each run's own directory.
  std::string shared = make_temp_dir("shared");
  std::string sharedName = "../" + shared.substr(shared.rfind('/') + 1) + "/all.csv";
  std::vector<ToolRun> runs(kRuns);
  std::vector<std::thread> threads;
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([&, i] {
      std::string dir = make_temp_dir("many");
      std::string record = "N" + std::to_string(i) + "|30|" + std::to_string(20 + i) + "|5552" +
                           std::to_string(100 + i) + "|hello|0|0|115200|0|0|0";
      runs[i] = run_sms_test(record, "42", dir, sharedName);
    });
  }
  for (std::thread& t : threads) t.join();
  std::string lineEnds;
  std::vector<std::string> lines = split(read_text(shared + "/all.csv", &lineEnds), '\n');
  EXPECT_EQ(lineEnds, "");
  ASSERT_EQ(lines.size(), kRuns + 1u);
  EXPECT_EQ(lines.back(), "");
  std::vector<bool> seen(kRuns, false);
  for (int i = 0; i < kRuns; ++i) {
    std::vector<std::string> cols = result_columns(lines[i]);
    ASSERT_EQ(cols.size(), 12u) << lines[i];
    EXPECT_EQ(cols[kStatus], "0") << lines[i];
    int which = std::stoi(cols[kName].substr(1));
    ASSERT_TRUE(which >= 0 && which < kRuns);
    EXPECT_FALSE(seen[which]);
    seen[which] = true;
  }
  for (int i = 0; i < kRuns; ++i) EXPECT_EQ(runs[i].status, "0 SUCCESS\n") << i;
}

TEST_F(WholeRunTest, TwoRunsAppendTwoLines) {
  start_sim({"--modem", "COM3=5550103", "--delay", "0.2"});
  std::string dir = make_temp_dir("twice");
  run_sms_test("A|30|3|5550103|one|0|0|115200|0|0|0", "1", dir);
  ToolRun second = run_sms_test("B|30|3|5550103|two|0|0|115200|0|0|0", "2", dir);
  std::vector<std::string> lines = split(second.resultFile, '\n');
  ASSERT_EQ(lines.size(), 3u) << second.resultFile;
  EXPECT_EQ(lines[0].rfind("SMS_TEST,1,A,1,", 0), 0u);
  EXPECT_EQ(lines[1].rfind("SMS_TEST,1,B,2,", 0), 0u);
  EXPECT_EQ(second.status, "0 SUCCESS\n");
}

}  // namespace

}  // namespace smstest
