#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/test_sequences.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

// A session outside text mode gets its message as a hex PDU, which the
// pickup decodes into sender and text.  On the fake device and the fake
// clock.
class PduPickupTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("pickup"); }

  // Runs the pickup against a modem whose report carries `body`.
  bool pick_up(const std::string& body) {
    std::unique_ptr<FakeSerialDevice> device(new FakeSerialDevice(clock_));
    device->set_responder(
        modem_like({{"AT!GSMS?2,0", "\r\nAddress: 5550100\rMsg Body: " + body + "\r\nOK\r\n"}}));
    session_.reset(new SmsModem(std::move(device), clock_));
    session_->textMode = 0;
    session_->open_log((dir_ + "/pickup.log").c_str());
    EXPECT_TRUE(session_->open(3, 115200, 10, clock_.steady_seconds()));
    TestRun run{params_, result_, dir_ + "/status.txt", "tImE1T", 0, clock_};
    result_.resultPath = dir_ + "/results.csv";
    return pick_up_message(run, *session_, 5, sender_, body_, foundAt_);
  }

  std::string dir_;
  FakeClock clock_;
  std::unique_ptr<SmsModem> session_;
  SmsTestParams params_;
  SmsTestResult result_{"/nonexistent/status"};
  std::string sender_, body_;
  int64_t foundAt_ = 0;
};

TEST_F(PduPickupTest, DecodesSenderAndText) {
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(pick_up("00040B912143658709F100006050403020100005E8329BFD06"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "New Message Found.\nDeleting Message: ");
  EXPECT_EQ(sender_, "+12345678901");
  EXPECT_EQ(body_, "hello");
}

// The sender keeps its type of address, so that a reply reaches it.
TEST_F(PduPickupTest, SenderKeepsItsTypeOfAddress) {
  struct Row {
    const char* pdu;
    const char* sender;
  } rows[] = {
      {"00040B812143658709F100006050403020100005E8329BFD06", "12345678901"},  // unknown
      {"00040BA12143658709F100006050403020100005E8329BFD06", "12345678901"},  // national
      {"00040791550501F300006050403020100005E8329BFD06", "+5550103"},         // international
      {"000408D0D4F29C0E00006050403020100005E8329BFD06", "Test"},             // a name
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pdu);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(pick_up(row.pdu));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(sender_, row.sender);
    EXPECT_EQ(body_, "hello");
  }
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
  // The decoder's trace lands in the receiving modem's debug log as well.
  EXPECT_NE(read_file(dir_ + "/pickup.log").find(kTrace), std::string::npos);
}

}  // namespace

}  // namespace smstest
