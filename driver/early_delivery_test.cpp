// A round trip on one modem whose new-message announcement comes before
// the send's confirmation: the delivery time is 0 and the record says the
// message came early, never the interval's absolute value.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/files.h"
#include "common/result_line.h"
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

TEST(EarlyDelivery, AMessageFoundBeforeTheConfirmationHasDeliveryTimeZero) {
  for (int confirmationMs : {0, 800}) {
    SCOPED_TRACE(confirmationMs);
    FakeClock clock;
    clock.set_counter_frequency(1000000);
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice& device = *owned;
    device.answer_handshake()
        .on_write("tImE1Thello\x1A", {"\r\n+CMTI: \"SM\",4\r\n", "\r\n+CMGS: 7\r\n\r\nOK\r\n"}, 0,
                  1, confirmationMs)
        .set_responder(modem_like({{"AT+CMGS=", "\r\n> "}, {"AT+CMGR=4", kRead}}));
    std::unique_ptr<SmsSession> session =
        make_sms_session(CommandSet::kText, std::move(owned), clock);
    ASSERT_TRUE(session->open(3, 115200, 60, clock.calendar_seconds())) << session->last_error();

    const std::string status = ::testing::TempDir() + "early_status.txt";
    const std::string results = ::testing::TempDir() + "early_results.csv";
    std::remove(results.c_str());
    SmsTestParams params;
    params.testTimeout = 60;
    params.toNumber = "5550100";
    params.messageText = "tImE1Thello";
    SmsTestResult result(status, clock);
    result.resultPath = results;
    TestRun run{params, result, status, "tImE1T", 0, clock};
    ::testing::internal::CaptureStderr();
    const int code = run_round_trip(run, *session, *session);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0) << err;
    const bool early = confirmationMs > 0;
    EXPECT_EQ(result.deliveredBeforeConfirmation, early);
    // Announced with the first chunk: 0.8 s before the confirmation, which is
    // not a delivery time of +0.8 s.
    EXPECT_EQ(result.deliveryTime, "0.000000") << err;
    EXPECT_EQ(result.sendTime, early ? "0.800000" : "0.000000");
    EXPECT_EQ(err.find("before its send was confirmed") != std::string::npos, early) << err;
    EXPECT_NE(read_file(results).find(",0.000000,-Infinity,"), std::string::npos)
        << read_file(results);
    std::remove(status.c_str());
    std::remove(results.c_str());
  }
}

}  // namespace

}  // namespace smstest
