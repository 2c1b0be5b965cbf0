// Whole runs of SMS_TEST against modem_sim: the round trip, the reflector,
// and how each fault of a modem shows in the reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "serial/clock.h"
#include "sim/sim_process.h"
#include "tests/whole_run.h"

namespace {

enum Column {
  kTag,
  kType,
  kName,
  kDataTime,
  kLatLong,
  kStatus,
  kSend,
  kDelivery,
  kReply,
  kTotal,
  kAccuracy,
  kPass
};

class WholeRunTest : public ::testing::Test {
 protected:
  // Starts the simulator with `args` after "--dir <dir>".
  void start_sim(std::vector<std::string> args) {
    ports_ = make_temp_dir("ports");
    args.insert(args.begin(), {"--dir", ports_});
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
  }
  std::string network_log() const { return read_file(ports_ + "/network.log"); }

  std::string ports_;
  SimProcess sim_;
};

const char kRoundTripErr[] =
    "Sending SMS: OK.\nNew Message Found.\nDeleting Message: OK - tImE42Thello\n";

TEST_F(WholeRunTest, RoundTripBetweenTwoModems) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.5"});
  ToolRun run = run_tool(ports_, "T1|30|3|5550104|hello|0|0|115200|4|115200|0");
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

  // Each modem's log holds its own dialogue, from the handshake on.
  std::string fromLog = read_file(run.dir + "/T1.3.debug.log");
  std::string toLog = read_file(run.dir + "/T1.4.debug.log");
  EXPECT_EQ(fromLog.rfind("\nWrote 3 bytes\nAT\r", 0), 0u) << fromLog;
  for (const std::string* log : {&fromLog, &toLog}) {
    size_t at = 0;
    for (const char* c : {"\nWrote 3 bytes\nAT\r", "\nWrote 3 bytes\nAT\r",
                          "\nWrote 5 bytes\nATE0\r", "\nWrote 9 bytes\nAT!DASMS\r"}) {
      at = log->find(c, at);
      ASSERT_NE(at, std::string::npos) << c << " in " << *log;
      ++at;
    }
  }
  EXPECT_NE(fromLog.find("AT!SSMS=0,5550104,5550104,\"tImE42Thello\"\r"), std::string::npos);
  EXPECT_NE(toLog.find("AT!GSMS?2,0\r"), std::string::npos);
  EXPECT_NE(toLog.find("Got SMS message: tImE42Thello\n"), std::string::npos);
  EXPECT_NE(toLog.find("AT!DSMS=3,0\r"), std::string::npos);
  EXPECT_EQ(fromLog.find("AT!GSMS"), std::string::npos);
}

