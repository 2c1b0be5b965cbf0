// Whole runs that take radio conditions: the identity and the snapshots of
// each modem in the run record in every command set (the proprietary one
// only with radio=1, its dialogue unchanged without), a registration line
// the modem sends during the wait, an attempt made while the sending modem
// is not registered, and the records checked against the schema.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/sim_process.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

const char kSchema[] = SMS_TEST_SOURCE_DIR "/doc/run-record.schema.json";
const char kChecker[] = SMS_TEST_SOURCE_DIR "/tests/check_run_records.py";

class RadioRunTest : public ::testing::Test {
 protected:
  void start_sim(std::vector<std::string> args) {
    ports_ = ports_dir();
    ASSERT_FALSE(ports_.empty()) << "no folder for the simulator's links (SMS_TEST_WINE_PORTS?)";
    args.insert(args.begin(), {"--dir", ports_});
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY, args)) << sim_.lastError;
  }

  // A round trip from COM3 to COM4 in `set` with `options` lines; its record.
  Json run(const std::string& set, const std::string& options, ToolRun* out = nullptr) {
    ToolRun r = run_tool(ports_, "R|30|3|5550104|hello|0|0|115200|4|115200|0|" + set +
                                     "\nrecord=run.jsonl" + options);
    EXPECT_EQ("0 SUCCESS\n", r.status) << r.process.err;
    if (out != nullptr) *out = r;
    files_.push_back(r.dir + "/run.jsonl");
    return Json::parse(read_file(r.dir + "/run.jsonl"), nullptr, false);
  }

  std::vector<std::string> tags(const Json& modem) {
    std::vector<std::string> out;
    for (const Json& s : modem["radio"]) out.push_back(s["at"].get<std::string>());
    return out;
  }

  void TearDown() override {
    sim_.stop();
    ProcessResult probe = run_process({"/usr/bin/env", "python3", "-c", "import jsonschema"}, ".");
    if (probe.exitCode != 0 || files_.empty()) return;
    std::vector<std::string> args = {"/usr/bin/env", "python3", kChecker, kSchema};
    args.insert(args.end(), files_.begin(), files_.end());
    ProcessResult check = run_process(args, ".");
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  }

  std::string ports_;
  SimProcess sim_;
  std::vector<std::string> files_;
};

TEST_F(RadioRunTest, EveryCommandSetRecordsIdentityAndSnapshots) {
  start_sim({"--delay", "0.3", "--modem", "COM3=5550103,tech=umts,rscp=-90,ecno=-7.5", "--modem",
             "COM4=5550104,reg=roaming,operator=26202,imsi=262019876543210,rsrp=-101"});
  struct Row {
    const char* set;
    const char* options;
  } rows[] = {{"text", ""}, {"pdu", ""}, {"", "\nradio=1"}};
  for (const Row& row : rows) {
    Json r = run(row.set, row.options);
    ASSERT_TRUE(r["modems"].is_array()) << row.set;
    ASSERT_EQ(2u, r["modems"].size()) << row.set;
    const Json& from = r["modems"][0];
    const Json& to = r["modems"][1];
    EXPECT_EQ(3, from["port"]);
    EXPECT_EQ(Json::array({"from"}), from["roles"]);
    EXPECT_EQ(std::vector<std::string>({"open", "send"}), tags(from)) << row.set;
    EXPECT_EQ(std::vector<std::string>({"open", "found"}), tags(to)) << row.set;
    EXPECT_EQ("modem_sim", from["identity"]["model"]);
    EXPECT_EQ("001-01", from["identity"]["homeNetwork"]);
    EXPECT_EQ("262-01", to["identity"]["homeNetwork"]);
    EXPECT_EQ("350000005501032", from["identity"]["imei"]);
    const Json& send = from["radio"][1];
    EXPECT_EQ("UMTS", send["technology"]);
    EXPECT_EQ("001-01", send["operator"]);
    EXPECT_EQ(-90.0, send["rscpDbm"]);
    EXPECT_EQ(-7.5, send["ecnoDb"]);
    EXPECT_TRUE(send["rsrpDbm"].is_null());
    const Json& found = to["radio"][1];
    EXPECT_EQ(5, found["stat"]);
    EXPECT_EQ(true, found["registered"]);
    EXPECT_EQ("262-02", found["operator"]);
    EXPECT_EQ(-101.0, found["rsrpDbm"]);
    EXPECT_EQ("1A2B", found["lac"]);
    EXPECT_EQ(true, r["registeredAtSend"]);
    EXPECT_EQ(std::string::npos, r.dump().find("262019876543210"));  // the IMSI is not kept
  }
}

TEST_F(RadioRunTest, ProprietaryDialogueIsUnchangedWithoutTheOption) {
  start_sim({"--delay", "0.3", "--modem", "COM3=5550103", "--modem", "COM4=5550104"});
  for (const char* options : {"", "\nradio=0"}) {
    ToolRun r;
    Json record = run("", options, &r);
    EXPECT_TRUE(record["modems"].is_null());
    EXPECT_TRUE(record["registeredAtSend"].is_null());
    for (const char* log : {"/R.3.debug.log", "/R.4.debug.log"}) {
      std::string text = read_file(r.dir + log);
      EXPECT_FALSE(contains(text, "AT+C")) << text;
      EXPECT_TRUE(contains(text, "AT!DASMS")) << text;
    }
  }
  Json off = run("text", "\nradio=0");
  EXPECT_TRUE(off["modems"].is_null());
}

TEST_F(RadioRunTest, RegistrationLineAndAnAttemptWhileNotRegistered) {
  // COM3 searches, COM4 changes cell while the message is under way.
  start_sim({"--delay", "1.5", "--modem", "COM3=5550103,reg=searching,no-cesq", "--modem",
             "COM4=5550104,radio-at=0.8:cell=BEEF"});
  ToolRun r;
  Json record = run("text", "", &r);
  EXPECT_EQ(false, record["registeredAtSend"]);
  const Json& send = record["modems"][0]["radio"][1];
  EXPECT_EQ(2, send["stat"]);
  EXPECT_TRUE(send["rssiDbm"].is_null());
  EXPECT_TRUE(send["operator"].is_null());
  EXPECT_EQ(std::vector<std::string>({"open", "urc", "found"}), tags(record["modems"][1]));
  EXPECT_EQ("BEEF", record["modems"][1]["radio"][1]["cellId"]);
  EXPECT_EQ("BEEF", record["modems"][1]["radio"][2]["cellId"]);
  // The refused AT+CESQ is noted once in COM3's debug log.
  std::string log = read_file(r.dir + "/R.3.debug.log");
  const std::string note = "AT+CESQ answered ERROR: radio value unknown, not asked again";
  EXPECT_TRUE(contains(log, note)) << log;
  EXPECT_EQ(log.find(note), log.rfind(note));
}

}  // namespace

}  // namespace smstest
