// Whole runs with status reports (report=1, wait=report) against modem_sim,
// in text and PDU mode: every way the simulated modems hand a report over
// (+CDS with and without the service-centre part, +CDSI, a storage that is
// only listed, one that cannot be read back, a <ds> offered and refused,
// message service 1 with its acknowledgements), the statuses the service
// centre gives, and runs that end on the report of a message to an outside
// number.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/whole_run.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

// The last run record in `path`.
Json last_record(const std::string& path) {
  const std::string text = read_file(path);
  const std::vector<std::string> lines = split(text, '\n');
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (!it->empty()) return Json::parse(*it, nullptr, false);
  }
  return Json();
}

// The radio snapshots of the sending modem in record `r` tagged `at`.
std::vector<Json> sender_snapshots(const Json& r, const std::string& at) {
  std::vector<Json> out;
  if (!r.contains("modems") || !r["modems"].is_array()) return out;
  for (const Json& modem : r["modems"]) {
    const Json& roles = modem["roles"];
    if (std::find(roles.begin(), roles.end(), "from") == roles.end()) continue;
    for (const Json& snapshot : modem["radio"]) {
      if (snapshot["at"] == at) out.push_back(snapshot);
    }
  }
  return out;
}

struct ReportRow {
  const char* name;
  const char* fromOptions;  // the sending modem's options, after its number
  const char* toOptions;    // the receiving modem's
  const char* reportClass;
  int status;  // -1: none
  const char* via;
  std::vector<int> temporary;
  const char* fromLog;  // a text the sending modem's debug log holds ("": none)
};

const ReportRow kRows[] = {
    {"cds", "", "", "delivered", 0, "+CDS", {}, "Status reports come as +CDS\n"},
    {"cds_sca", ",cds-sca", "", "delivered", 0, "+CDS", {}, ""},
    {"cdsi", ",no-cds", "", "delivered", 0, "+CDSI", {}, "Status reports come as +CDSI\n"},
    {"ds_refused",
     ",ds-refused",
     "",
     "delivered",
     0,
     "+CDSI",
     {},
     "AT+CNMI=2,1,0,1,0 answered +CMS ERROR: 303 (operation not supported): trying "
     "AT+CNMI=2,1,0,2,0\n"},
    {"listing",
     ",no-ds",
     "",
     "delivered",
     0,
     "listing",
     {},
     "Status reports are not announced: the status-report storage is listed every 5 s\n"},
    {"unreadable",
     ",no-cds,sr-unreadable",
     "",
     "missing",
     -1,
     nullptr,
     {},
     "the status report cannot be read back"},
    {"service_1",
     ",csms1",
     ",report-temporary=32/33",
     "delivered",
     0,
     "+CDS",
     {32, 33},
     "Message service 1: each +CDS is acknowledged with AT+CNMA\n"},
    {"expired",
     "",
     ",report-temporary=48,report-status=70",
     "failed-permanent",
     70,
     "+CDS",
     {48},
     ""},
    {"given_up", ",no-cds", ",report-status=100", "failed-temporary", 100, "+CDSI", {}, ""},
};

class DeliveryReportTest : public WholeRunFixture,
                           public ::testing::WithParamInterface<const char*> {};

// Every row in the parameter's mode, one pair of modems each, one after
// the other on one simulator.
TEST_P(DeliveryReportTest, RoundTripsWithReports) {
  const std::string mode = GetParam();
  std::vector<std::string> args = {"--delay", "0.3"};
  const int rows = static_cast<int>(sizeof kRows / sizeof kRows[0]);
  for (int i = 0; i < rows; ++i) {
    args.push_back("--modem");
    args.push_back(format("COM%d=55510%d%s", 10 + 2 * i, 10 + 2 * i, kRows[i].fromOptions));
    args.push_back("--modem");
    args.push_back(format("COM%d=55510%d%s", 11 + 2 * i, 11 + 2 * i, kRows[i].toOptions));
  }
  start_sim(args);
  for (int i = 0; i < rows; ++i) {
    const ReportRow& row = kRows[i];
    SCOPED_TRACE(row.name);
    const int from = 10 + 2 * i;
    const int to = from + 1;
    const std::string record = format(
        "R%d|15|%d|55510%d|hello|0|0|115200|%d|115200|0|%s\n"
        "report=1\nrecord=runs.jsonl",
        i, from, to, to, mode.c_str());
    ToolRun run = run_sms_test(record);
    // A missing report fails nothing.
    EXPECT_EQ(run.status, "0 SUCCESS\n") << run.process.err;
    EXPECT_EQ(run.process.exitCode, 0);
    const Json r = last_record(run.dir + "/runs.jsonl");
    ASSERT_TRUE(r.is_object()) << read_file(run.dir + "/runs.jsonl");
    EXPECT_EQ(r["reportRequested"], true);
    EXPECT_EQ(r["reportClass"], row.reportClass);
    EXPECT_EQ(r["reportTemporary"], Json(row.temporary));
    if (row.status < 0) {
      EXPECT_TRUE(r["reportStatus"].is_null());
      EXPECT_TRUE(r["confirmTime"].is_null());
      EXPECT_TRUE(r["reportVia"].is_null());
    } else {
      EXPECT_EQ(r["reportStatus"], row.status);
      EXPECT_EQ(r["reportVia"], row.via);
      // The report comes after the message, within the test time.
      ASSERT_TRUE(r["confirmTime"].is_number()) << r.dump();
      EXPECT_GT(r["confirmTime"].get<double>(), r["deliveryTime"].get<double>());
      EXPECT_LT(r["confirmTime"].get<double>(), 15.0);
      ASSERT_TRUE(r["centreDelivery"].is_number());
      EXPECT_GE(r["centreDelivery"].get<double>(), 0.0);
      EXPECT_LE(r["centreDelivery"].get<double>(), 2.0);
    }
    // The sending modem's radio is taken when the final report came, after
    // the one before the send; not without a final report.
    const std::vector<Json> atReport = sender_snapshots(r, "report");
    ASSERT_EQ(atReport.size(), row.status < 0 ? 0u : 1u) << r["modems"].dump();
    const std::vector<Json> atSend = sender_snapshots(r, "send");
    ASSERT_EQ(atSend.size(), 1u) << r["modems"].dump();
    if (row.status >= 0) {
      EXPECT_EQ(atReport[0]["registered"], true);
      EXPECT_GE(atReport[0]["time"].get<std::string>(), atSend[0]["time"].get<std::string>());
    }
    const std::string fromLog = read_file(format("%s/R%d.%d.debug.log", run.dir.c_str(), i, from));
    EXPECT_TRUE(contains(fromLog, row.fromLog)) << fromLog;
    if (mode == "text") {
      // The modem's send parameters with TP-SRR, and back as they were.
      EXPECT_TRUE(contains(fromLog, "AT+CSMP=49,167,0,0\r")) << fromLog;
      EXPECT_TRUE(contains(fromLog, "AT+CSMP=17,167,0,0\r")) << fromLog;
    }
  }
  // Service 1: every +CDS was acknowledged, so routing stayed on.
  EXPECT_FALSE(contains(traffic(22), "routing-off"));
}

