// Whole runs of SMS_TEST in PDU mode with texts longer than one message,
// against modem_sim: a round trip of three parts between two modems with
// the parts in its run record, and a reflector that answers a message of
// two parts with a reply in parts, which the sending run puts back
// together; and the simulator's faults on parts (reverse order, a part lost,
// twice, late).  Like the other whole runs they run a second time under
// Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "common/result_line.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using namespace result_column;  // the columns of run.result
using Json = nlohmann::json;

const char kSchema[] = SMS_TEST_SOURCE_DIR "/doc/run-record.schema.json";
const char kChecker[] = SMS_TEST_SOURCE_DIR "/tests/check_run_records.py";

// The one record of `path`.
Json record_of(const std::string& path) {
  const std::vector<std::string> lines = split(read_file(path), '\n');
  EXPECT_GE(lines.size(), 1u) << path;
  if (lines.empty()) return Json();
  return Json::parse(lines.front(), nullptr, false);
}

// How many times `needle` stands in `text`.
int count_of(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// The records checked against the schema, exactly its fields, when the
// checker can run.
void expect_schema_valid(const std::string& file) {
  ProcessResult probe = run_process({"/usr/bin/env", "python3", "-c", "import jsonschema"}, ".");
  if (probe.exitCode != 0) return;  // the record fields are checked one by one anyway
  ProcessResult check =
      run_process({"/usr/bin/env", "python3", kChecker, kSchema, "--exact", file}, ".");
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

// The parts of a record that all came: every part sent, confirmed and
// found, in order.
void expect_parts_whole(const Json& record, int count) {
  EXPECT_EQ(record["partsSent"], count) << record.dump();
  EXPECT_EQ(record["partsExpected"], count);
  EXPECT_EQ(record["partsReceived"], count);
  EXPECT_EQ(record["concatReferenceBits"], 8);
  ASSERT_TRUE(record["concatReference"].is_number_integer()) << record.dump();
  ASSERT_TRUE(record["parts"].is_array());
  ASSERT_EQ(record["parts"].size(), static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const Json& part = record["parts"][k];
    EXPECT_EQ(part["sequence"], k + 1);
    EXPECT_TRUE(part["reference"].is_number_integer()) << part.dump();
    EXPECT_TRUE(part["sendStart"].is_string()) << part.dump();
    EXPECT_TRUE(part["confirmed"].is_string()) << part.dump();
    EXPECT_TRUE(part["found"].is_string()) << part.dump();
    // ISO times of one day compare as text.
    EXPECT_LE(part["sendStart"].get<std::string>(), part["confirmed"].get<std::string>());
  }
  EXPECT_EQ(record["partsDuplicated"], 0);
  ASSERT_TRUE(record["partSpread"].is_number()) << record.dump();
  EXPECT_GE(record["partSpread"].get<double>(), 0.0);
}

class ConcatenatedRunTest : public WholeRunFixture {};

TEST_F(ConcatenatedRunTest, ThreePartRoundTripBetweenTwoModems) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.3"});
  // 400 characters, escapes among them: three parts of at most 153 septets.
  ToolRun run = run_sms_test(
      "T1|40|3|5550104|long one|0|0|115200|4|115200|0|pdu\nradio=0\nlength=400\nrecord=r.jsonl");
  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  EXPECT_EQ(run.status, "0 SUCCESS\n");
  ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
  EXPECT_EQ(run.result[kAccuracy], "100");
  EXPECT_GE(seconds_of(run.result[kSend]), 0.0);
  EXPECT_GE(seconds_of(run.result[kDelivery]), 0.0);
  // Three sends, each confirmed; three reads and deletes at the receiver.
  const std::string fromLog = read_file(run.dir + "/T1.3.debug.log");
  EXPECT_EQ(count_of(fromLog, "\nAT+CMGS="), 3) << fromLog;
  EXPECT_EQ(count_of(fromLog, "\r\n+CMGS: "), 3) << fromLog;
  const std::string toLog = read_file(run.dir + "/T1.4.debug.log");
  EXPECT_EQ(count_of(toLog, "\nAT+CMGD="), 3) << toLog;
  EXPECT_TRUE(contains(run.process.err, "Part 3 of 3: the message is complete.\n"))
      << run.process.err;
  EXPECT_EQ(count_of(network_log(), " delivered COM4 5550103 5550104 "), 3) << network_log();

  const Json record = record_of(run.dir + "/r.jsonl");
  ASSERT_FALSE(record.is_discarded());
  expect_parts_whole(record, 3);
  EXPECT_EQ(record["messageLength"], 400);
  EXPECT_EQ(record["accuracy"], 100.0);
  expect_schema_valid(run.dir + "/r.jsonl");
}

// A round trip sends two parts to a reflector; the reflector answers once
// it has both, in two parts, and the round trip finds its text inside the
// reply.  The reflector's modem gets the parts as they were sent, in
// reverse, or the first one twice.
TEST_F(ConcatenatedRunTest, ReflectorAnswersATwoPartMessage) {
  const struct {
    const char* name;
    const char* reflectorOptions;  // faults of the reflector's modem
    int outOfOrder;
    int duplicated;
  } rows[] = {
      {"in order", "", 0, 0},
      {"in reverse", ",part-order=reverse", 1, 0},
      {"part 1 twice", ",duplicate-part=1", 0, 1},
  };
  std::vector<std::string> args = {"--delay", "0.3"};
  for (int i = 0; i < 3; ++i) {
    args.push_back("--modem");
    args.push_back(format("COM%d=55501%02d", 20 + 2 * i, 20 + 2 * i));
    args.push_back("--modem");
    args.push_back(format("COM%d=55501%02d%s", 21 + 2 * i, 21 + 2 * i, rows[i].reflectorOptions));
  }
  start_sim(args);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i].name);
    const int senderPort = 20 + 2 * i;
    const int reflectorPort = 21 + 2 * i;
    const std::string reflectorDir = make_temp_dir("reflector");
    ToolRun reflector;
    std::thread reflecting([&] {
      reflector = run_sms_test(format("R|40|%d|unused|unused|0|0|115200|9|115200|1|pdu\nradio=0\n"
                                      "record=r.jsonl",
                                      reflectorPort),
                               "42", reflectorDir);
    });
    // The round trip sends once the reflector's modem has taken stock of its
    // store (what is stored then, it leaves alone).
    const std::string reflectorLog = reflectorDir + format("/R.%d.debug.log", reflectorPort);
    for (int k = 0; k < 400 && !contains(read_file(reflectorLog), "\nAT+CMGL=4\r\nRead "); ++k) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string text(200, 'x');  // 207 septets with the marker
    ToolRun sender =
        run_sms_test(format("S|40|%d|55501%02d|", senderPort, reflectorPort) + text +
                     format("|0|0|115200|%d|115200|0|pdu\nradio=0\nrecord=s.jsonl", senderPort));
    reflecting.join();

    EXPECT_EQ(reflector.process.exitCode, 0) << reflector.process.err;
    EXPECT_EQ(reflector.status, "0 SUCCESS\n");
    EXPECT_TRUE(contains(reflector.process.err, "the message is complete.\n"))
        << reflector.process.err;
    const Json reflected = record_of(reflectorDir + "/r.jsonl");
    ASSERT_FALSE(reflected.is_discarded());
    EXPECT_EQ(reflected["partsOutOfOrder"], rows[i].outOfOrder) << reflected.dump();
    EXPECT_EQ(reflected["partsDuplicated"], rows[i].duplicated) << reflected.dump();
    EXPECT_EQ(reflected["partsReceived"], 2);
    EXPECT_EQ(reflected["partsSent"], 2);
    const std::string reply = reflected["messageSent"].get<std::string>();
    EXPECT_EQ(reply.rfind("rEfLeCt", 0), 0u) << reply;
    EXPECT_TRUE(ends_with(reply, "T" + std::string("tImE42T") + text)) << reply;

    EXPECT_EQ(sender.process.exitCode, 0) << sender.process.err;
    EXPECT_EQ(sender.status, "0 SUCCESS\n");
    ASSERT_EQ(sender.result.size(), 12u) << sender.resultFile;
    EXPECT_EQ(sender.result[kAccuracy], "100");
    const Json sent = record_of(sender.dir + "/s.jsonl");
    ASSERT_FALSE(sent.is_discarded());
    expect_parts_whole(sent, 2);
    if (i == 0) expect_parts_whole(reflected, 2);
    expect_schema_valid(reflectorDir + "/r.jsonl");
    expect_schema_valid(sender.dir + "/s.jsonl");
  }
}

