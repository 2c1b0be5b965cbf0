// sms_modems against the simulator's modems, a port that answers nothing and
// a port that answers garbage (pseudo-terminals): the table, the JSON, the
// links, the time bound; and the command-set choice on its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/files.h"
#include "sim/sim_process.h"
#include "testsupport/pty_peer.h"
#include "testsupport/run_process.h"
#include "testsupport/temp_path.h"
#include "tools/modems/modem_probe.h"

namespace smstest {
namespace {

using Json = nlohmann::json;

TEST(CommandSetChoice, PrefersTheStandardSetsWithIndications) {
  struct Row {
    bool text, pdu, cnmi, proprietary;
    const char* use;
  } rows[] = {
      {true, true, true, true, "text"},         {false, true, true, true, "pdu"},
      {true, true, false, true, "proprietary"}, {true, false, false, false, "text"},
      {false, true, false, false, "pdu"},       {false, false, false, false, ""},
  };
  for (const Row& row : rows) {
    ProbeResult r;
    r.textMode = row.text;
    r.pduMode = row.pdu;
    r.cnmi = row.cnmi;
    r.proprietary = row.proprietary;
    EXPECT_EQ(row.use, command_set_to_use(r)) << row.text << row.pdu << row.cnmi << row.proprietary;
  }
}

class SmsModemsTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("sms_modems");
    ports_ = dir_ + "/ports";
    ASSERT_TRUE(sim_.start(MODEM_SIM_BINARY,
                           {"--dir", ports_, "--modem", "COM3=5550103,tech=gsm,rssi=-71", "--modem",
                            "COM4=5550104,reg=searching,no-cesq,operator=26202"}))
        << sim_.lastError;
    ASSERT_TRUE(silent_.create());
    ASSERT_TRUE(garbage_.create());
    garbage_.serve([](const std::string&) {
      return std::vector<std::string>{std::string("\x01\xfe~~#\x13 zz\r\n", 10)};
    });
  }
  void TearDown() override { sim_.stop(); }

  // sms_modems with `args` and the two pseudo-terminals as --port; its time.
  ProcessResult run(std::vector<std::string> args, double& seconds) {
    args.insert(args.begin(), SMS_MODEMS_BINARY);
    for (const PtyPeer* p : {&silent_, &garbage_}) {
      args.push_back("--port");
      args.push_back(p->slave_name());
    }
    auto start = std::chrono::steady_clock::now();
    ProcessResult r = run_process(args, dir_, {"SMS_TEST_PORTS=" + ports_}, 20);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
  }

  const Json* port(const Json& doc, const std::string& device) {
    for (const Json& p : doc["ports"]) {
      if (p["device"] == device) return &p;
    }
    return nullptr;
  }

  std::string dir_;
  std::string ports_;
  SimProcess sim_;
  PtyPeer silent_;
  PtyPeer garbage_;
};

TEST_F(SmsModemsTest, JsonNamesTheModemsAndTheSilentAndGarbagePorts) {
  double seconds = 0;
  ProcessResult r = run({"--json"}, seconds);
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_LT(seconds, 3.5);
  Json doc = Json::parse(r.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << r.out;
  const Json* com3 = port(doc, ports_ + "/COM3");
  const Json* com4 = port(doc, ports_ + "/COM4");
  const Json* silent = port(doc, silent_.slave_name());
  const Json* garbage = port(doc, garbage_.slave_name());
  ASSERT_TRUE(com3 && com4 && silent && garbage) << r.out;
  EXPECT_EQ("COM3", (*com3)["port"]);
  EXPECT_EQ(true, (*com3)["answersAt"]);
  EXPECT_EQ("SMS_TEST", (*com3)["manufacturer"]);
  EXPECT_EQ("modem_sim", (*com3)["model"]);
  EXPECT_EQ("READY", (*com3)["sim"]);
  EXPECT_EQ(true, (*com3)["registered"]);
  EXPECT_EQ("GSM", (*com3)["technology"]);
  EXPECT_EQ(-71, (*com3)["rssiDbm"]);
  EXPECT_EQ("5550103", (*com3)["ownNumber"]);
  EXPECT_EQ("001-01", (*com3)["homeNetwork"]);
  EXPECT_EQ(true, (*com3)["commandSets"]["text"]);
  EXPECT_EQ(true, (*com3)["commandSets"]["proprietary"]);
  EXPECT_EQ("text", (*com3)["use"]);
  EXPECT_EQ(2, (*com4)["stat"]);
  EXPECT_EQ(false, (*com4)["registered"]);
  EXPECT_TRUE((*com4)["rsrpDbm"].is_null());
  EXPECT_EQ("262-02", (*com4)["homeNetwork"]);
  EXPECT_EQ(false, (*silent)["answersAt"]);
  EXPECT_EQ(false, (*silent)["garbage"]);
  EXPECT_TRUE((*silent)["use"].is_null());
  EXPECT_EQ(false, (*garbage)["answersAt"]);
  EXPECT_EQ(true, (*garbage)["garbage"]);
  // Only reading commands and test forms: nothing that changes a setting.
  for (const std::string& log :
       {read_file(ports_ + "/COM3.traffic.log"), read_file(ports_ + "/COM4.traffic.log")}) {
    for (const char* changing : {"cmd ATE", "cmd AT&W", "cmd AT+CMGS", "cmd AT+CMGF=1",
                                 "cmd AT+CMGF=0", "cmd AT+CREG=", "cmd AT+COPS=3"}) {
      EXPECT_EQ(std::string::npos, log.find(changing)) << changing << "\n" << log;
    }
  }
}

TEST_F(SmsModemsTest, TableAndLinks) {
  double seconds = 0;
  const std::string links = dir_ + "/links";
  ProcessResult r = run({"--link", links}, seconds);
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_LT(seconds, 3.5);
  EXPECT_EQ(0u, r.out.find("PORT  ")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("no (silent)")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("no (garbage)")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("searching")) << r.out;
  char target[4096] = {0};
  ASSERT_GT(readlink((links + "/COM3").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(ports_ + "/COM3", std::string(target));
  EXPECT_EQ(-1, access((links + "/COM1").c_str(), F_OK));  // the silent port gets none
  // SMS_TEST finds the modem through the links as through the simulator's.
  PtyPeer peer;
  ASSERT_TRUE(peer.open(links + "/COM4"));
  EXPECT_NE(std::string::npos, peer.command("AT").find("OK"));
}

TEST(SmsModemsCli, HelpVersionAndUsageError) {
  ProcessResult help = run_process({SMS_MODEMS_BINARY, "--help"}, ".");
  EXPECT_EQ(0, help.exitCode);
  EXPECT_EQ(0u, help.out.find("Usage: sms_modems")) << help.out;
  ProcessResult version = run_process({SMS_MODEMS_BINARY, "--version"}, ".");
  EXPECT_EQ(0, version.exitCode);
  EXPECT_EQ(0u, version.out.find("sms_modems ")) << version.out;
  ProcessResult bad = run_process({SMS_MODEMS_BINARY, "--bogus"}, ".");
  EXPECT_EQ(2, bad.exitCode);
  std::string manual = read_file(SMS_MODEMS_MAN_PAGE);
  for (const char* option : {"\\-\\-json", "\\-\\-link", "\\-\\-port", "\\-\\-version"}) {
    EXPECT_NE(std::string::npos, manual.find(option)) << option;
  }
}

}  // namespace
}  // namespace smstest
