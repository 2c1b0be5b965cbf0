// Round trips with report=1 and wait=report on one text-mode modem, on the
// scripted fake device and the fake clock: which report is the run's (its
// reference and recipient), the temporary statuses before the final one,
// the classes, a missing report, and the record's fields and failure texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/command_set.h"
#include "common/text.h"
#include "driver/run_record.h"
#include "driver/test_result.h"
#include "driver/test_sequences.h"
#include "modem/sms_session.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/modem_answers.h"

namespace smstest {

namespace {

const char kRead[] =
    "\r\n+CMGR: \"REC "
    "UNREAD\",\"+15551234\",,\"24/01/01,12:00:00+00\"\r\ntImE1Thello\r\n\r\nOK\r\n";

// "+CDS:" in text mode on reference `mr` to `to`, delivered `seconds` after
// the centre took the message.
std::string cds(int mr, const char* to, int status, int seconds = 3) {
  char line[160];
  std::snprintf(
      line, sizeof line,
      "\r\n+CDS: 6,%d,\"%s\",129,\"26/12/09,12:00:00+00\",\"26/12/09,12:00:%02d+00\",%d\r\n", mr,
      to, seconds, status);
  return line;
}

TEST(DeliveryReport, FinalClasses) {
  const struct {
    int status;
    const char* expected;
  } cases[] = {{0, "delivered"},
               {31, "delivered"},
               {32, ""},
               {63, ""},
               {64, "failed-permanent"},
               {70, "failed-permanent"},
               {95, "failed-permanent"},
               {96, "failed-temporary"},
               {127, "failed-temporary"},
               {128, "failed-permanent"},
               {255, "failed-permanent"}};
  for (const auto& c : cases) EXPECT_STREQ(final_report_class(c.status), c.expected) << c.status;
}

// A message in parts is delivered when its last part is, and fails with
// its first failed part; reports on other references are not its own.
TEST(DeliveryReport, PartsOfOneMessage) {
  SendReceipt receipt;
  for (int reference : {7, 8, 9}) receipt.parts.push_back({reference, 0, 0});
  const struct {
    const char* name;
    std::vector<std::pair<int, std::string>> reports;  // in order of arrival
    int decidedAt;                                     // index of the deciding report, -1: none
  } cases[] = {
      {"all delivered, in order", {{7, "delivered"}, {8, "delivered"}, {9, "delivered"}}, 2},
      {"all delivered, last first", {{9, "delivered"}, {7, "delivered"}, {8, "delivered"}}, 2},
      {"a part failed", {{7, "delivered"}, {8, "failed-permanent"}}, 1},
      {"one part's report missing", {{7, "delivered"}, {9, "delivered"}}, -1},
      {"another message's and a repeat",
       {{5, "delivered"}, {7, "delivered"}, {7, "delivered"}},
       -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PartReports parts(receipt);
    int decided = -1;
    for (size_t i = 0; i < c.reports.size() && decided < 0; ++i) {
      if (parts.take_final(c.reports[i].first, c.reports[i].second)) decided = static_cast<int>(i);
    }
    EXPECT_EQ(decided, c.decidedAt);
  }
  // One part without a reference (a modem that gave none) waits for nothing.
  SendReceipt single;
  single.parts.push_back({4, 0, 0});
  single.parts.push_back({-1, 0, 0});
  PartReports one(single);
  EXPECT_EQ(one.waiting(), 1u);
  EXPECT_FALSE(one.waits_for(-1));
  EXPECT_TRUE(one.take_final(4, "delivered"));
}

struct Outcome {
  int code = 0;
  std::string status;
  nlohmann::json record;
};

// One run on one modem that confirms with "+CMGS: 7" and announces the
// message at index 4; `reports` come 500 ms apart once the read is answered.
Outcome run_with_reports(const std::vector<std::string>& reports, bool waitReport,
                         int testTimeout = 60) {
  FakeClock clock;
  clock.set_counter_frequency(1000000);
  std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
  FakeSerialDevice& device = *owned;
  std::vector<std::string> confirmation = {"\r\n+CMGS: 7\r\n\r\nOK\r\n"};
  if (waitReport) {
    // Nothing is written while the run waits: the reports come on their own.
    device.queue_chunks(reports, 2000, 500);
  } else {
    confirmation.insert(confirmation.begin(), "\r\n+CMTI: \"SM\",4\r\n");
    // The delete's OK, then the reports half a second apart.
    std::vector<std::string> answer = {"\r\nOK\r\n"};
    answer.insert(answer.end(), reports.begin(), reports.end());
    device.on_write("AT+CMGD=4", answer, 0, 1, 500);
  }
  device.answer_handshake()
      .on_write("tImE1Thello\x1A", confirmation)
      .set_responder(
          modem_like({{"AT+CMGS=", "\r\n> "},
                      {"AT+CMGR=4", kRead},
                      {"AT+CNMI=?", "\r\n+CNMI: (0-3),(0,1),(0),(0-2),(0,1)\r\n\r\nOK\r\n"},
                      {"AT+CSMP?", "\r\n+CSMP: 17,167,0,0\r\n\r\nOK\r\n"}}));
  std::unique_ptr<SmsSession> session =
      make_sms_session(CommandSet::kText, std::move(owned), clock);
  session->want_reports();
  EXPECT_TRUE(session->open(3, 115200, testTimeout, clock.steady_seconds()))
      << session->last_error();

  // ctest runs the tests of this file in parallel processes: files of
  // their own.
  const std::string stem = ::testing::TempDir() +
                           format("report_%d_%s_", static_cast<int>(getpid()),
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string status = stem + "status.txt";
  const std::string results = stem + "results.csv";
  SmsTestParams params;
  params.testTimeout = testTimeout;
  params.toNumber = "5550100";
  params.messageText = "tImE1Thello";
  SmsTestResult result(status, clock);
  result.resultPath = results;
  int64_t start = 0;
  clock.read_performance_counter(start);
  TestRun run{params, result, status, "tImE1T", start, clock};
  run.report = !waitReport;
  run.waitReport = waitReport;
  RunRecorder recorder("", params, CommandSet::kText, result, start, 1700000000000000, clock);
  ::testing::internal::CaptureStderr();
  Outcome out;
  out.code = run_round_trip(run, *session, *session);
  ::testing::internal::GetCapturedStderr();
  out.status = read_file(status);
  out.record = nlohmann::json::parse(recorder.record_line(out.code, start));
  std::remove(status.c_str());
  std::remove(results.c_str());
  return out;
}

TEST(DeliveryReport, RoundTripTakesTheRunsReport) {
  const struct {
    const char* name;
    std::vector<std::string> reports;
    const char* reportClass;
    int status;
    std::vector<int> temporary;
    double confirmMs;  // after the send start, from the readings
  } cases[] = {
      // Another message's reference, another recipient, then the run's.
      {"matching",
       {cds(6, "5550100", 0), cds(7, "5550999", 0), cds(7, "5550100", 0, 4)},
       "delivered",
       0,
       {},
       1500},
      {"temporary_first",
       {cds(7, "+5550100", 32), cds(7, "5550100", 48), cds(7, "5550100", 65)},
       "failed-permanent",
       65,
       {32, 48},
       1500},
      {"given_up", {cds(7, "5550100", 100)}, "failed-temporary", 100, {}, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = run_with_reports(c.reports, false);
    // The report's class is no failure of the round trip.
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.status, "0 SUCCESS\n");
    EXPECT_EQ(out.record["reportRequested"], true);
    EXPECT_EQ(out.record["reportClass"], c.reportClass);
    EXPECT_EQ(out.record["reportStatus"], c.status);
    EXPECT_EQ(out.record["reportTemporary"], nlohmann::json(c.temporary));
    EXPECT_EQ(out.record["reportVia"], "+CDS");
    EXPECT_NEAR(out.record["centreDelivery"].get<double>(),
                c.name == std::string("matching") ? 4 : 3, 1e-9);
    // Timed at the line, not when the wait got round to it.
    EXPECT_NEAR(out.record["confirmTime"].get<double>() * 1000, c.confirmMs, 20);
  }
}

TEST(DeliveryReport, MissingReportAndWaitForReport) {
  Outcome out = run_with_reports({cds(8, "5550100", 0)}, false, 4);
  EXPECT_EQ(out.status, "0 SUCCESS\n");
  EXPECT_EQ(out.record["reportClass"], "missing");
  EXPECT_TRUE(out.record["confirmTime"].is_null());
  EXPECT_TRUE(out.record["reportStatus"].is_null());

  out = run_with_reports({cds(7, "5550100", 0)}, true);
  EXPECT_EQ(out.status, "0 SUCCESS\n");
  EXPECT_TRUE(out.record["messageFound"].is_null());
  EXPECT_TRUE(out.record["deliveryTime"].is_number());

  out = run_with_reports({cds(7, "5550100", 40), cds(7, "5550100", 70)}, true);
  EXPECT_EQ(out.code, 2);
  EXPECT_EQ(out.status, "2 Delivery report: failed-permanent (status 70)\n");
  EXPECT_EQ(out.record["reportTemporary"], nlohmann::json({40}));

  out = run_with_reports({}, true, 3);
  EXPECT_EQ(out.status, "2 No delivery report\n");
  EXPECT_EQ(out.record["reportClass"], "missing");
}

}  // namespace

}  // namespace smstest