// The simulator's faults on the parts of a message, each on a pair of
// modems of its own, all at once: the run copes with parts in reverse, a
// part that comes twice or late, and fails on a lost part with the count of
// what came.
TEST_F(ConcatenatedRunTest, PartFaults) {
  struct Row {
    const char* name;
    const char* toOptions;  // the receiving modem's faults
    int testTimeout;
    const char* status;
    int received;
    int outOfOrder;
    int duplicated;
    int missing;  // the sequence number of the part that never came, 0: none
  };
  const Row rows[] = {
      {"reverse order", "part-order=reverse", 30, "0 SUCCESS\n", 3, 2, 0, 0},
      {"part 2 lost", "drop-part=2", 8, "2 Incomplete message: 2 of 3 parts\n\n", 2, 0, 0, 2},
      {"part 1 twice", "duplicate-part=1", 30, "0 SUCCESS\n", 3, 0, 1, 0},
      {"part 1 late", "delay-part=1@2", 30, "0 SUCCESS\n", 3, 1, 0, 0},
  };
  const int n = static_cast<int>(sizeof rows / sizeof rows[0]);
  std::vector<std::string> args = {"--delay", "0.2"};
  for (int i = 0; i < n; ++i) {
    args.push_back("--modem");
    args.push_back("COM" + std::to_string(10 + 2 * i) + "=55510" + std::to_string(10 + 2 * i));
    args.push_back("--modem");
    args.push_back("COM" + std::to_string(11 + 2 * i) + "=55510" + std::to_string(11 + 2 * i) +
                   "," + rows[i].toOptions);
  }
  start_sim(args);
  std::vector<ToolRun> runs(n);
  std::vector<std::thread> threads;
  // 407 septets with the marker: three parts.
  const std::string text(400, 'y');
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      const std::string from = std::to_string(10 + 2 * i);
      const std::string to = std::to_string(11 + 2 * i);
      runs[i] = run_sms_test("P|" + std::to_string(rows[i].testTimeout) + "|" + from + "|55510" +
                                 to + "|" + text + "|0|0|115200|" + to +
                                 "|115200|0|pdu\nradio=0\nrecord=r.jsonl",
                             "42", "", "results.csv", rows[i].testTimeout + 15);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < n; ++i) {
    const Row& row = rows[i];
    const ToolRun& run = runs[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(run.status, row.status) << run.process.err;
    const bool success = run.status == "0 SUCCESS\n";
    EXPECT_EQ(run.process.exitCode, success ? 0 : 2);
    if (success) {
      ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
      EXPECT_EQ(run.result[kAccuracy], "100");
    }
    const Json record = record_of(run.dir + "/r.jsonl");
    ASSERT_FALSE(record.is_discarded());
    EXPECT_EQ(record["partsSent"], 3);
    EXPECT_EQ(record["partsExpected"], 3);
    EXPECT_EQ(record["partsReceived"], row.received);
    EXPECT_EQ(record["partsOutOfOrder"], row.outOfOrder);
    EXPECT_EQ(record["partsDuplicated"], row.duplicated);
    ASSERT_EQ(record["parts"].size(), 3u);
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(record["parts"][k]["found"].is_null(), k + 1 == row.missing) << k + 1;
      EXPECT_TRUE(record["parts"][k]["confirmed"].is_string()) << k + 1;
    }
    if (row.missing != 0) {
      EXPECT_EQ(record["messageFound"], nullptr);
      EXPECT_EQ(record["failurePhase"], "receive");
    }
    expect_schema_valid(run.dir + "/r.jsonl");
  }
}

