#include "modem/sms_modem.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "testsupport/run_process.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

constexpr int kPort = 7;

// A peer on a new line, published as `dir`/COM`port`, answering with
// `responder`.
std::unique_ptr<PtyPeer> serve_port(const std::string& dir, int port, Responder responder,
                                    int chunkPauseMs = 200) {
  std::unique_ptr<PtyPeer> peer(new PtyPeer);
  if (peer->create() && !peer->link(dir, port).empty()) peer->serve(std::move(responder), chunkPauseMs);
  return peer;
}

class SmsModemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("modem");
    setenv("SMS_TEST_PORTS", dir_.c_str(), 1);
  }

  // Starts a peer with `answers` and opens a session on it.
  void open_with(std::vector<std::pair<std::string, std::string>> answers, int testTimeout = 10) {
    peer_ = serve_port(dir_, kPort, modem_like(std::move(answers)));
    ASSERT_TRUE(peer_->is_open()) << peer_->lastError;
    log_ = dir_ + "/session.log";
    modem_.open_log(log_.c_str());
    ASSERT_TRUE(modem_.open(kPort, 115200, testTimeout, calendar_seconds())) << modem_.lastError;
  }

  std::string dir_;
  std::string log_;
  std::unique_ptr<PtyPeer> peer_;
  SmsModem modem_;
};

TEST_F(SmsModemTest, OpenSendsTheHandshakeAndTheProbe) {
  open_with({});
  EXPECT_EQ(modem_.lastError, "");
  EXPECT_EQ(modem_.textMode, 1);
  std::vector<std::string> expected = {"AT\r", "AT\r", "ATE0\r", "AT!DASMS\r"};
  EXPECT_EQ(peer_->commands(), expected);
}

TEST_F(SmsModemTest, ProbeAnsweredWithErrorStillOpens) {
  ::testing::internal::CaptureStderr();
  open_with({{"AT!DASMS", "\r\nERROR\r\n"}});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "AT!DASMS is not supported for COM7\n");
  EXPECT_EQ(modem_.lastError, "AT!DASMS is not supported\n");
}

TEST_F(SmsModemTest, ProbeWithoutAnswerFailsTheOpen) {
  peer_ = serve_port(dir_, kPort, modem_like({{"AT!DASMS", ""}}));
  // A test deadline that is already over: the probe's read gives up at once.
  EXPECT_FALSE(modem_.open(kPort, 115200, 1, calendar_seconds() - 5));
  EXPECT_EQ(modem_.lastError.rfind("Read timedout, test timeout=1, elapsed=", 0), 0u)
      << modem_.lastError;
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
    SmsModem modem;
    std::vector<std::string> chunks = c.chunks;
    std::unique_ptr<PtyPeer> peer = serve_port(
        dir_, kPort,
        [chunks](const std::string& command) -> std::vector<std::string> {
          if (command.rfind("AT!SSMS", 0) == 0) return chunks;
          return {"\r\nOK\r\n"};
        },
        400);  // far apart enough that each chunk is a read of its own
    ASSERT_TRUE(modem.open(kPort, 115200, 20, calendar_seconds())) << c.name;
    int64_t start = 0, end = 0;
    EXPECT_EQ(modem.send_sms("5550100", "tImE1Thello", start, end, c.timeout), c.ok) << c.name;
    EXPECT_EQ(modem.lastError, c.lastError) << c.name;
    if (c.ok) {
      EXPECT_GE(end, start) << c.name;
    }
    EXPECT_EQ(peer->commands().back(), "AT!SSMS=0,5550100,5550100,\"tImE1Thello\"\r") << c.name;
  }
}

TEST_F(SmsModemTest, SendWithoutConfirmationTimesOutInWholeSeconds) {
  // The reads after the first answer wait for the test deadline (2 s), then
  // the send sees more than its one second gone.
  open_with({{"AT!SSMS", "\r\n"}}, 2);
  int64_t start = 0, end = 0;
  int64_t before = calendar_seconds();
  EXPECT_FALSE(modem_.send_sms("1", "x", start, end, 1));
  int64_t waited = calendar_seconds() - before;
  EXPECT_EQ(modem_.lastError, "Send Timed Out Waiting for +CMGW:\n");
  EXPECT_GE(waited, 1);
  EXPECT_LE(waited, 4);
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
  int64_t before = calendar_seconds();
  EXPECT_FALSE(modem_.receive_sms(sender, body, foundAt, 1));
  EXPECT_EQ(modem_.lastError, "Operation Timed out during SMS Receive.");
  EXPECT_LE(calendar_seconds() - before, 3);
  size_t polls = 0;
  for (const std::string& c : peer_->commands()) polls += c == "AT!GSMS?2,0\r";
  EXPECT_GE(polls, 3u);  // polled about every 200 ms
}

TEST_F(SmsModemTest, ReceiveWithoutTimeOutStopsAtTheTestDeadline) {
  peer_ = serve_port(dir_, kPort, modem_like({{"AT!GSMS", "\r\nOK\r\n"}}));
  // The test deadline has already passed: the first poll without a message ends it.
  ASSERT_TRUE(modem_.open(kPort, 115200, 1, calendar_seconds() - 30));
  std::string sender, body;
  int64_t foundAt = 0;
  EXPECT_FALSE(modem_.receive_sms(sender, body, foundAt, 0));
  EXPECT_EQ(modem_.lastError, "Operation Timed out during SMS Receive.");
  size_t polls = 0;
  for (const std::string& c : peer_->commands()) polls += c == "AT!GSMS?2,0\r";
  EXPECT_EQ(polls, 1u);
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
    SmsModem modem;
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
  EXPECT_EQ(peer_->commands().back(), "AT!DSMS=3,0\r");

  SmsModem refused;
  std::unique_ptr<PtyPeer> peer = serve_port(dir_, kPort + 1, modem_like({{"AT!DSMS", "\r\nERROR\r\n"}}));
  ASSERT_TRUE(refused.open(kPort + 1, 115200, 10, calendar_seconds()));
  EXPECT_FALSE(refused.delete_messages());
  EXPECT_EQ(refused.lastError, "On command AT!DSMS=3,0, Com port returned ERROR");
}

TEST_F(SmsModemTest, WriteAfterHangUpCarriesThePortText) {
  open_with({});
  peer_->close();
  EXPECT_FALSE(modem_.delete_messages());
  EXPECT_FALSE(modem_.lastError.empty());
  EXPECT_EQ(modem_.lastError, modem_.port.lastError);
}

}  // namespace

}  // namespace smstest
