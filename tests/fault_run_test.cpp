// Whole runs of SMS_TEST against modem_sim in the cases where earlier
// versions lost data, hung, or reported success when the modem refused:
// stale bytes before a command, echo that stays on, "ERROR" in a message
// body, reports in pieces, hostile senders and bodies, modems that stop
// reading.  Like the other whole runs these run the Windows build under
// Wine too (tests/wine/run_wine_tests.sh), on the ports the Wine prefix
// maps (3 to 6, 10 to 39).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

const char kPickedUp[] = "New Message Found.\nDeleting Message: ";
const char kNoTimes[] = "-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n";

class FaultRunTest : public WholeRunFixture {
 protected:
  FaultRunTest() { runLimit_ = 60; }
};

// A modem that stops reading holds the reply's write up for no longer than
// the test time: the reply of 2000 bytes and more would otherwise get its
// 50 ms a byte, over 100 s.
TEST_F(FaultRunTest, AModemThatStopsReadingHoldsAWriteUpOnlyUntilTheDeadline) {
  const std::string body(2000, 'b');
  // The sixth command is the delete: answered, then the modem reads no more.
  start_sim({"--modem", "COM5=5550105,stall=6", "--inject", "COM5@0:5551234:" + body});
  sleep_milliseconds(300);
  const int testTimeout = 6;
  ToolRun run = run_sms_test("S|" + std::to_string(testTimeout) + "|5|x|x|0|0|115200|0|0|1");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            std::string(kPickedUp) + "Replying back to sender...\nCannot send SMS\n\n");
  EXPECT_EQ(run.status, "2 Cannot send SMS\n\n");
  EXPECT_EQ(run.resultFile, std::string("SMS_TEST,1,S,42,45.5N73.6W,2,") + kNoTimes);
  EXPECT_LE(run.process.seconds, testTimeout + 4.0);
  EXPECT_NE(traffic(5).find(" stall"), std::string::npos) << traffic(5);
}

// The rest of an answer longer than the tool's buffer still waits on the
// line when the reply is written; taken for the reply's answer, its "OK"
// confirmed a reply that the modem refused a second later.
TEST_F(FaultRunTest, StaleBytesDoNotConfirmARefusedReply) {
  start_sim({"--modem", "COM5=5550105,big-delete,send-refused,confirm-late=1", "--inject",
             "COM5@0:5551234:hello"});
  sleep_milliseconds(300);
  ToolRun run = run_sms_test("R|20|5|x|x|0|0|115200|0|0|1");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            std::string(kPickedUp) + "Replying back to sender...\nCannot send SMS\n\n");
  EXPECT_EQ(run.status, "2 Cannot send SMS\n\n");
  EXPECT_EQ(run.resultFile, std::string("SMS_TEST,1,R,42,45.5N73.6W,2,") + kNoTimes);
  // The rest of the delete's answer went into the log as read, before the
  // reply, and the reply's own answer was the refusal.
  const std::string log = read_file(run.dir + "/R.5.debug.log");
  size_t reply = log.find("AT!SSMS=0,5551234,5551234,");
  ASSERT_NE(reply, std::string::npos) << log.substr(0, 2000);
  const std::string before = log.substr(0, reply);
  EXPECT_NE(before.rfind("\r\nOK\r\n"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 9), "\r\nERROR\r\n");
}

// Also when the earlier answer was a poll's answer over 40960 bytes: read
// whole, it leaves nothing behind for the reply.
TEST_F(FaultRunTest, AnOversizedReportLeavesNothingForTheReply) {
  start_sim({"--modem", "COM5=5550105,big,send-refused,confirm-late=1", "--inject",
             "COM5@0:5551234:hello"});
  sleep_milliseconds(300);
  ToolRun run = run_sms_test("R|20|5|x|x|0|0|115200|0|0|1");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            std::string(kPickedUp) + "Replying back to sender...\nCannot send SMS\n\n");
  EXPECT_EQ(run.status, "2 Cannot send SMS\n\n");
  // The message was found in the first poll's answer, past its buffer.
  const std::string log = read_file(run.dir + "/R.5.debug.log");
  EXPECT_NE(log.find("Got SMS message: hello\n"), std::string::npos);
}

// Each sends from the first modem to the second and names what the old
// versions made of it.
TEST_F(FaultRunTest, EchoErrorInBodiesAndSplitReports) {
  const std::vector<FaultRow> rows = {
      // The echo repeats "OK" in the text: it used to confirm a send the
      // modem never answered.
      FaultRow("echo, OK in the text", "", "echo-on,send-unconfirmed", 4,
               "2 Send Timed Out Waiting for +CMGW:\n\n", "", false, "", "")
          .with_text("say OK")
          .with_err("Sending SMS: Send Timed Out Waiting for +CMGW:\n\n"),
      // The echo repeats "ERROR": it used to fail a send confirmed later.
      FaultRow("echo, ERROR in the text", "", "echo-on,confirm-late=1", 15, "0 SUCCESS\n", "", true,
               "", "")
          .with_text("no ERROR here"),
      // "ERROR" in the body used to make every poll look refused: never
      // picked up, never deleted.
      FaultRow("ERROR in the body", "", "", 15, "0 SUCCESS\n", "", true, "", "")
          .with_text("ERROR 42"),
      // The body line came after the read had ended.
      {"report split before the body", "split-report=0.7", "", 15, "0 SUCCESS\n", "", true, "", ""},
  };
  const std::vector<PairRun> runs = run_fault_matrix(rows);
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    ASSERT_EQ(runs[i].run.result.size(), 12u) << runs[i].run.resultFile;
  }
  // The message with "ERROR" in its body was deleted: the next run on that
  // pair of modems finds its own.
  ToolRun next = run_sms_test("E|15|14|5551015|hello|0|0|115200|15|115200|0");
  EXPECT_EQ(next.process.err, round_trip_err());
  EXPECT_EQ(next.status, "0 SUCCESS\n");
}

