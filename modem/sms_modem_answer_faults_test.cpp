// The session on the fake device and the fake clock, where earlier versions
// lost data, hung or reported success falsely: limits on the steady clock,
// stale input before a command, echo that ATE0 did not turn off, "ERROR"
// inside a message body, reports that arrive in pieces, interrupted waits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/interrupt.h"
#include "modem/sms_modem.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const char kPoll[] = "AT!GSMS?2,0\r";

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
      FakeClock clock;
      clock.step_calendar_at(500, step);
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
      FakeClock clock;
      clock.step_calendar_at(500, step);
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

// A modem that ignored "ATE0" sends each command back before its answer.
// The echo repeats the message text, and the text is no answer.
TEST(SessionEcho, TheEchoedTextNeitherConfirmsNorFailsASend) {
  struct Row {
    const char* name;
    const char* text;
    std::vector<std::string> chunks;  // echo and answer, one read each
    int gapMs;
    int timeout;  // of send_sms
    bool ok;
    const char* lastError;
  };
  const std::string echo = "AT!SSMS=0,1,1,\"x OK y\"\r";
  const std::string echoError = "AT!SSMS=0,1,1,\"x ERROR y\"\r";
  const std::string confirmed = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
  const Row rows[] = {
      {"OK in the text, never confirmed",
       "x OK y",
       {echo},
       0,
       -1,
       false,
       "Send Timed Out Waiting for +CMGW:\n"},
      {"ERROR in the text, confirmed late", "x ERROR y", {echoError, confirmed}, 1500, 5, true, ""},
      {"echo and answer in one piece", "x ERROR y", {echoError + confirmed}, 0, -1, true, ""},
      // The echo arrives in pieces that end at blanks of the text.
      {"echo in pieces",
       "x OK y",
       {"AT!SSMS=0,1,1,\"x ", "OK ", "y\"\r", "\r\nERROR\r\n"},
       300,
       5,
       false,
       "On sending SMS Text, Com port returned ERROR"},
      {"only the first answer after the echo counts",
       "x OK y",
       {echo, "\r\n", confirmed},
       300,
       -1,
       false,
       "Send Timed Out Waiting for +CMGW:\n"},
      // The rest of the echo never comes: what came is echo all the same.
      {"echo cut short",
       "x OK y",
       {"AT!SSMS=0,1,1,\"x OK "},
       0,
       -1,
       false,
       "Send Timed Out Waiting for +CMGW:\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeClock clock;
    Session s(clock, 4);
    ASSERT_TRUE(s.opened);
    s.device->on_write("AT!SSMS", row.chunks, 0, 1, row.gapMs);
    int64_t start = 0, end = 0;
    EXPECT_EQ(s.modem->send_sms("1", row.text, start, end, row.timeout), row.ok);
    EXPECT_EQ(s.modem->lastError, row.lastError);
  }
}

// The probe, the poll and the delete look past the echo too.
TEST(SessionEcho, EchoedCommandsAnswerAsWithoutEcho) {
  FakeClock clock;
  std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
  FakeSerialDevice& device = *owned;
  SmsModem modem(std::move(owned), clock);
  device.on_write("AT\r", {"AT\r\r\nOK\r\n"}, 0, 2)
      .on_write("ATE0\r", {"ATE0\r\r\nOK\r\n"})
      .on_write("AT!DASMS\r", {"AT!DASMS\r", "\r\nOK\r\n"}, 0, 1, 200)
      .on_write(kPoll, {"AT!GSMS?2,0\r\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nOK\r\n"})
      .on_write("AT!DSMS=3,0\r", {"AT!DSMS=3,0\r", "\r\nERROR\r\n"}, 0, 1, 200);
  ASSERT_TRUE(modem.open(7, 115200, 10, clock.steady_seconds()));
  EXPECT_EQ(modem.lastError, "");
  std::string sender, body;
  int64_t foundAt = 0;
  ASSERT_TRUE(modem.receive_sms(sender, body, foundAt, 5)) << modem.lastError;
  EXPECT_EQ(sender, "1");
  EXPECT_EQ(body, "hi");
  EXPECT_FALSE(modem.delete_messages());
  EXPECT_EQ(modem.lastError, "On command AT!DSMS=3,0, Com port returned ERROR");
  EXPECT_EQ(device.pending_chunks(), 0u);
}

// "ERROR" in a message body (or sender) is text; only a result outside the
// reported message is the modem's.
TEST(SessionReceive, ErrorInsideTheMessageIsText) {
  struct Row {
    const char* name;
    std::string report;
    bool found;
    const char* sender;
    const char* body;
  };
  const Row rows[] = {
      {"in the body", "\r\nAddress: 1\r\nMsg Body: ERROR 42\r\n\r\nOK\r\n", true, "1", "ERROR 42"},
      {"in the sender", "\r\nAddress: ERROR\r\nMsg Body: hi\r\n\r\nOK\r\n", true, "ERROR", "hi"},
      {"after the message", "\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nERROR\r\n", false, "", ""},
      {"before the message", "\r\nERROR\r\nAddress: 1\r\nMsg Body: hi\r\n\r\nOK\r\n", false, "",
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeClock clock;
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->on_write(kPoll, {row.report}, 0, -1);
    std::string sender, body;
    int64_t foundAt = 0;
    EXPECT_EQ(s.modem->receive_sms(sender, body, foundAt, 2), row.found) << s.modem->lastError;
    EXPECT_EQ(sender, row.sender);
    EXPECT_EQ(body, row.body);
    if (!row.found) {
      EXPECT_EQ(s.modem->lastError, "Operation Timed out during SMS Receive.");
    }
  }
}

// A report in pieces is read on until it is whole, within the receive's
// deadline, also across the end of the 40960-byte buffer.
TEST(SessionReceive, ReportsInPiecesArePickedUp) {
  const std::string head = "\r\n!GSMS: 1,\"REC UNREAD\"\r\nAddress: 5551234\r\nTime Stamp: x\r\n";
  const std::string tail = "Msg Body: tImE1Thello\r\n\r\nOK\r\n";
  std::string padding;
  while (padding.size() < 40900) padding += "\r\nInfo: ....................";
  std::string longPadding = padding + padding;
  struct Row {
    const char* name;
    std::vector<std::string> chunks;
    int gapMs;
  };
  const Row rows[] = {
      {"split before the body line", {head, tail}, 700},
      {"final OK late", {head + "Msg Body: tImE1Thello\r\n", "\r\nOK\r\n"}, 1500},
      {"body line in two", {head + "Msg Body: tImE1T", "hello\r\n\r\nOK\r\n"}, 400},
      {"one byte a read", {}, 0},
      {"across the buffer's end", {padding + head + tail}, 0},
      {"far past the buffer's end", {longPadding + "\r\n" + head + tail}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeClock clock;
    Session s(clock);
    ASSERT_TRUE(s.opened);
    std::vector<std::string> chunks = row.chunks;
    if (chunks.empty()) {
      for (char c : head + tail) chunks.push_back(std::string(1, c));
    }
    s.device->on_write(kPoll, chunks, 0, 1, row.gapMs);
    std::string sender, body;
    int64_t foundAt = 0;
    ASSERT_TRUE(s.modem->receive_sms(sender, body, foundAt, 10)) << s.modem->lastError;
    EXPECT_EQ(sender, "5551234");
    EXPECT_EQ(body, "tImE1Thello");
    // Read to its final result: at most the result's own line end is left.
    char rest[64];
    int got = 0;
    s.device->read_waiting(rest, sizeof rest, got);
    EXPECT_EQ(std::string(rest, static_cast<size_t>(got)).find_first_not_of("\r\n"),
              std::string::npos);
    EXPECT_EQ(s.device->pending_chunks(), 0u);
  }
}

TEST(SessionReceive, AModemThatNeverStopsTalkingIsHeardUntilTheDeadline) {
  FakeClock clock;
  Session s(clock, 3);
  ASSERT_TRUE(s.opened);
  // 8 s of bytes without a line end, 40 KB a second.
  std::vector<std::string> flood(800, std::string(400, 'z'));
  s.device->on_write(kPoll, flood, 0, 1, 10);
  std::string sender, body;
  int64_t foundAt = 0;
  EXPECT_FALSE(s.modem->receive_sms(sender, body, foundAt, 2));
  EXPECT_EQ(s.modem->lastError, "Operation Timed out during SMS Receive.");
  EXPECT_LE(clock.now_microseconds(), 4100000);
}

TEST(SessionReceive, AReportWhoseBodyNeverComesFailsAtTheDeadline) {
  FakeClock clock;
  Session s(clock, 3);
  ASSERT_TRUE(s.opened);
  s.device->on_write(kPoll, {"\r\nAddress: 1\r\nTime Stamp: x\r\n"});
  std::string sender, body;
  int64_t foundAt = 0;
  const int64_t before = clock.now_microseconds();
  EXPECT_FALSE(s.modem->receive_sms(sender, body, foundAt, 3));
  EXPECT_EQ(s.modem->lastError, "Unexpected SMS Message getting message body.");
  EXPECT_EQ(sender, "1");
  EXPECT_LE(clock.now_microseconds() - before, 4000000);
}

// The end of an answer that comes after its read would have ended is still
// that answer's: the delete's late OK must not confirm a refused reply.
TEST(SessionLateAnswers, AnAnswerIsReadToItsFinalResult) {
  FakeClock clock;
  Session s(clock);
  ASSERT_TRUE(s.opened);
  s.device->on_write("AT!DSMS=3,0\r", {"\r\n", "OK\r\n"}, 0, 1, 300)
      .on_write("AT!SSMS", {kError}, 1000);
  EXPECT_TRUE(s.modem->delete_messages());
  EXPECT_EQ(s.device->pending_chunks(), 0u);
  int64_t start = 0, end = 0;
  EXPECT_FALSE(s.modem->send_sms("1", "rEfLeCt1Thi", start, end, -1));
  EXPECT_EQ(s.modem->lastError, "On sending SMS Text, Com port returned ERROR");
}

TEST(SessionLateAnswers, AnAnswerWithoutFinalResultCostsTwoSecondsAtMost) {
  FakeClock clock;
  Session s(clock);
  ASSERT_TRUE(s.opened);
  s.device->on_write("AT!DSMS=3,0\r", {"\r\nwhatever\r\n"});
  const int64_t before = clock.now_microseconds();
  EXPECT_TRUE(s.modem->delete_messages()) << s.modem->lastError;
  const int64_t waited = clock.now_microseconds() - before;
  EXPECT_GE(waited, 1000000);
  EXPECT_LE(waited, 2100000);
}

TEST(SessionInterrupt, SendAndReceiveEndWithinAboutATenthOfASecond) {
  {
    // Polls without a message, 10 s of time left.
    SignalAt clock(2000, 15);
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->on_write(kPoll, {kOk}, 0, -1);
    std::string sender, body;
    int64_t foundAt = 0;
    EXPECT_FALSE(s.modem->receive_sms(sender, body, foundAt, 10));
    EXPECT_EQ(s.modem->lastError, "Interrupted by signal 15\n");
    EXPECT_LE(clock.now_microseconds(), 2200000);
  }
  {
    // A send whose confirmation never comes, 30 s of time left.
    SignalAt clock(1000, 1);
    Session s(clock);
    ASSERT_TRUE(s.opened);
    s.device->on_write("AT!SSMS", {"\r\n"});
    int64_t start = 0, end = 0;
    EXPECT_FALSE(s.modem->send_sms("1", "x", start, end, 30));
    EXPECT_EQ(s.modem->lastError, "Interrupted by signal 1\n");
    EXPECT_LE(clock.now_microseconds(), 1200000);
  }
}

}  // namespace

}  // namespace smstest

namespace smstest {

namespace {

// A modem that answers every command 1.5 s late: ATE0's late "OK" comes
// after its read gave up, and must not pass for the answer to AT!DASMS, nor
// each answer after it for the one before's: a send the modem refuses
// fails.
TEST(LaggingModem, ALateAnswerIsNotTheNextCommandsAnswer) {
  for (bool supported : {true, false}) {
    SCOPED_TRACE(supported);
    FakeClock clock;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock));
    FakeSerialDevice* device = owned.get();
    SmsModem modem(std::move(owned), clock);
    device->on_write("AT\r", {kOk}, 1500, 2)
        .on_write("ATE0\r", {kOk}, 1500)
        .on_write("AT!DASMS\r", {supported ? kOk : kError}, 1500)
        .on_write("AT!SSMS", {kError}, 1500);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(modem.open(7, 115200, 60, clock.steady_seconds())) << modem.lastError;
    // The probe's own answer is the one read.
    EXPECT_EQ(modem.lastError, supported ? "" : "AT!DASMS is not supported\n");
    int64_t sendStart = 0, sendEnd = 0;
    EXPECT_FALSE(modem.send_sms("5550100", "tImE1Thello", sendStart, sendEnd, 30));
    EXPECT_EQ(modem.lastError, "On sending SMS Text, Com port returned ERROR");
    ::testing::internal::GetCapturedStderr();
  }
}

}  // namespace

}  // namespace smstest
