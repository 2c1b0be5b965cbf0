#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/text.h"
#include "driver/test_sequences.h"
#include "modem/pdu_format.h"
#include "modem/standard_session.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";

// A session in PDU mode gets its message as a hex PDU, which it decodes
// after the pickup's delete; the pickup reports.
class PduPickupTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("pickup"); }

  // Runs the pickup against a modem that holds `pdu` at index 1 once the
  // session has opened.
  bool pick_up(const std::string& pdu) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    owned->set_responder([this, pdu](const std::string& written) -> std::vector<std::string> {
      if (written == "AT+CMGL=4\r") {
        if (!held_) return {kOk};
        return {format("\r\n+CMGL: 1,0,,%d\r\n%s\r\n%s", static_cast<int>(pdu.size() / 2 - 1),
                       pdu.c_str(), kOk)};
      }
      if (written == "AT+CMGR=1\r") {
        return {format("\r\n+CMGR: 0,,%d\r\n%s\r\n%s", static_cast<int>(pdu.size() / 2 - 1),
                       pdu.c_str(), kOk)};
      }
      return {kOk};
    });
    session_.reset(new StandardSession(std::unique_ptr<MessageFormat>(new PduFormat),
                                       std::move(owned), clock_));
    session_->open_log((dir_ + "/pickup.log").c_str());
    held_ = false;
    EXPECT_TRUE(session_->open(3, 115200, 10, clock_.steady_seconds())) << session_->last_error();
    held_ = true;
    TestRun run{params_, result_, dir_ + "/status.txt", "tImE1T", 0, clock_};
    result_.resultPath = dir_ + "/results.csv";
    return pick_up_message(run, *session_, 5, message_);
  }

  std::string dir_;
  FakeClock clock_;
  bool held_ = false;
  std::unique_ptr<StandardSession> session_;
  SmsTestParams params_;
  SmsTestResult result_{"/nonexistent/status"};
  ReceivedMessage message_;
};

TEST_F(PduPickupTest, DecodesSenderAndText) {
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(pick_up("00040B912143658709F100006050403020100005E8329BFD06"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "New Message Found.\nDeleting Message: ");
  EXPECT_EQ(message_.sender, "+12345678901");
  EXPECT_EQ(message_.text, "hello");
}

TEST_F(PduPickupTest, UndecodableBodyFailsTheRun) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(pick_up("00"));
  std::string err = ::testing::internal::GetCapturedStderr();
  const char kTrace[] = "decoder error, address exceeds data boundary, PDU too short\n";
  EXPECT_EQ(
      err, std::string("New Message Found.\nDeleting Message: ") + kTrace + "Cannot decode 00\n\n");
  EXPECT_EQ(read_file(dir_ + "/status.txt"), "2 Cannot decode 00\n\n");
  EXPECT_EQ(read_file(dir_ + "/results.csv"),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
  // The decoder's trace lands in the receiving modem's debug log as well,
  // after the delete.
  const std::string log = read_file(dir_ + "/pickup.log");
  const size_t trace = log.find(kTrace);
  ASSERT_NE(trace, std::string::npos) << log;
  EXPECT_LT(log.find("AT+CMGD=1\r"), trace) << log;
}

}  // namespace

}  // namespace smstest
