// ComPort on the fake device and the fake clock, where earlier versions lost
// data or hung: limits on the steady clock whatever the calendar does, writes
// bounded by the test deadline, stale input drained before a command, and
// waits that end when the run is interrupted.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/interrupt.h"
#include "serial/com_port.h"
#include "serial/serial_device.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const char kCommand[] = "AT+X\r";

// The whole debug log of `port`, which writes it into a temporary file.
class LoggedPort {
 public:
  LoggedPort(FakeClock& clock) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    device = owned.get();
    port.reset(new ComPort(std::move(owned), clock));
  }

  void log_to_memory() {
    port->logFile = std::tmpfile();
    port->logOn = port->logFile != nullptr;
  }

  std::string log() const {
    std::string text;
    if (port->logFile == nullptr) return text;
    std::fflush(port->logFile);
    std::rewind(port->logFile);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, port->logFile)) > 0) text.append(chunk, n);
    return text;
  }

  FakeSerialDevice* device = nullptr;  // owned by the port
  std::unique_ptr<ComPort> port;
};

TEST(ComPortSteadyLimits, ASteppedCalendarNeitherStretchesNorCutsARead) {
  struct Row {
    const char* name;
    int timeout;      // read_com's argument
    int testTimeout;  // of open_com
    int64_t step;     // calendar step, seconds, 1 s into the read
    const char* message;
    int64_t waitedMs;
  };
  const Row rows[] = {
      {"explicit, clock set forward", 3, 600, 3600, "Read timedout, timeout=3, elapsed=3", 3000},
      {"explicit, clock set back", 3, 600, -3600, "Read timedout, timeout=3, elapsed=3", 3000},
      {"test deadline, clock set forward", -1, 4, 86400, "Read timedout, test timeout=4, elapsed=4",
       4000},
      {"test deadline, clock set back", -1, 4, -86400, "Read timedout, test timeout=4, elapsed=4",
       4000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeClock clock;
    clock.step_calendar_at(1000, row.step);
    LoggedPort p(clock);
    ASSERT_TRUE(p.port->open_line(3, 115200, row.testTimeout, clock.steady_seconds()));
    char buffer[64];
    const int64_t before = clock.now_microseconds();
    EXPECT_FALSE(p.port->read_com(buffer, sizeof buffer, row.timeout));
    EXPECT_EQ(p.port->lastError, row.message);
    EXPECT_EQ(clock.now_microseconds() - before, row.waitedMs * 1000);
    EXPECT_NE(clock.calendar_seconds(), clock.steady_seconds()) << "the calendar was stepped";
  }
}

TEST(ComPortWriteLimit, AWriteGetsNoTimePastTheTestDeadline) {
  struct Row {
    const char* name;
    int64_t afterMs;  // fake time between the open and the write
    int length;       // bytes written
    int multiplier;   // the device's write time-out then
    int constant;
  };
  const Row rows[] = {
      // 50 ms a byte + 100 ms, as long as the test time lasts.
      {"short write, time left", 0, 5, 50, 100},
      {"long write, time left", 0, 100, 50, 100},
      // 2000 bytes would get 100.1 s; 10 s are left.
      {"long write, deadline near", 0, 2000, 0, 10000},
      {"long write, 3 s left", 7500, 2000, 0, 3000},
      // Past the deadline a write gets what one read request gets.
      {"deadline passed", 12000, 2000, 0, 100},
      // A command of a few bytes keeps its own limit of a second or less.
      {"short write, deadline passed", 12000, 18, 50, 100},
      {"19 bytes, deadline passed", 12000, 19, 0, 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeClock clock;
    LoggedPort p(clock);
    ASSERT_TRUE(p.port->open_line(3, 115200, 10, clock.steady_seconds()));
    clock.advance_milliseconds(row.afterMs);
    const std::string data(static_cast<size_t>(row.length), 'x');
    ASSERT_TRUE(p.port->write_com(data.c_str(), row.length));
    EXPECT_EQ(p.device->timeouts().writeTotalMultiplier, row.multiplier);
    EXPECT_EQ(p.device->timeouts().writeTotalConstant, row.constant);
    // The read timing stays as it was.
    EXPECT_EQ(p.device->timeouts().readTotalConstant, 100);
    EXPECT_EQ(p.device->timeouts().readInterval, 100);
  }
}

TEST(ComPortWriteLimit, TheLimitGoesBackForTheNextShortWrite) {
  FakeClock clock;
  LoggedPort p(clock);
  ASSERT_TRUE(p.port->open_line(3, 115200, 10, clock.steady_seconds()));
  const std::string big(5000, 'x');
  ASSERT_TRUE(p.port->write_com(big.c_str(), 5000));
  EXPECT_EQ(p.device->timeouts().writeTotalConstant, 10000);
  ASSERT_TRUE(p.port->write_com(kCommand, 5));
  EXPECT_EQ(p.device->timeouts().writeTotalMultiplier, 50);
  EXPECT_EQ(p.device->timeouts().writeTotalConstant, 100);
}

TEST(ComPortDiscardInput, TakesOnlyWhatWaitsAndLogsItAsRead) {
  FakeClock clock;
  LoggedPort p(clock);
  ASSERT_TRUE(p.port->open_line(3, 115200, 60, clock.steady_seconds()));
  p.log_to_memory();

  // Nothing waits: nothing is read, logged or waited for.
  p.port->discard_input();
  EXPECT_EQ(p.log(), "");
  EXPECT_EQ(clock.now_microseconds(), 0);

  // Two pieces wait, a third is still on its way: it stays for the next read.
  p.device->queue("\r\nOK\r\n").queue("tail\r\n").queue("later\r\n", 50);
  p.port->discard_input();
  EXPECT_EQ(p.log(), "\nRead 12 bytes\n\r\nOK\r\ntail\r\n");
  EXPECT_EQ(clock.now_microseconds(), 0);
  EXPECT_EQ(p.device->pending_chunks(), 1u);
  char buffer[64];
  ASSERT_TRUE(p.port->read_com(buffer, sizeof buffer, 5)) << p.port->lastError;
  EXPECT_STREQ(buffer, "later\r\n");
}

TEST(ComPortDiscardInput, StopsAfter64KiBOfAModemThatNeverStops) {
  FakeClock clock;
  LoggedPort p(clock);
  ASSERT_TRUE(p.port->open_line(3, 115200, 60, clock.steady_seconds()));
  const std::string line(1000, 'z');
  for (int i = 0; i < 100; ++i) p.device->queue(line);
  p.port->discard_input();
  // Whole 4 KiB pieces until 64 KiB are taken; the rest stays queued.
  size_t left = 0;
  char buffer[4096];
  for (;;) {
    int got = 0;
    ASSERT_EQ(p.device->read_waiting(buffer, sizeof buffer, got), ReadRequest::kDone);
    if (got == 0) break;
    left += static_cast<size_t>(got);
  }
  EXPECT_EQ(left, 100000u - 65536u);
}

TEST(ComPortDiscardInput, ADeviceFailureIsLeftForTheNextRead) {
  FakeClock clock;
  LoggedPort p(clock);
  ASSERT_TRUE(p.port->open_line(3, 115200, 60, clock.steady_seconds()));
  p.device->hang_up(5);
  p.port->lastError.clear();
  p.port->discard_input();
  EXPECT_EQ(p.port->lastError, "");
  char buffer[64];
  EXPECT_FALSE(p.port->read_com(buffer, sizeof buffer, 5));
  EXPECT_NE(p.port->lastError, "");
}

TEST(ComPortInterrupt, AReadEndsWithinARequestOfTheSignal) {
  SignalAt clock(1500, 15);
  LoggedPort p(clock);
  ASSERT_TRUE(p.port->open_line(3, 115200, 600, clock.steady_seconds()));
  p.log_to_memory();
  char buffer[64];
  EXPECT_FALSE(p.port->read_com(buffer, sizeof buffer, -1));
  EXPECT_EQ(p.port->lastError, "Interrupted by signal 15\n");
  // Seen after the request that ended at 1.5 s.
  EXPECT_EQ(clock.now_microseconds(), 1500000);
  EXPECT_EQ(p.log(), "Interrupted by signal 15\n");
  // No further command goes out.
  EXPECT_FALSE(p.port->write_com(kCommand, 5));
  EXPECT_EQ(p.port->lastError, "Interrupted by signal 15\n");
  EXPECT_EQ(p.device->writes().size(), 0u) << "nothing written";
}

}  // namespace

}  // namespace smstest
