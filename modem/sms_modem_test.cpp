// The session on the scripted fake device and the fake clock: the handshake
// and the probe, the classification of responses, the send confirmations,
// the receive polls and their deadlines, the parsing of a report, deletes,
// and failures of the port carried up.
#include "modem/sms_modem.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/modem_answers.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

constexpr int kPort = 7;

// A session on a fake device of its own; the device belongs to the
// session's port.
struct FakeSession {
  explicit FakeSession(FakeClock& clock)
      : FakeSession(clock, std::unique_ptr<FakeSerialDevice>(new FakeSerialDevice(clock))) {}
  FakeSession(FakeClock& clock, std::unique_ptr<FakeSerialDevice> owned)
      : device(*owned), modem(std::move(owned), clock) {}

  // How often `command` was written.
  long written(const std::string& command) const {
    return std::count(device.writes().begin(), device.writes().end(), command);
  }

  FakeSerialDevice& device;
  SmsModem modem;
};

class SmsModemTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("modem"); }

  // Answers like a modem with `answers` and opens the session with its log.
  void open_with(std::vector<std::pair<std::string, std::string>> answers, int testTimeout = 10) {
    session_.device.set_responder(modem_like(std::move(answers)));
    log_ = dir_ + "/session.log";
    modem_.open_log(log_.c_str());
    ASSERT_TRUE(modem_.open(kPort, 115200, testTimeout, clock_.calendar_seconds()))
        << modem_.lastError;
  }

  std::string dir_;
  std::string log_;
  FakeClock clock_;
  FakeSession session_{clock_};
  SmsModem& modem_ = session_.modem;
};

TEST_F(SmsModemTest, OpenSendsTheHandshakeAndTheProbe) {
  open_with({});
  EXPECT_EQ(modem_.lastError, "");
  // The set gives the text as it is: nothing to decode.
  ReceivedMessage message;
  message.text = message.raw = "tImE1Thello";
  EXPECT_TRUE(modem_.decode(message));
  EXPECT_EQ(message.text, "tImE1Thello");
  std::vector<std::string> expected = {"AT\r", "AT\r", "ATE0\r", "AT!DASMS\r"};
  EXPECT_EQ(session_.device.writes(), expected);
}

TEST_F(SmsModemTest, ProbeAnsweredWithErrorStillOpens) {
  ::testing::internal::CaptureStderr();
  open_with({{"AT!DASMS", "\r\nERROR\r\n"}});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "AT!DASMS is not supported for COM7\n");
  EXPECT_EQ(modem_.lastError, "AT!DASMS is not supported\n");
}

TEST_F(SmsModemTest, ProbeWithoutAnswerFailsTheOpen) {
  session_.device.set_responder(modem_like({{"AT!DASMS", ""}}));
  // A test deadline that is already over: the probe's read gives up after
  // its one request.
  EXPECT_FALSE(modem_.open(kPort, 115200, 1, clock_.calendar_seconds() - 5));
  EXPECT_EQ(modem_.lastError.rfind("Read timedout, test timeout=1, elapsed=", 0), 0u)
      << modem_.lastError;
  EXPECT_EQ(modem_.lastError, "Read timedout, test timeout=1, elapsed=5");
}

TEST_F(SmsModemTest, WaitResponseClassifies) {
  struct Case {
    const char* answer;
    int expected;
    const char* lastError;  // nullptr: unchanged
    bool warning;
  } cases[] = {
      {"\r\nERROR\r\n", 2, "Modem returned an error", false},
      {"\r\n+CMGL: 1,\"REC READ\"\r\nERROR\r\n", kResponseUsable, nullptr, true},
      {"\r\n+CMGL: 1\r\nOK\r\n", kResponseUsable, nullptr, false},
      {"\r\nanything at all\r\n", kResponseUsable, nullptr, false},
  };
  open_with({{"AT+A", cases[0].answer},
             {"AT+B", cases[1].answer},
             {"AT+C", cases[2].answer},
             {"AT+D", cases[3].answer}});
  const char* commands[] = {"AT+A\r", "AT+B\r", "AT+C\r", "AT+D\r"};
  for (int i = 0; i < 4; ++i) {
    const Case& c = cases[i];
    modem_.lastError = "before";
    size_t logBefore = read_file(log_).size();
    ASSERT_TRUE(modem_.port.write_com(commands[i], 5));
    char buffer[2048];
    EXPECT_EQ(modem_.wait_response(buffer, sizeof buffer, 3, "ERROR"), c.expected) << c.answer;
    EXPECT_EQ(modem_.lastError, c.lastError ? c.lastError : "before") << c.answer;
    std::string logged = read_file(log_).substr(logBefore);
    EXPECT_EQ(logged.find("Warning modem returned warning and response to CMGL, assumed OK\n") !=
                  std::string::npos,
              c.warning)
        << c.answer;
  }
}

