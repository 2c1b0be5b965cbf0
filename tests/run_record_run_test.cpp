// Whole runs that leave run records: the records of successes and of each
// kind of failure, of a run ended by a signal and of a run whose status file
// can't be written, sixteen runs appending to one record file at once, and
// the records checked against doc/run-record.schema.json.  The runs that need
// no POSIX shell run under Wine too (tests/wine/run_wine_tests.sh), which
// checks the command-file options on the Windows build.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_process.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

constexpr int kSend = 6;  // result line columns
constexpr int kDelivery = 7;

const char kSchema[] = SMS_TEST_SOURCE_DIR "/doc/run-record.schema.json";
const char kChecker[] = SMS_TEST_SOURCE_DIR "/tests/check_run_records.py";

// The records of a record file, one per line.
std::vector<Json> records_of(const std::string& path) {
  std::vector<Json> records;
  for (const std::string& line : split(read_file(path), '\n')) {
    if (line.empty() || line == "\r") continue;
    records.push_back(Json::parse(line, nullptr, false));
    EXPECT_FALSE(records.back().is_discarded()) << line;
  }
  return records;
}

// Seconds since midnight of an ISO time of a record (the runs here never
// cross midnight by more than their length).
double seconds_of_day(const Json& time) {
  const std::string text = time.get<std::string>();
  return std::stod(text.substr(11, 2)) * 3600 + std::stod(text.substr(14, 2)) * 60 +
         std::stod(text.substr(17, 9));
}

// Why the records can't be checked against the schema, "" when they can.
std::string schema_check_missing() {
  ProcessResult probe = run_process({"/usr/bin/env", "python3", "-c", "import jsonschema"}, ".");
  return probe.exitCode == 0 ? "" : "python3 with jsonschema is missing (python3-jsonschema)";
}