TEST_F(WholeRunTest, RoundTripOnOneModem) {
  start_sim({"--modem", "COM5=5550105", "--delay", "0.2"});
  for (const char* record :
       {"T2|30|5|5550105|hello|0|0|9600|0|0|0", "T2|30|5|5550105|hello|0|0|9600|5|9600|0"}) {
    ToolRun run = run_tool(ports_, record);
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
  ToolRun prefixed = run_tool(ports_, "P|30|3|5550104|hello|0|0|115200|4|115200|0");
  EXPECT_EQ(prefixed.process.exitCode, 0);
  EXPECT_EQ(prefixed.status, "0 SUCCESS\n");
  ASSERT_EQ(prefixed.result.size(), 12u);
  EXPECT_EQ(prefixed.result[kAccuracy], "100");

  // One character changed: reported as "Accuracy not 100", yet the sequence
  // ran to its end.  A received text no longer than the sent one tries no
  // offset, so it scores 0.
  ToolRun changed = run_tool(ports_, "C|30|3|5550106|abcdefghijkl|0|0|115200|6|115200|0");
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
  ToolRun run = run_tool(ports_, "B|30|3|5550104|hello|0|0|115200|4|115200|0");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(run.process.err,
            "Sending SMS: OK.\nNew Message Found.\nDeleting Message: Bad SMS message\n\n");
  EXPECT_EQ(run.status, "2 Bad SMS message\n\n");
  ASSERT_EQ(run.result.size(), 12u);
  EXPECT_EQ(run.result[kStatus], "2");
  EXPECT_NE(run.result[kSend], "-Infinity");
  EXPECT_EQ(run.result[kDelivery], "-Infinity");
  // The receiving port was closed before the check.
  std::string traffic = read_file(ports_ + "/COM4.traffic.log");
  EXPECT_NE(traffic.find(" close"), std::string::npos);
}

struct FailureCase {
  const char* name;
  const char* modemOptions;  // options of the receiving modem COM4
  const char* fromOptions;   // options of the sending modem COM3
  int testTimeout;
  const char* status;  // the status file, exactly; nullptr: only check code 2
  bool sendMeasured;
  int exitCode;
};

// Each fault of a modem ends the run on its own, within its time limit, with
// a status file and a result line.
TEST_F(WholeRunTest, FaultsEndTheRunWithAReport) {
  FailureCase cases[] = {
      {"send refused", "", "send-refused", 10, "2 On sending SMS Text, Com port returned ERROR\n",
       false, 2},
      {"message lost", "lose", "", 4, "2 Operation Timed out during SMS Receive.\n", true, 2},
      {"delete refused", "delete-refused", "", 20, "0 SUCCESS\n", true, 0},
      {"polls answered ERROR", "poll-error", "", 20, "0 SUCCESS\n", true, 0},
      {"listing with ERROR", "cmgl-error", "", 20, "0 SUCCESS\n", true, 0},
      {"unsolicited lines", "unsolicited=0.3", "unsolicited=0.3", 20, nullptr, true, -1},
      {"NUL bytes in answers", "nul", "nul", 20, "0 SUCCESS\n", true, 0},
      {"answers in chunks", "chunks=0.3", "", 20, nullptr, true, -1},
      {"oversized report", "big", "", 6, nullptr, true, -1},
      {"send never confirmed", "", "send-unconfirmed", 3, "2 Send Timed Out Waiting for +CMGW:\n\n",
       false, 2},
      {"CMGS at the first byte", "", "cmgs-first", 3, "2 Send Timed Out Waiting for +CMGW:\n\n",
       false, 2},
      {"silent receiver", "silent", "", 5, nullptr, false, 2},
      {"receiver hangs up", "hangup=5", "", 5, nullptr, true, 2},
      {"only the second AT answered", "skip-first-at", "", 20, "0 SUCCESS\n", true, 0},
      {"AT!DASMS not supported", "no-dasms", "", 20, "0 SUCCESS\n", true, 0},
  };
  const int n = sizeof cases / sizeof cases[0];
  std::vector<std::string> args = {"--delay", "0.3"};
  for (int i = 0; i < n; ++i) {
    args.push_back("--modem");
    args.push_back("COM" + std::to_string(10 + 2 * i) + "=55510" + std::to_string(10 + 2 * i) +
                   (cases[i].fromOptions[0] ? "," : "") + cases[i].fromOptions);
    args.push_back("--modem");
    args.push_back("COM" + std::to_string(11 + 2 * i) + "=55510" + std::to_string(11 + 2 * i) +
                   (cases[i].modemOptions[0] ? "," : "") + cases[i].modemOptions);
  }
  start_sim(args);
  std::vector<ToolRun> runs(n);
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      int from = 10 + 2 * i, to = 11 + 2 * i;
      std::string record = "F|" + std::to_string(cases[i].testTimeout) + "|" +
                           std::to_string(from) + "|55510" + std::to_string(to) +
                           "|hello|0|0|115200|" + std::to_string(to) + "|115200|0";
      runs[i] = run_tool(ports_, record, "42", "", "results.csv", cases[i].testTimeout + 10);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < n; ++i) {
    const FailureCase& c = cases[i];
    const ToolRun& run = runs[i];
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(run.process.timedOut) << "the run did not end on its own";
    EXPECT_LE(run.process.seconds, c.testTimeout + 10);
    if (c.exitCode >= 0) {
      EXPECT_EQ(run.process.exitCode, c.exitCode) << run.process.err;
    } else {
      EXPECT_TRUE(run.process.exitCode == 0 || run.process.exitCode == 2) << run.process.err;
    }
    if (c.status != nullptr) {
      EXPECT_EQ(run.status, c.status) << run.process.err;
    } else {
      EXPECT_FALSE(run.status.empty());
      if (run.process.exitCode == 2) {
        EXPECT_EQ(run.status.rfind("2 ", 0), 0u) << run.status;
      }
    }
    ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
    if (run.process.exitCode == 2) {
      EXPECT_EQ(run.result[kStatus], "2");
      EXPECT_EQ(run.result[kSend] != "-Infinity", c.sendMeasured) << run.resultFile;
    }
  }
}