// With a status report asked for, every part gets one; the message's is
// the last part's, after every part was found (the reports of the
// parts that came first arrive while the last part is still on its way).
TEST_F(ConcatenatedRunTest, ReportsOnEveryPart) {
  start_sim(
      {"--modem", "COM3=5550103", "--modem", "COM4=5550104,delay-part=3@1", "--delay", "0.3"});
  ToolRun run = run_sms_test(
      "T1|40|3|5550104|long one|0|0|115200|4|115200|0|pdu\nradio=0\nlength=400\nreport=1\n"
      "record=r.jsonl");
  EXPECT_EQ(run.status, "0 SUCCESS\n") << run.process.err;
  const Json record = record_of(run.dir + "/r.jsonl");
  ASSERT_FALSE(record.is_discarded());
  expect_parts_whole(record, 3);
  EXPECT_EQ(record["reportClass"], "delivered") << record.dump();
  ASSERT_TRUE(record["reportReceived"].is_string()) << record.dump();
  for (const Json& part : record["parts"]) {
    EXPECT_GT(record["reportReceived"].get<std::string>(), part["found"].get<std::string>())
        << record.dump();
  }
  EXPECT_EQ(count_of(network_log(), " report COM3 "), 3) << network_log();
  expect_schema_valid(run.dir + "/r.jsonl");
}