// The sender and the body come from the network: the reflector writes no
// command that they could turn into commands of their own.
TEST_F(FaultRunTest, HostileSendersAndBodiesGetNoReply) {
  const char* kNotANumber = "Refusing to reply: sender is not a phone number\n";
  const char* kQuotes = "Refusing to reply: message holds control characters or quotes\n";
  struct {
    const char* name;
    std::string options;  // of the modem
    std::string body;     // the outside phone's text
    const char* refusal;  // nullptr: answered
  } cases[] = {
      {"alphanumeric sender", ",sender=BANK", "hi", kNotANumber},
      {"sender that ends the number", ",sender=5551234\";ATD5550000;", "hi", kNotANumber},
      {"quote in the body", "", "bye\";AT+CFUN=0;\"", kQuotes},
      {"Ctrl-Z in the body", "", "sent\x1a", kQuotes},
      {"ESC in the body", "", "no\x1b", kQuotes},
      {"plain message", ",sender=+15551234", "hello, there", nullptr},
  };
  std::vector<std::string> args;
  int port = 10;
  for (const auto& c : cases) {
    const std::string name = "COM" + std::to_string(port++);
    args.insert(args.end(), {"--modem", name + "=5552" + name.substr(3) + c.options, "--inject",
                             name + "@0:5551234:" + c.body});
  }
  start_sim(args);
  sleep_milliseconds(300);
  port = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun run = run_sms_test("H|20|" + std::to_string(port++) + "|x|x|0|0|115200|0|0|1");
    if (c.refusal == nullptr) {
      EXPECT_EQ(run.process.exitCode, 0);
      EXPECT_EQ(run.status, "0 SUCCESS\n");
      continue;
    }
    EXPECT_EQ(run.process.exitCode, 2);
    EXPECT_EQ(run.process.err, std::string(kPickedUp) + c.refusal + "\n");
    EXPECT_EQ(run.status, std::string("2 ") + c.refusal + "\n");
    EXPECT_EQ(run.resultFile, std::string("SMS_TEST,1,H,42,45.5N73.6W,2,") + kNoTimes);
    EXPECT_EQ(traffic(port - 1).find("cmd AT!SSMS"), std::string::npos) << traffic(port - 1);
  }
  // Only the plain message was answered.
  const std::string network = read_file(ports_ + "/network.log");
  EXPECT_EQ(network.find(" outside "), network.rfind(" outside ")) << network;
  EXPECT_NE(network.find(" outside COM15 555215 +15551234 "), std::string::npos) << network;
}

// A second run on a busy port fails on the port as ever, and leaves the
// debug log of the run that holds the port as it was.
TEST_F(FaultRunTest, ASecondRunOnABusyPortLeavesTheFirstRunsLog) {
  start_sim({"--modem", "COM5=5550105"});
  const std::string dir = make_temp_dir("busy");
  const std::string record = "B|6|5|x|x|0|0|115200|0|0|1";
  ToolRun first;
  std::thread firstRun([&] { first = run_tool(ports_, record, "42", dir, "results.csv", 30); });
  // The first run polls for a message that never comes.
  for (int i = 0;
       i < 200 && read_file(dir + "/B.5.debug.log").find("AT!GSMS?2,0") == std::string::npos; ++i) {
    sleep_milliseconds(50);
  }
  ToolRun second = run_tool(ports_, record, "43", dir, "results.csv", 30);
  const std::string logWhileBusy = read_file(dir + "/B.5.debug.log");
  firstRun.join();
  const std::string failure = "Failed to open " + port_name(ports_, 5) +
                              ". Please make sure that this device is not in use.";
  EXPECT_EQ(second.process.exitCode, 2);
  if (windows_mode()) {
    // Wine lets a second process open a port that another one holds: the
    // second run polls the same modem until its time is up.
    EXPECT_EQ(second.process.err.rfind("Cannot open log file B.5.debug.log\n", 0), 0u)
        << second.process.err;
  } else {
    // Another user finds the line claimed (EBUSY); root, whom the claim does
    // not stop, finds it locked.
    const std::string err = second.process.err;
    EXPECT_TRUE(err == "Cannot open log file B.5.debug.log\n" + failure +
                           " (Device or resource busy)\n" ||
                err == "Cannot open log file B.5.debug.log\n" + failure +
                           " (Resource temporarily unavailable)\n")
        << err;
  }
  // The holder's log was not emptied: it holds its whole dialogue.
  EXPECT_EQ(logWhileBusy.rfind("\nWrote 3 bytes\nAT\r", 0), 0u) << logWhileBusy;
  const std::string log = read_file(dir + "/B.5.debug.log");
  EXPECT_EQ(log.rfind("\nWrote 3 bytes\nAT\r", 0), 0u) << log;
  size_t polls = 0;
  for (size_t at = log.find("AT!GSMS?2,0"); at != std::string::npos;
       at = log.find("AT!GSMS?2,0", at + 1)) {
    ++polls;
  }
  EXPECT_GT(polls, 10u) << log;
  EXPECT_EQ(first.process.exitCode, 2);
  EXPECT_EQ(first.status, "2 Operation Timed out during SMS Receive.\n");
  // One result line for each run (under Wine the second may end later).
  if (!windows_mode()) {
    EXPECT_EQ(split(first.resultFile, '\n').size(), 3u) << first.resultFile;
  }
}

}  // namespace

}  // namespace smstest