// Checks the record files against the schema (exactly its fields) when the
// checker can run.
void expect_schema_valid(const std::vector<std::string>& files) {
  if (!schema_check_missing().empty()) return;
  std::vector<std::string> args = {"/usr/bin/env", "python3", kChecker, kSchema, "--exact"};
  args.insert(args.end(), files.begin(), files.end());
  ProcessResult check = run_process(args, ".");
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

class RunRecordRunTest : public ::testing::Test {
 protected:
  void start_sim(std::vector<std::string> args) {
    ports_ = ports_dir();
    ASSERT_FALSE(ports_.empty()) << "no folder for the simulator's links (SMS_TEST_WINE_PORTS?)";
    args.insert(args.begin(), {"--dir", ports_});
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
  }
  // A run whose command file asks for the record "run.jsonl"; its records
  // in `records`.
  ToolRun run_recorded(const std::string& line3, std::vector<Json>& records,
                       const std::string& dataTime = "42") {
    ToolRun run = run_tool(ports_, line3 + "\n# not an option\nrecord=run.jsonl", dataTime);
    records = records_of(run.dir + "/run.jsonl");
    return run;
  }
  std::string ports_;
  SimProcess sim_;
};

TEST_F(RunRecordRunTest, SuccessesRecordTheirMeasuresAndReadings) {
  start_sim({"--delay", "0.4", "--modem", "COM3=5550103", "--modem", "COM4=5550104", "--modem",
             "COM5=5550105", "--inject", "COM5@2:5551234:ping"});
  std::vector<Json> reflected;
  ToolRun reflector;
  std::thread side(
      [&] { reflector = run_recorded("R1|30|5|0|x|0|0|115200|0|115200|1", reflected); });
  std::vector<Json> records;
  ToolRun run = run_recorded("T1|30|3|5550104|hello|0|0|115200|4|115200|0", records);
  side.join();

  EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
  ASSERT_EQ(records.size(), 1u);
  const Json& r = records[0];
  EXPECT_EQ(r["failurePhase"], nullptr);
  EXPECT_EQ(r["exitCode"], 0);
  EXPECT_EQ(r["statusText"], "SUCCESS");
  EXPECT_EQ(r["testName"], "T1");
  EXPECT_EQ(r["dataTime"], "42");
  EXPECT_EQ(r["latLong"], "45.5N73.6W");
  EXPECT_EQ(r["commandSet"], "proprietary");
  EXPECT_EQ(r["messageSent"], "tImE42Thello");
  EXPECT_EQ(r["sender"], "5550103");
  ASSERT_EQ(run.result.size(), 12u);
  // The measures are the result line's, as numbers.
  EXPECT_DOUBLE_EQ(r["sendTime"].get<double>(), seconds_of(run.result[kSend]));
  EXPECT_DOUBLE_EQ(r["deliveryTime"].get<double>(), seconds_of(run.result[kDelivery]));
  EXPECT_EQ(r["replyTime"], nullptr);
  // The readings on the calendar: in order, and as far apart as the measures say.
  const double start = seconds_of_day(r["runStart"]);
  const double sendStart = seconds_of_day(r["sendStart"]);
  const double confirmed = seconds_of_day(r["sendConfirmed"]);
  const double found = seconds_of_day(r["messageFound"]);
  const double end = seconds_of_day(r["runEnd"]);
  EXPECT_LE(start, sendStart);
  EXPECT_LE(found, end);
  EXPECT_NEAR(confirmed - sendStart, r["sendTime"].get<double>(), 3e-6);
  EXPECT_NEAR(found - confirmed, r["deliveryTime"].get<double>(), 3e-6);
  EXPECT_NEAR(end - start, r["totalTime"].get<double>(), 0.05);

  EXPECT_EQ(reflector.process.exitCode, 0) << reflector.process.err;
  ASSERT_EQ(reflected.size(), 1u);
  const Json& f = reflected[0];
  EXPECT_EQ(f["mode"], "reflector");
  EXPECT_EQ(f["failurePhase"], nullptr);
  EXPECT_EQ(f["sender"], "5551234");
  EXPECT_EQ(f["messageSent"].get<std::string>().rfind("rEfLeCt", 0), 0u);
  EXPECT_NEAR(seconds_of_day(f["replyConfirmed"]) - seconds_of_day(f["messageFound"]),
              f["replyTime"].get<double>(), 3e-6);
  expect_schema_valid({run.dir + "/run.jsonl", reflector.dir + "/run.jsonl"});
}

TEST_F(RunRecordRunTest, FailuresRecordTheirPhase) {
  struct Case {
    const char* line3;
    const char* phase;
    const char* errorType;  // nullptr: none
    int errorCode;
    bool sent;
  } cases[] = {
      {"O|5|40|5550111|hello|0|0|115200|11|115200|0", "setup", nullptr, 0, false},
      {"Q|5|15|5550111|hello|0|0|115200|11|115200|0", "setup", nullptr, 0, false},
      {"D|5|16|5550111|hello|0|0|115200|11|115200|0|text", "open", nullptr, 0, false},
      {"S|10|10|5550111|hello|0|0|115200|11|115200|0|text", "send", "CMS", 330, false},
      {"R|3|12|5559999|hello|0|0|115200|13|115200|0", "receive", nullptr, 0, true},
      {"E|3|14|0|x|0|0|115200|0|115200|1", "receive", nullptr, 0, false},
  };
  start_sim({"--delay", "0.3", "--modem", "COM10=5550110,send-error=330", "--modem",
             "COM11=5550111", "--modem", "COM12=5550112", "--modem", "COM13=5550113", "--modem",
             "COM14=5550114", "--modem", "COM15=5550115,silent", "--modem",
             "COM16=5550116,hangup=3"});
  const int n = sizeof cases / sizeof cases[0];
  std::vector<ToolRun> runs(n);
  std::vector<std::vector<Json>> records(n);
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] { runs[i] = run_recorded(cases[i].line3, records[i]); });
  }
  for (std::thread& t : threads) t.join();
  std::vector<std::string> files;
  for (int i = 0; i < n; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.line3);
    EXPECT_EQ(runs[i].process.exitCode, 2) << runs[i].process.err;
    ASSERT_EQ(records[i].size(), 1u);
    const Json& r = records[i][0];
    EXPECT_EQ(r["failurePhase"], c.phase);
    EXPECT_EQ(r["exitCode"], 2);
    EXPECT_EQ(r["statusCode"], 2);
    EXPECT_EQ(r["statusText"].get<std::string>(), trim_text(runs[i].status.substr(2)));
    EXPECT_EQ(r["modemErrorType"], c.errorType == nullptr ? Json() : Json(c.errorType));
    EXPECT_EQ(r["modemErrorCode"], c.errorType == nullptr ? Json() : Json(c.errorCode));
    EXPECT_EQ(r["sendTime"].is_number(), c.sent);
    EXPECT_EQ(r["sendConfirmed"].is_string(), c.sent);
    EXPECT_EQ(r["deliveryTime"], nullptr);
    EXPECT_EQ(r["messageFound"], nullptr);
    files.push_back(runs[i].dir + "/run.jsonl");
  }
  expect_schema_valid(files);
}