INSTANTIATE_TEST_SUITE_P(Modes, DeliveryReportTest, ::testing::Values("text", "pdu"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// wait=report to an outside number: the run ends on the final report, and
// fails with its class and status, or for want of one.
TEST_F(WholeRunFixture, WaitForTheReportOfAnOutsideNumber) {
  start_sim({"--modem", "COM3=5550103,outside-report=0@0.5", "--modem",
             "COM4=5550104,outside-report=70@0.5", "--modem", "COM5=5550105"});
  struct Case {
    int port;
    int timeout;
    const char* commandSet;
    const char* status;
  } cases[] = {
      {3, 10, "pdu", "0 SUCCESS\n"},
      {3, 10, "text", "0 SUCCESS\n"},
      {4, 10, "pdu", "2 Delivery report: failed-permanent (status 70)\n"},
      {5, 3, "text", "2 No delivery report\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    ToolRun run =
        run_sms_test(format("W|%d|%d|5559999|hello|0|0|115200|0|115200|0|%s\n"
                            "wait=report\nrecord=runs.jsonl",
                            c.timeout, c.port, c.commandSet));
    EXPECT_EQ(run.status, c.status) << run.process.err;
    const Json r = last_record(run.dir + "/runs.jsonl");
    ASSERT_TRUE(r.is_object());
    const bool success = std::string(c.status) == "0 SUCCESS\n";
    EXPECT_EQ(run.process.exitCode, success ? 0 : 2);
    EXPECT_EQ(r["reportClass"], c.port == 3   ? "delivered"
                                : c.port == 4 ? "failed-permanent"
                                              : "missing");
    // A final report, delivered or not, comes with the sender's radio.
    EXPECT_EQ(sender_snapshots(r, "report").size(), c.port == 5 ? 0u : 1u);
    if (success) {
      // The delivery time is the report's, 0.5 s after the send.
      EXPECT_NEAR(r["deliveryTime"].get<double>(), 0.5, 0.3);
      EXPECT_NEAR(r["confirmTime"].get<double>(), 0.5, 0.35);
    }
  }
  EXPECT_TRUE(contains(network_log(), " report COM3 - 5559999 1 - status=0\n")) << network_log();
}

// A reflector's reply with report=1: the run succeeds as before, and its
// record holds the report on the reply.
TEST_F(WholeRunFixture, ReflectorReplyWithReport) {
  start_sim({"--modem", "COM5=5550105,outside-report=0@0.4", "--inject", "COM5@1:5551234:ping"});
  ToolRun run = run_sms_test("R|15|5|0|x|0|0|115200|0|115200|1|pdu\nreport=1\nrecord=runs.jsonl");
  EXPECT_EQ(run.status, "0 SUCCESS\n") << run.process.err;
  const Json r = last_record(run.dir + "/runs.jsonl");
  ASSERT_TRUE(r.is_object());
  EXPECT_EQ(r["mode"], "reflector");
  EXPECT_EQ(r["reportClass"], "delivered");
  EXPECT_NEAR(r["confirmTime"].get<double>(), 0.4, 0.3);
  EXPECT_TRUE(contains(network_log(), " report COM5 - 5551234 1 - status=0\n")) << network_log();
}

}  // namespace

}  // namespace smstest
