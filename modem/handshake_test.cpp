// The two handshakes of handshake.h on the fake device and the fake clock:
// the proprietary one in fixed read requests, byte for byte in the wire and
// the debug log, and the standard one, which waits for answers, not time.
#include "modem/handshake.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/files.h"
#include "common/interrupt.h"
#include "modem/at_channel.h"
#include "serial/com_port.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

const std::string kOk = "\r\nOK\r\n";

// The log of a handshake answered "\r\nOK\r\n" three times.
const std::string kHandshakeLog =
    "\nWrote 3 bytes\nAT\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 3 bytes\nAT\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 5 bytes\nATE0\r\nRead 6 bytes\n\r\nOK\r\n";

std::string printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

std::string no_modem_text(const std::string& device) {
  return device +
         " failed to respond to at comand. Please make sure that the device is connected and the "
         "baudrate and other port settings are correct.";
}

// A port on a fake device of its own; the device belongs to the port.
struct FakePort {
  explicit FakePort(FakeClock& clock)
      : FakePort(clock, std::unique_ptr<FakeSerialDevice>(new FakeSerialDevice(clock))) {}
  FakePort(FakeClock& clock, std::unique_ptr<FakeSerialDevice> owned)
      : device(*owned), port(std::move(owned), clock) {}

  FakeSerialDevice& device;
  ComPort port;
};

// A channel on a fake device of its own.
struct FakeChannel {
  explicit FakeChannel(FakeClock& clock)
      : FakeChannel(clock, std::unique_ptr<FakeSerialDevice>(new FakeSerialDevice(clock))) {}
  FakeChannel(FakeClock& clock, std::unique_ptr<FakeSerialDevice> owned)
      : device(*owned), channel(std::move(owned), clock) {}

  FakeSerialDevice& device;
  AtChannel channel;
};

class HandshakeTest : public testing::Test {
 protected:
  void SetUp() override { device_ = com_device_name(3); }

  bool open_port(ComPort& port) {
    return open_modem_port(port, 3, 115200, 600, port.clock().calendar_seconds());
  }

  PortFolder folder_;  // COM3 is named by the folder, as the tool's ports are
  FakeClock clock_;
  std::string device_;  // the name of COM3, as messages show it
};

// ---- The proprietary handshake ----------------------------------------------

TEST_F(HandshakeTest, HandshakeIsLoggedByteForByte) {
  const std::string log = folder_.path("handshake.log");
  ASSERT_TRUE(write_file(log, "left over from an earlier run"));
  FakePort fake(clock_);
  ComPort& port = fake.port;
  fake.device.answer_handshake();
  port.open_log(log.c_str());
  EXPECT_TRUE(port.logOn);
  EXPECT_EQ(read_file(log), "");  // truncated
  ASSERT_TRUE(open_modem_port(port, 3, 115200, 90, 1234)) << port.lastError;
  EXPECT_TRUE(port.is_open());
  EXPECT_EQ(port.portNumber, 3);
  EXPECT_EQ(port.testTimeout, 90);
  EXPECT_EQ(port.testStart, 1234);
  EXPECT_EQ(port.lastError, "");
  EXPECT_EQ(fake.device.opened_name(), device_);
  EXPECT_EQ(printable(fake.device.written()), printable("AT\rAT\rATE0\r"));
  EXPECT_EQ(printable(read_file(log)), printable(kHandshakeLog));
}

TEST_F(HandshakeTest, ModemAnsweringOnlyTheSecondAtOpens) {
  FakeClock clock(1000);
  FakePort fake(clock);
  fake.device.on_write("AT\r", {}).on_write("AT\r", {kOk}).on_write("ATE0\r", {kOk});
  // The first answer is waited for 3 s: three requests of the stepping
  // calendar.
  clock.step_per_reading(1);
  ASSERT_TRUE(open_port(fake.port)) << fake.port.lastError;
  EXPECT_TRUE(fake.port.is_open());
  // The first read's time-out stays: a success never clears lastError.
  EXPECT_EQ(fake.port.lastError, "Read timedout, timeout=3, elapsed=4");
  EXPECT_EQ(printable(fake.device.written()), printable("AT\rAT\rATE0\r"));
}