struct SendCase {
  const char* name;
  std::vector<std::string> chunks;  // the answer to the send command
  int timeout;
  bool ok;
  const char* lastError;
};

TEST_F(SmsModemTest, SendConfirmations) {
  SendCase cases[] = {
      {"CMGS after line end", {"\r\n+CMGS: 12\r\n"}, 5, true, ""},
      {"OK anywhere", {"xOKx\r\n"}, 5, true, ""},
      {"ERROR wins over OK",
       {"\r\nOK\r\nERROR\r\n"},
       5,
       false,
       "On sending SMS Text, Com port returned ERROR"},
      {"CMGS at the first byte, negative time-out",
       {"+CMGS: 12\r\n"},
       -1,
       false,
       "Send Timed Out Waiting for +CMGW:\n"},
      // Each chunk completes one read: a bare line end, "+CMGS:" at the start
      // of its buffer (no confirmation), then OK.
      {"confirmed on the third read", {"\r\n", "+CMGS: 3\r\n", "\r\nOK\r\n"}, 5, true, ""},
      {"confirmation too late for a negative time-out",
       {"\r\n", "\r\nOK\r\n"},
       -1,
       false,
       "Send Timed Out Waiting for +CMGW:\n"},
  };
  for (const SendCase& c : cases) {
    FakeClock clock;
    FakeSession session(clock);
    // The chunks 400 ms apart, far enough that each is a read of its own.
    session.device.on_write("AT!SSMS", c.chunks, 0, 1, 400).set_responder(modem_like({}));
    ASSERT_TRUE(session.modem.open(kPort, 115200, 20, clock.calendar_seconds())) << c.name;
    int64_t start = 0, end = 0;
    EXPECT_EQ(session.modem.send_sms("5550100", "tImE1Thello", start, end, c.timeout), c.ok)
        << c.name;
    EXPECT_EQ(session.modem.lastError, c.lastError) << c.name;
    if (c.ok) {
      EXPECT_GE(end, start) << c.name;
    }
    EXPECT_EQ(session.device.writes().back(), "AT!SSMS=0,5550100,5550100,\"tImE1Thello\"\r")
        << c.name;
  }
}

TEST_F(SmsModemTest, SendWithoutConfirmationTimesOutInWholeSeconds) {
  // The reads after the first answer wait for the test deadline (2 s), then
  // the send sees more than its one second gone.
  open_with({{"AT!SSMS", "\r\n"}}, 2);
  int64_t start = 0, end = 0;
  int64_t before = clock_.calendar_seconds();
  EXPECT_FALSE(modem_.send_sms("1", "x", start, end, 1));
  int64_t waited = clock_.calendar_seconds() - before;
  EXPECT_EQ(modem_.lastError, "Send Timed Out Waiting for +CMGW:\n");
  EXPECT_GE(waited, 1);
  EXPECT_LE(waited, 4);
  EXPECT_EQ(waited, 2) << "until the test deadline";
}

TEST_F(SmsModemTest, ReceiveTakesTheReportApart) {
  open_with(
      {{"AT!GSMS?2,0", "\r\n!GSMS: 1\r\nAddress: 5550100\r\nMsg Body: tImE1Thello\r\nOK\r\n"}});
  std::string sender, body;
  int64_t foundAt = 0;
  ASSERT_TRUE(modem_.receive_sms(sender, body, foundAt, 5)) << modem_.lastError;
  EXPECT_EQ(sender, "5550100");
  EXPECT_EQ(body, "tImE1Thello");
  EXPECT_NE(read_file(log_).find("Got SMS message: tImE1Thello\n"), std::string::npos);
}