// Runs without the option or SMS_TEST_RECORD write no record; the variable
// names the file when the command file names none; a status file that can't
// be written still leaves a record, which says so.
TEST_F(RunRecordRunTest, EnvironmentAndAStatusFileThatCantBeWritten) {
  if (windows_mode()) GTEST_SKIP() << "sets the environment of the native tool";
  start_sim({"--delay", "0.3", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  const std::string line3 = "T1|30|3|5550104|hello|0|0|115200|4|115200|0";
  ToolRun plain = run_tool(ports_, line3);
  EXPECT_EQ(plain.process.exitCode, 0);
  for (const std::string& name : list_dir(plain.dir))
    EXPECT_EQ(name.find("json"), std::string::npos);

  const std::string dir = make_temp_dir("record_env");
  const std::string envRecord = dir + "/env.jsonl";
  ASSERT_TRUE(write_file(dir + "/cmd.txt", "SMS_TEST\nresults.csv\n" + line3 + "\n"));
  ProcessResult p = run_process({SMS_TEST_BINARY, "cmd.txt", "missing/status.txt", "7", "-"}, dir,
                                {"SMS_TEST_PORTS=" + ports_, "SMS_TEST_RECORD=" + envRecord}, 60);
  EXPECT_EQ(p.exitCode, 0) << p.err;
  std::vector<Json> records = records_of(envRecord);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["statusFileWritten"], false);
  EXPECT_EQ(records[0]["statusText"], "SUCCESS");
  EXPECT_EQ(records[0]["failurePhase"], "report-file");

  // The command file's option wins over the variable.
  ASSERT_TRUE(
      write_file(dir + "/cmd.txt", "SMS_TEST\nresults.csv\n" + line3 + "\nrecord=own.jsonl\n"));
  p = run_process({SMS_TEST_BINARY, "cmd.txt", "status.txt", "8", "-"}, dir,
                  {"SMS_TEST_PORTS=" + ports_, "SMS_TEST_RECORD=" + envRecord}, 60);
  EXPECT_EQ(p.exitCode, 0) << p.err;
  EXPECT_EQ(records_of(envRecord).size(), 1u);
  ASSERT_EQ(records_of(dir + "/own.jsonl").size(), 1u);
  expect_schema_valid({envRecord, dir + "/own.jsonl"});
}

// A start-up refusal leaves a record, failed in the set-up, when it knows the
// file: from the environment, or from the command file once it was read.
TEST_F(RunRecordRunTest, StartUpRefusalsLeaveSetupRecords) {
  if (windows_mode()) GTEST_SKIP() << "sets the environment of the native tool";
  struct Case {
    const char* cmd;
    bool useEnv;         // SMS_TEST_RECORD=env.jsonl
    const char* record;  // the file that gets the record, nullptr: none
    const char* text;
  } cases[] = {
      {"SMS_TEST\nresults.csv\n", true, "env.jsonl", "Missing parameter line (line 3) in cmd.txt"},
      {"SMS_TEST\nresults.csv\nT|5|3|1|x|0|0|115200|4|115200|0|txt\n", true, "env.jsonl",
       "Unknown command set txt (valid: text, pdu, or none for the modem's own commands)"},
      {"SMS_TEST\nresults.csv\nT|5|0|1|x|0|0|115200|4|115200|0\nrecord=own.jsonl\n", true,
       "own.jsonl", "From COM port must be > 0"},
      {"SMS_TEST\nresults.csv\nT|5|0|1|x|0|0|115200|4|115200|0\nrecord=own.jsonl\n", false,
       "own.jsonl", "From COM port must be > 0"},
      {"SMS_TEST\nresults.csv\nT|5|0|1|x|0|0|115200|4|115200|0\n", false, nullptr,
       "From COM port must be > 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cmd);
    const std::string dir = make_temp_dir("record_refusal");
    ASSERT_TRUE(write_file(dir + "/cmd.txt", c.cmd));
    std::vector<std::string> env;
    if (c.useEnv) env.push_back("SMS_TEST_RECORD=" + dir + "/env.jsonl");
    ProcessResult p = run_process({SMS_TEST_BINARY, "cmd.txt", "status.txt", "7", "-"}, dir, env);
    EXPECT_EQ(p.exitCode, 2);
    EXPECT_EQ(p.err, std::string(c.text) + "\n");
    EXPECT_FALSE(file_exists(dir + "/status.txt"));
    std::vector<std::string> written;
    for (const std::string& name : list_dir(dir)) {
      if (name.find(".jsonl") != std::string::npos) written.push_back(name);
    }
    if (c.record == nullptr) {
      EXPECT_TRUE(written.empty());
      continue;
    }
    ASSERT_EQ(written, std::vector<std::string>{c.record});
    std::vector<Json> records = records_of(dir + "/" + c.record);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["failurePhase"], "setup");
    EXPECT_EQ(records[0]["statusCode"], nullptr);
    EXPECT_EQ(records[0]["statusText"], c.text);
    EXPECT_EQ(records[0]["exitCode"], 2);
    EXPECT_EQ(records[0]["dataTime"], "7");
    expect_schema_valid({dir + "/" + c.record});
  }
}

TEST_F(RunRecordRunTest, ARunEndedByASignalLeavesItsRecord) {
  if (windows_mode()) GTEST_SKIP() << "POSIX signals";
  start_sim({"--modem", "COM5=5550105"});
  const std::string dir = make_temp_dir("record_signal");
  ASSERT_TRUE(write_file(dir + "/cmd.txt",
                         "SMS_TEST\nresults.csv\nS|60|5|0|x|0|0|115200|0|0|1\nrecord=r.jsonl\n"));
  const std::string script =
      std::string("\"$0\" cmd.txt status.txt 9 - & p=$!; sleep 1; ") + "kill -TERM $p; wait $p";
  ProcessResult p = run_process({"/bin/sh", "-c", script, SMS_TEST_BINARY}, dir,
                                {"SMS_TEST_PORTS=" + ports_}, 60);
  EXPECT_EQ(p.exitCode, 143) << p.err;
  std::vector<Json> records = records_of(dir + "/r.jsonl");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["exitCode"], 143);
  EXPECT_EQ(records[0]["signal"], 15);
  EXPECT_EQ(records[0]["failurePhase"], "receive");
  EXPECT_EQ(records[0]["statusText"], "Interrupted by signal 15");
  expect_schema_valid({dir + "/r.jsonl"});
}