// Long texts beyond ISO-8859-1 go in parts too: euro signs as 7-bit escape
// pairs (a pair never cut between parts), Cyrillic with emoji as UCS2 parts
// (a surrogate pair never cut), both back whole on the other modem.
TEST_F(ConcatenatedRunTest, LongTextsBeyondLatin1) {
  struct Row {
    const char* name;
    std::string text;
    int parts;
    std::string options;  // lines after the parameter line
    int length;           // messageLength in the record: characters with the marker
  };
  std::string euros;
  for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC";  // 200 septets with its escapes
  std::string cyrillic;
  for (int i = 0; i < 20; ++i)
    cyrillic += "\xD0\x9F\xD1\x80\xD0\xB8\xF0\x9F\x98\x80";  // "При" + emoji
  const Row rows[] = {
      {"euro signs, 7-bit", euros, 2, "", 107},
      {"Cyrillic and emoji, UCS2", cyrillic, 2, "", 87},
      {"an emoji filled to 150 characters", "\xF0\x9F\x98\x80", 3, "length=150\n", 150},
  };
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.1"});
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ToolRun run =
        run_sms_test("U|40|3|5550104|" + row.text + "|0|0|115200|4|115200|0|pdu\nradio=0\n" +
                         row.options + "record=r.jsonl",
                     std::to_string(50 + n++));
    EXPECT_EQ(run.status, "0 SUCCESS\n") << run.process.err;
    ASSERT_EQ(run.result.size(), 12u) << run.resultFile;
    EXPECT_EQ(run.result[kAccuracy], "100");
    const Json record = record_of(run.dir + "/r.jsonl");
    ASSERT_FALSE(record.is_discarded());
    expect_parts_whole(record, row.parts);
    ASSERT_TRUE(record["messageSent"].is_string()) << record.dump();
    EXPECT_EQ(record["messageSent"].get<std::string>().rfind(
                  "tImE" + std::to_string(49 + n) + "T" + row.text, 0),
              0u)
        << record.dump();
    EXPECT_EQ(record["messageLength"], row.length);
  }
}

}  // namespace

}  // namespace smstest
