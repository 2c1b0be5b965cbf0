// ComPort's own logic on the scripted fake device and the fake clock: the
// read loop, its terminators and time-outs, device failures and the write
// record, each in microseconds of real time.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial/serial_device.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const char kCommand[] = "AT+X\r";
const std::string kOk = "\r\nOK\r\n";
constexpr int kIoCode = 5;

// "<context>, error code: <code>: <system text>\n", the way the port words a
// device failure on this platform.
std::string device_error(const std::string& context, int code) {
  std::string text;
  if (!system_error_message(code, text)) text = "Unkown System Error";
  return context + ", error code: " + std::to_string(code) + ": " + text + "\n";
}

class FakePortTest : public ::testing::Test {
 protected:
  FakePortTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    port_.reset(new ComPort(std::move(owned), clock_));
  }

  // Opens COM3 with a 600 s test time.
  void open() {
    ASSERT_TRUE(port_->open_line(3, 115200, 600, clock_.calendar_seconds())) << port_->lastError;
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the port
  std::unique_ptr<ComPort> port_;
  char buffer_[256];
};

TEST_F(FakePortTest, OpenConfiguresTheDeviceAndWritesNothing) {
  open();
  EXPECT_EQ(device_->opened_name(), com_device_name(3));
  EXPECT_EQ(device_->baud_rate(), 115200);
  const SerialTimeouts& t = device_->timeouts();
  EXPECT_EQ(t.readInterval, 100);
  EXPECT_EQ(t.readTotalMultiplier, 0);
  EXPECT_EQ(t.readTotalConstant, 100);
  EXPECT_EQ(t.writeTotalMultiplier, 50);
  EXPECT_EQ(t.writeTotalConstant, 100);
  EXPECT_EQ(device_->purges(), 1);

  ASSERT_TRUE(port_->write_com(kCommand, 5));
  // The handshake is the session's (modem/handshake.h): the line's open
  // writes nothing.
  const std::vector<std::string> writes = {kCommand};
  EXPECT_EQ(device_->writes(), writes);
  EXPECT_EQ(device_->written(), "AT+X\r");
  // Nothing read: no time passed.
  EXPECT_EQ(clock_.now_microseconds(), 0);
}

TEST_F(FakePortTest, ReadTimesOutOnTheFakeClock) {
  struct Row {
    int timeout;          // read_com's argument
    int testTimeout;      // of open_com
    int64_t startOffset;  // testStart relative to now
    const char* message;
    int64_t waitedMs;  // fake time the read took
  };
  const Row rows[] = {
      {2, 600, 0, "Read timedout, timeout=2, elapsed=2", 2000},
      {1, 600, 0, "Read timedout, timeout=1, elapsed=1", 1000},
      // The test deadline: 3 s from a start 1 s ago leaves 2 s.
      {-1, 3, -1, "Read timedout, test timeout=3, elapsed=3", 2000},
      // A deadline already past still gives one request its chance: the one
      // that brings the partial answer.
      {-1, 1, -5, "Read timedout, test timeout=1, elapsed=5", 0},
      {0, 600, 0, "Read timedout, timeout=0, elapsed=0", 0},
  };
  for (const Row& row : rows) {
    FakeClock clock;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice& device = *owned;
    ComPort port(std::move(owned), clock);
    ASSERT_TRUE(
        port.open_line(3, 115200, row.testTimeout, clock.calendar_seconds() + row.startOffset))
        << row.message;
    // Some bytes without a terminator, then silence.
    device.on_write(kCommand, {"partial"});
    ASSERT_TRUE(port.write_com(kCommand, 5));
    const int64_t before = clock.now_microseconds();
    EXPECT_FALSE(port.read_com(buffer_, sizeof buffer_, row.timeout)) << row.message;
    EXPECT_EQ(port.lastError, row.message);
    EXPECT_EQ(clock.now_microseconds() - before, row.waitedMs * 1000) << row.message;
    EXPECT_STREQ(buffer_, "partial") << row.message;
  }
}

TEST_F(FakePortTest, ChunkedAnswers) {
  struct Row {
    const char* name;
    std::vector<std::string> chunks;  // the answer to the command
    std::vector<std::string> reads;   // what successive read_com calls return
  };
  const Row rows[] = {
      {"whole", {kOk}, {kOk}},
      {"CR and LF split", {"\r\nOK\r", "\n"}, {"\r\nOK\r", "\n"}},
      {"one byte at a time", {"\r", "\n", "O", "K", "\r", "\n"}, {"\r", "\n", "OK\r", "\n"}},
      {"prompt", {"\r\n", "> "}, {"\r\n", "> "}},
      {"prompt without blank", {"abc", ">"}, {"abc>"}},
  };
  for (const Row& row : rows) {
    FakeClock clock;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice& device = *owned;
    ComPort port(std::move(owned), clock);
    device.on_write(kCommand, row.chunks);
    ASSERT_TRUE(port.open_line(3, 115200, 600, clock.calendar_seconds())) << row.name;
    ASSERT_TRUE(port.write_com(kCommand, 5)) << row.name;
    for (const std::string& expected : row.reads) {
      ASSERT_TRUE(port.read_com(buffer_, sizeof buffer_, 5)) << row.name << ": " << port.lastError;
      EXPECT_EQ(std::string(buffer_), expected) << row.name;
    }
    EXPECT_EQ(device.pending_chunks(), 0u) << row.name;
  }
}