// Sixteen runs appending long records to one file at once leave sixteen
// whole lines.
TEST_F(RunRecordRunTest, SixteenRunsAppendToOneFile) {
  if (windows_mode()) GTEST_SKIP() << "starts the runs from a POSIX shell";
  const std::string dir = make_temp_dir("record_sixteen");
  const std::string text(900, 'x');
  ASSERT_TRUE(write_file(dir + "/cmd.txt", "SMS_TEST\nresults.csv\nM|5|3|5550104|" + text +
                                               "|0|0|115200|4|115200|0\nrecord=all.jsonl\n"));
  const std::string script =
      "for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do "
      "\"$0\" cmd.txt status$i.txt $i - 2>/dev/null & done; wait";
  ProcessResult p = run_process({"/bin/sh", "-c", script, SMS_TEST_BINARY}, dir,
                                {"SMS_TEST_PORTS=" + dir + "/no-ports"}, 60);
  EXPECT_EQ(p.exitCode, 0) << p.err;
  std::vector<Json> records = records_of(dir + "/all.jsonl");
  ASSERT_EQ(records.size(), 16u);
  std::vector<bool> seen(17, false);
  for (const Json& r : records) {
    ASSERT_TRUE(r.is_object());
    const int run = std::stoi(r["dataTime"].get<std::string>());
    ASSERT_TRUE(run >= 1 && run <= 16);
    EXPECT_FALSE(seen[run]) << run;
    seen[run] = true;
    EXPECT_EQ(r["failurePhase"], "setup");  // no port at all
    // tImE<dataTime>T and the text.
    EXPECT_EQ(r["messageLength"], 900 + 5 + std::to_string(run).size());
  }
  expect_schema_valid({dir + "/all.jsonl"});
}

TEST_F(RunRecordRunTest, SchemaCheckerIsThere) {
  const std::string missing = schema_check_missing();
  if (!missing.empty()) GTEST_SKIP() << missing << ": records are not checked against the schema";
  // The checker itself finds a record that breaks the schema.
  const std::string dir = make_temp_dir("record_schema");
  ASSERT_TRUE(
      write_file(dir + "/bad.jsonl", "{\"schemaVersion\": 1, \"sendTime\": \"-Infinity\"}\n"));
  ProcessResult check =
      run_process({"/usr/bin/env", "python3", kChecker, kSchema, dir + "/bad.jsonl"}, ".");
  EXPECT_EQ(check.exitCode, 1) << check.out;
}

}  // namespace

}  // namespace smstest
