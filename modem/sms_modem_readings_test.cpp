// The session's logic on the scripted fake device and the fake clock: the
// counter readings of send and receive (and their failures), the probe's
// result codes and the receive time-out, without sleeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "modem/sms_modem.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const std::string kOk = "\r\nOK\r\n";
const char kCounterFailed[] = "Call to QueryPerformanceCounter failed\n";
const std::string kMessage = "\r\nAddress: 5550100\rMsg Body: hello\r\nOK\r\n";

class FakeModemTest : public ::testing::Test {
 protected:
  FakeModemTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    modem_.reset(new SmsModem(std::move(owned), clock_));
  }

  // Opens COM7 with the handshake answered and the probe answered `probe`.
  bool open(const std::string& probe = kOk, int testTimeout = 60) {
    device_->answer_handshake().on_write("AT!DASMS\r", {probe});
    return modem_->open(7, 115200, testTimeout, clock_.calendar_seconds());
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the session's port
  std::unique_ptr<SmsModem> modem_;
  int64_t start_ = -1;
  int64_t end_ = -1;
};

TEST_F(FakeModemTest, OpenWritesTheHandshakeAndTheProbe) {
  ASSERT_TRUE(open()) << modem_->lastError;
  const std::vector<std::string> writes = {"AT\r", "AT\r", "ATE0\r", "AT!DASMS\r"};
  EXPECT_EQ(device_->writes(), writes);
}

TEST_F(FakeModemTest, ProbeResultCodes) {
  ASSERT_TRUE(open());
  device_->on_write("AT!DASMS\r", {kOk});
  EXPECT_EQ(modem_->probe_dasms(), kProbeAccepted);

  device_->on_write("AT!DASMS\r", {"\r\nERROR\r\n"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(modem_->probe_dasms(), kProbeRejected);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "AT!DASMS is not supported for COM7\n");

  device_->fail_once(FakeFailure::kWriteRefused, 5);
  EXPECT_EQ(modem_->probe_dasms(), kProbeNotWritten);

  device_->fail_once(FakeFailure::kReadWaitFailed, 5);
  EXPECT_EQ(modem_->probe_dasms(), kProbeNoResponse);
}

TEST_F(FakeModemTest, SendReadsTheCounterAfterThePauseAndAtTheConfirmation) {
  ASSERT_TRUE(open());
  // Confirmed 300 ms after the command.
  device_->on_write("AT!SSMS=0,5550100,5550100,\"hi\"\r", {kOk}, 300);
  const int64_t before = clock_.now_microseconds();
  ASSERT_TRUE(modem_->send_sms("5550100", "hi", start_, end_, 10)) << modem_->lastError;
  // One tick per microsecond: the start after the 100 ms pause, the end
  // when the confirmation arrived.
  EXPECT_EQ(start_ - before, 100000);
  EXPECT_EQ(end_ - before, 300000);
}

TEST_F(FakeModemTest, CounterFailuresOfSendAndReceive) {
  struct Row {
    const char* name;
    int failingRead;  // counter reads from the start of the operation
    bool receive;
  };
  const Row rows[] = {
      {"send start", 0, false},
      {"send end", 1, false},
      {"message found", 0, true},
  };
  for (const Row& row : rows) {
    FakeClock clock;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice& device = *owned;
    SmsModem modem(std::move(owned), clock);
    device.answer_handshake()
        .on_write("AT!DASMS\r", {kOk})
        .on_write("AT!SSMS", {kOk})
        .on_write("AT!GSMS?2,0\r", {kMessage});
    ASSERT_TRUE(modem.open(7, 115200, 60, clock.calendar_seconds())) << row.name;
    clock.fail_counter_read(row.failingRead);
    const int readsBefore = clock.counter_reads();
    if (row.receive) {
      std::string sender, body;
      int64_t foundAt = -1;
      EXPECT_FALSE(modem.receive_sms(sender, body, foundAt, 10)) << row.name;
      EXPECT_EQ(foundAt, -1) << row.name;
    } else {
      int64_t start = -1, end = -1;
      EXPECT_FALSE(modem.send_sms("5550100", "hi", start, end, 10)) << row.name;
    }
    EXPECT_EQ(modem.lastError, kCounterFailed) << row.name;
    EXPECT_EQ(clock.counter_reads() - readsBefore, row.failingRead + 1) << row.name;
  }
}

TEST_F(FakeModemTest, ReceiveTimesOutOnTheFakeClock) {
  ASSERT_TRUE(open());
  // Every poll answered "OK" without a message.
  device_->on_write("AT!GSMS?2,0\r", {kOk}, 0, -1);
  std::string sender, body;
  int64_t foundAt = 0;
  const int64_t before = clock_.calendar_seconds();
  EXPECT_FALSE(modem_->receive_sms(sender, body, foundAt, 3));
  EXPECT_EQ(modem_->lastError, "Operation Timed out during SMS Receive.");
  // Past the deadline: more than 3 whole seconds later, by the 100 ms
  // pauses between the polls.
  EXPECT_EQ(clock_.calendar_seconds() - before, 4);
  EXPECT_GT(clock_.sleeps(), 30);
}

TEST_F(FakeModemTest, ReceiveTakesTheMessageApart) {
  ASSERT_TRUE(open());
  // Two empty polls, then the message.
  device_->on_write("AT!GSMS?2,0\r", {kOk}, 0, 2).on_write("AT!GSMS?2,0\r", {kMessage});
  std::string sender, body;
  int64_t foundAt = -1;
  ASSERT_TRUE(modem_->receive_sms(sender, body, foundAt, 10)) << modem_->lastError;
  EXPECT_EQ(sender, "5550100");
  EXPECT_EQ(body, "hello");
  EXPECT_EQ(foundAt, clock_.now_microseconds());
  EXPECT_EQ(std::count(device_->writes().begin(), device_->writes().end(), "AT!GSMS?2,0\r"), 3);
}

}  // namespace

}  // namespace smstest