TEST_F(HandshakeTest, ModemAnsweringErrorOpens) {
  const std::string error = "\r\nERROR\r\n";
  FakePort fake(clock_);
  fake.device.on_write("AT\r", {error}, 0, 2).on_write("ATE0\r", {error});
  ASSERT_TRUE(open_port(fake.port)) << fake.port.lastError;
  EXPECT_TRUE(fake.port.is_open());
  EXPECT_EQ(fake.device.pending_chunks(), 0u);
}

TEST_F(HandshakeTest, SilentModemFailsAfterTwoTimeOutsAndLeavesThePortClosed) {
  FakePort fake(clock_);
  const int64_t before = clock_.now_microseconds();
  EXPECT_FALSE(open_port(fake.port));
  // 3 s for each "AT"; the "ATE0" is never sent.
  EXPECT_EQ(clock_.now_microseconds() - before, 6000000);
  EXPECT_EQ(fake.port.lastError, no_modem_text(device_));
  EXPECT_FALSE(fake.port.is_open());
  EXPECT_FALSE(fake.device.is_open()) << "closed, so that another run can have the line";
  EXPECT_EQ(printable(fake.device.written()), printable("AT\rAT\r"));
}

TEST(HandshakeInterrupt, AnOpenInterruptedInTheHandshakeSaysSo) {
  for (bool answering : {false, true}) {
    SignalAt clock(1000, 2);
    FakeChannel fake(clock);  // a silent modem: the handshake waits
    const bool opened = answering ? fake.channel.open_answering(3, 115200, 600, 0)
                                  : fake.channel.open(3, 115200, 600, 0);
    EXPECT_FALSE(opened);
    EXPECT_EQ(fake.channel.lastError, "Interrupted by signal 2\n") << answering;
    // The proprietary reads look at the signal before each request; the
    // standard handshake sees it at its next write, after the first "AT"'s
    // 3 s.
    EXPECT_LE(clock.now_microseconds(), answering ? 3100000 : 1100000) << answering;
    // The proprietary open leaves the port open when its second "AT" can't
    // be written; the standard one closes it on every failure.
    if (answering) {
      EXPECT_FALSE(fake.device.is_open());
    }
  }
}

// ---- The standard handshake: answers, not time -------------------------------

TEST_F(HandshakeTest, AnsweringOpenEndsTheQuietTimeAfterTheLastOk) {
  // Echo on at first, each answer 5 ms after its command.
  FakeChannel fake(clock_);
  fake.device.on_write("AT\r", {"AT\r" + kOk}, 5).on_write("ATE0\r", {"ATE0\r" + kOk}, 5);
  const std::string log = folder_.path("answering.log");
  fake.channel.port.open_log(log.c_str());
  const int64_t before = clock_.now_microseconds();
  ASSERT_TRUE(fake.channel.open_answering(3, 115200, 600, 0)) << fake.channel.lastError;
  const int64_t tookMs = (clock_.now_microseconds() - before) / 1000;
  // One "AT" proves the modem when it answers; each answer ends at its OK
  // (within the 1 ms quiet of a request), then 20 ms of quiet.
  EXPECT_EQ(printable(fake.device.written()), printable("AT\rATE0\r"));
  EXPECT_GE(tookMs, 5 + 5 + kSettleQuietMs);
  EXPECT_LE(tookMs, 5 + 5 + kSettleQuietMs + 3);
  EXPECT_EQ(fake.device.pending_chunks(), 0u);
  const std::string text = read_file(log);
  EXPECT_NE(text.find("\nWrote 3 bytes\nAT\r"), std::string::npos) << printable(text);
  EXPECT_NE(text.find("ATE0\r\r\nOK\r\n"), std::string::npos) << printable(text);
  // The answer reader has its own timing back: a request of 1 ms quiet.
  EXPECT_EQ(fake.device.timeouts().readInterval, AtChannel::kQuietMs);
  EXPECT_EQ(fake.device.timeouts().readTotalConstant, AtChannel::kRequestMs);
}

