// The session on the fake device and the fake clock, where earlier versions
// lost data, hung or reported success falsely: limits on the steady clock,
// stale input before a command, echo that ATE0 did not turn off, "ERROR"
// inside a message body, reports that arrive in pieces, interrupted waits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "modem/sms_modem.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const char kPoll[] = "AT!GSMS?2,0\r";

// A fake clock whose calendar is stepped by `step` seconds once the fake
// time reaches `atMs`.
class SteppedClock : public FakeClock {
 public:
  SteppedClock(int64_t atMs, int64_t step) : atMicroseconds_(atMs * 1000), step_(step) {}

  int64_t calendar_seconds() override {
    if (!stepped_ && now_microseconds() >= atMicroseconds_) {
      stepped_ = true;
      step_calendar(step_);
    }
    return FakeClock::calendar_seconds();
  }

 private:
  int64_t atMicroseconds_;
  int64_t step_;
  bool stepped_ = false;
};

// A session on a fake device, opened on COM7 with the handshake and the
// probe answered; its debug log goes to a temporary file.
class Session {
 public:
  explicit Session(FakeClock& clock, int testTimeout = 60) : clock_(clock) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    device = owned.get();
    modem.reset(new SmsModem(std::move(owned), clock));
    modem->port.logFile = std::tmpfile();
    modem->port.logOn = modem->port.logFile != nullptr;
    device->answer_handshake().on_write("AT!DASMS\r", {kOk});
    opened = modem->open(7, 115200, testTimeout, clock.steady_seconds());
  }

  // The debug log from the probe's answer on (the handshake left out).
  std::string log_after_open() const {
    std::string text = log();
    const std::string probe = "\nRead 6 bytes\n\r\nOK\r\n";
    size_t at = text.find("AT!DASMS\r" + probe);
    return at == std::string::npos ? text : text.substr(at + 9 + probe.size());
  }

  std::string log() const {
    std::string text;
    FILE* file = modem->port.logFile;
    if (file == nullptr) return text;
    std::fflush(file);
    std::rewind(file);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fseek(file, 0, SEEK_END);
    return text;
  }

  FakeClock& clock_;
  FakeSerialDevice* device = nullptr;  // owned by the session's port
  std::unique_ptr<SmsModem> modem;
  bool opened = false;
};

TEST(SessionSteadyLimits, SendAndReceiveTimeOutOnTheSteadyClock) {
  for (int64_t step : {int64_t{-7200}, int64_t{7200}}) {
    SCOPED_TRACE(step);
    {
      // A send never confirmed: its reads wait for the test deadline (3 s),
      // and it gives up once more than 3 whole seconds have passed.
      SteppedClock clock(500, step);
      Session s(clock, 3);
      ASSERT_TRUE(s.opened);
      s.device->on_write("AT!SSMS", {"\r\n"}, 0, 1);
      int64_t start = 0, end = 0;
      const int64_t before = clock.now_microseconds();
      EXPECT_FALSE(s.modem->send_sms("5550100", "hi", start, end, 3));
      EXPECT_EQ(s.modem->lastError, "Send Timed Out Waiting for +CMGW:\n");
      const int64_t waited = clock.now_microseconds() - before;
      EXPECT_GT(waited, 3000000);
      EXPECT_LE(waited, 4200000);
    }
    {
      // Polls without a message until the deadline 2 s on.
      SteppedClock clock(500, step);
      Session s(clock);
      ASSERT_TRUE(s.opened);
      s.device->on_write(kPoll, {kOk}, 0, -1);
      std::string sender, body;
      int64_t foundAt = 0;
      const int64_t before = clock.now_microseconds();
      EXPECT_FALSE(s.modem->receive_sms(sender, body, foundAt, 2));
      EXPECT_EQ(s.modem->lastError, "Operation Timed out during SMS Receive.");
      const int64_t waited = clock.now_microseconds() - before;
      EXPECT_GT(waited, 2000000);
      EXPECT_LE(waited, 3300000);
    }
  }
}

// Before each command the session drops what is still waiting on the line,
// so the rest of an earlier answer can't pass for the new command's.
TEST(SessionStaleInput, WaitingBytesAnswerNoLaterCommand) {
  {
    // A stray OK would confirm a reply the modem refuses.
    FakeClock clock;
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->queue(kOk).on_write("AT!SSMS", {kError}, 1000);
    int64_t start = 0, end = 0;
    EXPECT_FALSE(s.modem->send_sms("5551234", "rEfLeCt1Thi", start, end, -1));
    EXPECT_EQ(s.modem->lastError, "On sending SMS Text, Com port returned ERROR");
    EXPECT_EQ(s.log_after_open().rfind("\nRead 6 bytes\n\r\nOK\r\n\nWrote 40 bytes\n", 0), 0u)
        << s.log_after_open();
  }
  {
    // A stray ERROR would fail a delete the modem did.
    FakeClock clock;
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->queue(kError).on_write("AT!DSMS=3,0\r", {kOk}, 200);
    EXPECT_TRUE(s.modem->delete_messages()) << s.modem->lastError;
  }
  {
    // The rest of an old report is no message of this poll.
    FakeClock clock;
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->queue("Address: 1\r\nMsg Body: old\r\n\r\nOK\r\n").on_write(kPoll, {kOk}, 0, -1);
    std::string sender, body;
    int64_t foundAt = 0;
    EXPECT_FALSE(s.modem->receive_sms(sender, body, foundAt, 1));
    EXPECT_EQ(s.modem->lastError, "Operation Timed out during SMS Receive.");
  }
}

TEST(SessionStaleInput, NothingWaitingLeavesTheLogAsItWas) {
  FakeClock clock;
  Session s(clock);
  ASSERT_TRUE(s.opened);
  s.device->on_write("AT!SSMS", {"\r\n+CMGS: 1\r\n\r\nOK\r\n"})
      .on_write(kPoll, {"\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nOK\r\n"})
      .on_write("AT!DSMS=3,0\r", {kOk});
  int64_t start = 0, end = 0;
  ASSERT_TRUE(s.modem->send_sms("1", "hi", start, end, 5));
  std::string sender, body;
  int64_t foundAt = 0;
  ASSERT_TRUE(s.modem->receive_sms(sender, body, foundAt, 5));
  ASSERT_TRUE(s.modem->delete_messages());
  EXPECT_EQ(s.log_after_open(),
            "\nWrote 19 bytes\nAT!SSMS=0,1,1,\"hi\"\r\nRead 18 bytes\n\r\n+CMGS: 1\r\n\r\nOK\r\n"
            "\nWrote 12 bytes\nAT!GSMS?2,0\r\nRead 34 bytes\n\r\nAddress: 1\r\nMsg Body: "
            "hi\r\n\r\nOK\r\nGot SMS message: hi\n"
            "\nWrote 12 bytes\nAT!DSMS=3,0\r\nRead 6 bytes\n\r\nOK\r\n");
}

}  // namespace

}  // namespace smstest
