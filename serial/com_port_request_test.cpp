// ComPort's request-by-request reading on the scripted fake device: one
// request at a time, nothing logged, the device's timing set on request.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "serial/com_port.h"
#include "serial/serial_device.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

class RequestReadTest : public ::testing::Test {
 protected:
  RequestReadTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    port_.reset(new ComPort(std::move(owned), clock_));
    EXPECT_TRUE(port_->open_line(3, 115200, 600, clock_.calendar_seconds())) << port_->lastError;
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the port
  std::unique_ptr<ComPort> port_;
  char buffer_[64];
};

TEST_F(RequestReadTest, TimingGoesToTheDeviceWritesKeepTheirs) {
  port_->set_request_timing(1, 100);
  const SerialTimeouts& t = device_->timeouts();
  EXPECT_EQ(t.readInterval, 1);
  EXPECT_EQ(t.readTotalMultiplier, 0);
  EXPECT_EQ(t.readTotalConstant, 100);
  EXPECT_EQ(t.writeTotalMultiplier, 50);
  EXPECT_EQ(t.writeTotalConstant, 100);
}

TEST_F(RequestReadTest, EachRequestReturnsWhatCameWithoutLookingForAnEnd) {
  device_->queue_chunks({"\r\n+CMGS", ": 1\r\n\r\nOK\r\n"}, 5, 20);
  int got = -1;
  ASSERT_TRUE(port_->read_request(buffer_, sizeof buffer_, got));
  EXPECT_EQ(std::string(buffer_, got), "\r\n+CMGS");  // no terminator needed
  EXPECT_EQ(clock_.now_microseconds(), 5000);
  ASSERT_TRUE(port_->read_request(buffer_, sizeof buffer_, got));
  EXPECT_EQ(std::string(buffer_, got), ": 1\r\n\r\nOK\r\n");
  EXPECT_EQ(clock_.now_microseconds(), 25000);
  // Nothing more: the request runs its 100 ms and brings nothing.
  ASSERT_TRUE(port_->read_request(buffer_, sizeof buffer_, got));
  EXPECT_EQ(got, 0);
  EXPECT_EQ(clock_.now_microseconds(), 125000);
  // A request never takes more than it is given room for.
  device_->queue("0123456789");
  ASSERT_TRUE(port_->read_request(buffer_, 4, got));
  EXPECT_EQ(std::string(buffer_, got), "0123");
}

TEST_F(RequestReadTest, DeviceFailuresGiveReadComsTexts) {
  struct Row {
    FakeFailure failure;
    const char* context;
  } rows[] = {
      {FakeFailure::kReadRefused, "read_com: Error reading from the comm port"},
      {FakeFailure::kReadWaitFailed, "read_com: Could not set comm mask"},
  };
  for (const Row& row : rows) {
    device_->fail_once(row.failure, 5);
    int got = -1;
    EXPECT_FALSE(port_->read_request(buffer_, sizeof buffer_, got)) << row.context;
    EXPECT_EQ(got, 0);
    std::string text;
    if (!system_error_message(5, text)) text = "Unkown System Error";
    EXPECT_EQ(port_->lastError, std::string(row.context) + ", error code: 5: " + text + "\n");
  }
}

}  // namespace

}  // namespace smstest