TEST_F(SmsModemTest, ReceivePollsThroughErrorsUntilItsDeadline) {
  open_with({{"AT!GSMS?2,0", "\r\nERROR\r\n"}});
  std::string sender, body;
  int64_t foundAt = 0;
  int64_t before = clock_.calendar_seconds();
  EXPECT_FALSE(modem_.receive_sms(sender, body, foundAt, 1));
  EXPECT_EQ(modem_.lastError, "Operation Timed out during SMS Receive.");
  EXPECT_LE(clock_.calendar_seconds() - before, 3);
  EXPECT_EQ(clock_.calendar_seconds() - before, 2) << "past the deadline, in whole seconds";
  const long polls = session_.written("AT!GSMS?2,0\r");
  EXPECT_GE(polls, 3);
  // Answered at once, a poll comes every 100 ms until 2 s have passed.
  EXPECT_EQ(polls, 21);
}

TEST_F(SmsModemTest, ReceiveWithoutTimeOutStopsAtTheTestDeadline) {
  session_.device.set_responder(modem_like({{"AT!GSMS", "\r\nOK\r\n"}}));
  // The test deadline has already passed: the first poll without a message ends it.
  ASSERT_TRUE(modem_.open(kPort, 115200, 1, clock_.calendar_seconds() - 30));
  std::string sender, body;
  int64_t foundAt = 0;
  EXPECT_FALSE(modem_.receive_sms(sender, body, foundAt, 0));
  EXPECT_EQ(modem_.lastError, "Operation Timed out during SMS Receive.");
  EXPECT_EQ(session_.written("AT!GSMS?2,0\r"), 1);
}

TEST(ParseMessage, Table) {
  struct Case {
    const char* response;
    int result;
    const char* sender;
    const char* body;
    const char* lastError;
  } cases[] = {
      {"Address: 5550100\rMsg Body: hi\r", 1, "5550100", "hi", ""},
      {"Msg Body: hi there\r\nAddress: 5550100\r\n", 1, "5550100", "hi there", ""},
      {"Address:5550100\rMsg Body: x\r", 1, "550100", "x", ""},  // no blank: first digit lost
      {"Address: 1\rMsg Body: \r", 1, "1", "", ""},
      {"Address: 1\rMsg Body: no line end", 1, "1", "no line end", ""},
      {"Address: 1\rMsg Body:", 1, "1", "", ""},  // label at the very end
      {"Msg Body: x\r", 0, "", "", "Unexpected SMS Message getting from phone number."},
      {"Address: 42\r\nOK\r\n", 0, "42", "", "Unexpected SMS Message getting message body."},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    FakeSession session(clock);
    SmsModem& modem = session.modem;
    std::string sender, body = "stale";
    EXPECT_EQ(modem.parse_message(c.response, sender, body), c.result) << c.response;
    EXPECT_EQ(sender, c.sender) << c.response;
    EXPECT_EQ(body, c.body) << c.response;
    EXPECT_EQ(modem.lastError, c.lastError) << c.response;
  }
}

TEST_F(SmsModemTest, DeleteOutcomes) {
  open_with({{"AT!DSMS=3,0", "\r\nwhatever\r\n"}});
  EXPECT_TRUE(modem_.delete_messages());
  EXPECT_EQ(session_.device.writes().back(), "AT!DSMS=3,0\r");

  FakeSession refused(clock_);
  refused.device.set_responder(modem_like({{"AT!DSMS", "\r\nERROR\r\n"}}));
  ASSERT_TRUE(refused.modem.open(kPort + 1, 115200, 10, clock_.calendar_seconds()));
  EXPECT_FALSE(refused.modem.delete_messages());
  EXPECT_EQ(refused.modem.lastError, "On command AT!DSMS=3,0, Com port returned ERROR");
}

TEST_F(SmsModemTest, WriteAfterHangUpCarriesThePortText) {
  open_with({});
  session_.device.hang_up(EIO);
  EXPECT_FALSE(modem_.delete_messages());
  EXPECT_FALSE(modem_.lastError.empty());
  EXPECT_EQ(modem_.lastError, modem_.port.lastError);
  EXPECT_EQ(modem_.lastError.rfind("write_com: Could not write to COM7, error code: ", 0), 0u)
      << modem_.lastError;
}

}  // namespace

}  // namespace smstest