TEST_F(HandshakeTest, AnsweringOpenReadsALateTailOutBeforeTheFirstCommand) {
  // A second "OK" 15 ms after the answer to "ATE0": the quiet time starts
  // again after it, and the first command gets its own answer.
  FakeChannel fake(clock_);
  fake.device.on_write("AT\r", {kOk}).on_write("ATE0\r", {kOk, "\r\nOK\r\n"}, 0, 1, 15);
  fake.device.on_write("AT+CMEE=1\r", {"\r\nERROR\r\n"}, 2);
  const int64_t before = clock_.now_microseconds();
  ASSERT_TRUE(fake.channel.open_answering(3, 115200, 600, 0)) << fake.channel.lastError;
  const int64_t tookMs = (clock_.now_microseconds() - before) / 1000;
  EXPECT_GE(tookMs, 15 + kSettleQuietMs);
  EXPECT_LE(tookMs, 15 + kSettleQuietMs + 3);
  AtAnswer answer;
  ASSERT_TRUE(fake.channel.ask("AT+CMEE=1", ExpectedAnswer(), clock_.steady_seconds() + 5, answer));
  EXPECT_EQ(answer.final, FinalCode::kError);
}

TEST_F(HandshakeTest, AnsweringOpenTriesASwallowedAtOnceMore) {
  struct Row {
    const char* name;
    std::string secondAnswer;  // "" : silent
    bool opens;
  };
  const Row rows[] = {
      {"SecondAtAnswered", kOk, true},
      {"SecondAtAnsweredWithoutAFinalCode", "\r\nhello\r\n", true},
      {"SilentModem", "", false},
  };
  for (const Row& row : rows) {
    FakeClock clock(1000);
    FakeChannel fake(clock);
    fake.device.on_write("AT\r", {});
    if (!row.secondAnswer.empty()) fake.device.on_write("AT\r", {row.secondAnswer});
    fake.device.on_write("ATE0\r", {kOk});
    const int64_t before = clock.now_microseconds();
    EXPECT_EQ(fake.channel.open_answering(3, 115200, 600, clock.steady_seconds()), row.opens)
        << row.name << ": " << fake.channel.lastError;
    const int64_t tookMs = (clock.now_microseconds() - before) / 1000;
    if (row.opens) {
      EXPECT_EQ(printable(fake.device.written()), printable("AT\rAT\rATE0\r")) << row.name;
      // The first "AT" is given 3 whole seconds of the steady clock.
      EXPECT_GE(tookMs, 2000) << row.name;
      EXPECT_LE(tookMs, 3000 + 3000 + 1000) << row.name;
      EXPECT_TRUE(fake.device.is_open()) << row.name;
    } else {
      EXPECT_EQ(fake.channel.lastError, no_modem_text(device_)) << row.name;
      EXPECT_EQ(printable(fake.device.written()), printable("AT\rAT\r")) << row.name;
      EXPECT_FALSE(fake.device.is_open()) << row.name;
      EXPECT_LE(tookMs, 6000) << row.name;
    }
  }
}

TEST_F(HandshakeTest, LineFailuresFailBothOpensWithTheLinesText) {
  for (bool answering : {false, true}) {
    FakeChannel fake(clock_);
    fake.device.fail_once(FakeFailure::kOpen, 16);
    const bool opened = answering ? fake.channel.open_answering(3, 115200, 600, 0)
                                  : fake.channel.open(3, 115200, 600, 0);
    EXPECT_FALSE(opened);
    EXPECT_EQ(fake.channel.lastError,
              "Failed to open " + device_ +
                  ". Please make sure that this device is not in use. (Device or resource busy)")
        << answering;
    EXPECT_EQ(fake.device.written(), "") << answering;
  }
}

}  // namespace

}  // namespace smstest