TEST_F(FakePortTest, AnswerSplitBetweenCrAndLfIsLoggedAsTwoReads) {
  open();
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  port_->logFile = log;
  port_->logOn = true;
  // The LF comes 300 ms after the CR: three requests later.
  device_->on_write(kCommand, {"\r\nOK\r", "\n"}, 0, 1, 300);
  ASSERT_TRUE(port_->write_com(kCommand, 5));
  ASSERT_TRUE(port_->read_com(buffer_, sizeof buffer_, 5));
  EXPECT_STREQ(buffer_, "\r\nOK\r");
  ASSERT_TRUE(port_->read_com(buffer_, sizeof buffer_, 5));
  EXPECT_STREQ(buffer_, "\n");
  EXPECT_EQ(clock_.now_microseconds(), 300000);

  std::rewind(log);
  std::string logged;
  char chunk[256];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, log)) > 0) logged.append(chunk, n);
  EXPECT_EQ(logged, "\nWrote 5 bytes\nAT+X\r\nRead 5 bytes\n\r\nOK\r\nRead 1 bytes\n\n");
  // The port closes its log; tmpfile() goes with it.
}

TEST_F(FakePortTest, DeviceFailuresLeaveTheSystemText) {
  struct Row {
    FakeFailure failure;
    const char* context;
  };
  const Row rows[] = {
      {FakeFailure::kReadRefused, "read_com: Error reading from the comm port"},
      {FakeFailure::kReadWaitFailed, "read_com: Could not set comm mask"},
  };
  for (const Row& row : rows) {
    FakeClock clock;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice& device = *owned;
    ComPort port(std::move(owned), clock);
    ASSERT_TRUE(port.open_line(3, 115200, 600, clock.calendar_seconds()));
    // What arrived before the failure stays in the buffer.
    device.queue("par").fail_once(row.failure, kIoCode);
    ASSERT_TRUE(port.write_com(kCommand, 5));
    EXPECT_FALSE(port.read_com(buffer_, sizeof buffer_, 5));
    EXPECT_EQ(port.lastError, device_error(row.context, kIoCode));
    EXPECT_STREQ(buffer_, "");
    // Once: the next read gets the bytes.
    device.queue("tial\r\n");
    ASSERT_TRUE(port.read_com(buffer_, sizeof buffer_, 5)) << port.lastError;
    EXPECT_STREQ(buffer_, "partial\r\n");
  }
}

TEST_F(FakePortTest, HangUpFailsTheReadAndTheNextWrite) {
  open();
  device_->on_write(kCommand, {"\r\nO"}).hang_up(kIoCode, 250);
  ASSERT_TRUE(port_->write_com(kCommand, 5));
  EXPECT_FALSE(port_->read_com(buffer_, sizeof buffer_, 5));
  EXPECT_EQ(port_->lastError, device_error("read_com: Could not set comm mask", kIoCode));
  EXPECT_STREQ(buffer_, "\r\nO");
  EXPECT_EQ(clock_.now_microseconds(), 250000);
  EXPECT_FALSE(port_->write_com(kCommand, 5));
  EXPECT_EQ(port_->lastError, device_error("write_com: Could not write to COM3", kIoCode));
}

TEST_F(FakePortTest, RefusedWriteIsReportedOnlyWithACode) {
  open();
  device_->fail_once(FakeFailure::kWriteRefused, kIoCode);
  EXPECT_FALSE(port_->write_com(kCommand, 5));
  EXPECT_EQ(port_->lastError, device_error("write_com: Could not write to COM3", kIoCode));
  // A refusal without a code counts as a started write.
  port_->lastError.clear();
  device_->fail_once(FakeFailure::kWriteRefused, 0);
  EXPECT_TRUE(port_->write_com(kCommand, 5));
  EXPECT_EQ(port_->lastError, "");
  EXPECT_TRUE(device_->writes().empty()) << "refused writes leave no bytes";
}

TEST_F(FakePortTest, OpenFailures) {
  device_->fail_once(FakeFailure::kOpen, kIoCode);
  EXPECT_FALSE(port_->open_line(3, 115200, 600, clock_.calendar_seconds()));
  EXPECT_EQ(port_->lastError, "Failed to open " + com_device_name(3) +
                                  ". Please make sure that this device is not in use. "
                                  "(Input/output error)");

  device_->fail_once(FakeFailure::kConfigure, kIoCode);
  EXPECT_FALSE(port_->open_line(3, 12345, 600, clock_.calendar_seconds()));
  EXPECT_EQ(port_->lastError,
            device_error("open_com: Could not configure " + com_device_name(3) + " at 12345 baud",
                         kIoCode));
  EXPECT_FALSE(port_->is_open());
}

}  // namespace

}  // namespace smstest