TEST_F(WholeRunTest, Reflector) {
  start_sim({"--modem", "COM5=5550105", "--inject", "COM5@0.5:5551234:hello there"});
  int64_t before = calendar_seconds();
  ToolRun run = run_tool(ports_, "R|20|5|unused|unused|0|0|115200|9|115200|1");
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
  ToolRun run = run_tool(ports_, "R|20|5|x|x|0|0|115200|0|0|1");
  EXPECT_EQ(run.process.exitCode, 2);
  EXPECT_EQ(
      run.process.err,
      "New Message Found.\nDeleting Message: Replying back to sender...\nCannot send SMS\n\n");
  EXPECT_EQ(run.status, "2 Cannot send SMS\n\n");
  EXPECT_EQ(run.resultFile,
            "SMS_TEST,1,R,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

TEST_F(WholeRunTest, OpenFailures) {
  start_sim({"--modem", "COM3=5550103"});
  // No modem behind COM9: the status file carries the open failure.
  ToolRun missing = run_tool(ports_, "M|10|9|1|x|0|0|115200|0|0|0");
  EXPECT_EQ(missing.process.exitCode, 2);
  std::string text =
      "Failed to open " + ports_ + "/COM9. Please make sure that this device is not in use.";
  EXPECT_EQ(missing.process.err, text + "\n");
  EXPECT_EQ(missing.status, "2 " + text + "\n");
  EXPECT_EQ(missing.resultFile,
            "SMS_TEST,1,M,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");

  // The receiving modem fails after the sending one opened: its text is
  // reported, and both logs were created before either port was opened.
  ToolRun second = run_tool(ports_, "T1|10|3|1|x|0|0|115200|8|115200|0");
  EXPECT_EQ(second.process.exitCode, 2);
  EXPECT_EQ(second.status, "2 Failed to open " + ports_ +
                               "/COM8. Please make sure that this device is not in use.\n");
  EXPECT_TRUE(file_exists(second.dir + "/T1.3.debug.log"));
  EXPECT_TRUE(file_exists(second.dir + "/T1.8.debug.log"));
  EXPECT_EQ(read_file(second.dir + "/T1.8.debug.log"), "");
}

TEST_F(WholeRunTest, DelayedConfirmationAndDeliveryShowInTheTimes) {
  start_sim({"--modem", "COM3=5550103,confirm-late=1", "--modem", "COM4=5550104,delay=2"});
  ToolRun run = run_tool(ports_, "D|30|3|5550104|hello|0|0|115200|4|115200|0");
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
      runs[i] = run_tool(ports_, record, "42", dir, sharedName);
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<std::string> lines = split(read_file(shared + "/all.csv"), '\n');
  ASSERT_EQ(lines.size(), kRuns + 1u);
  EXPECT_EQ(lines.back(), "");
  std::vector<bool> seen(kRuns, false);
  for (int i = 0; i < kRuns; ++i) {
    std::vector<std::string> cols = split(lines[i], ',');
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
  run_tool(ports_, "A|30|3|5550103|one|0|0|115200|0|0|0", "1", dir);
  ToolRun second = run_tool(ports_, "B|30|3|5550103|two|0|0|115200|0|0|0", "2", dir);
  std::vector<std::string> lines = split(second.resultFile, '\n');
  ASSERT_EQ(lines.size(), 3u) << second.resultFile;
  EXPECT_EQ(lines[0].rfind("SMS_TEST,1,A,1,", 0), 0u);
  EXPECT_EQ(lines[1].rfind("SMS_TEST,1,B,2,", 0), 0u);
  EXPECT_EQ(second.status, "0 SUCCESS\n");
}

}  // namespace
