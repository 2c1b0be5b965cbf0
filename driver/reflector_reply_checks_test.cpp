// The reflector on a fake modem: a sender that is no phone number, or a
// received text that would end the quoted argument of the send command, is
// never written to the modem.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/test_sequences.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

TEST(ReplyChecks, DialableNumbers) {
  struct Row {
    const char* number;
    bool dialable;
  } rows[] = {
      {"5551234", true},
      {"+15551234567", true},
      {"1", true},
      {"12345678901234567890", true},
      {"+12345678901234567890", true},
      {"123456789012345678901", false},  // 21 digits
      {"", false},
      {"+", false},
      {"BANK", false},
      {"555 1234", false},
      {"5551234\"", false},
      {"5551234,5550000", false},
      {"++5551234", false},
      {"555-1234", false},
  };
  for (const Row& row : rows) EXPECT_EQ(dialable_number(row.number), row.dialable) << row.number;
}

TEST(ReplyChecks, QuotableTexts) {
  struct Row {
    std::string text;
    bool quotable;
  } rows[] = {
      {"rEfLeCt1Thello there, friend!", true},
      {"", true},
      {"tab\tand 'single' quotes", true},
      {"say \"hi\"", false},
      {"line\rend", false},
      {"line\nfeed", false},
      {"ctrl-z \x1a", false},
      {"esc \x1b", false},
      {std::string("nul \0 inside", 12), false},
  };
  for (const Row& row : rows) EXPECT_EQ(quotable_text(row.text), row.quotable) << row.text;
}

class HostileMessageTest : public ::testing::Test {
 protected:
  // Runs the reflector on a fake modem that reports a message from
  // `sender` with `body`.
  int reflect(const std::string& sender, const std::string& body) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    session_.reset(new SmsModem(std::move(owned), clock_));
    SmsModem& session = *session_;
    const std::string ok = "\r\nOK\r\n";
    device_->answer_handshake()
        .on_write("AT!DASMS\r", {ok})
        .on_write("AT!GSMS?2,0\r",
                  {"\r\nAddress: " + sender + "\r\nMsg Body: " + body + "\r\n\r\nOK\r\n"})
        .on_write("AT!DSMS=3,0\r", {ok})
        .on_write("AT!SSMS", {"\r\n+CMGS: 1\r\n\r\nOK\r\n"});
    EXPECT_TRUE(session.open(5, 115200, 20, clock_.steady_seconds()));
    params_.testTimeout = 20;
    result_.resultPath = dir_ + "/results.csv";
    TestRun run{params_, result_, dir_ + "/status.txt", "tImE1T", 0, clock_};
    ::testing::internal::CaptureStderr();
    int code = run_reflector(run, session);
    err_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  bool reply_written() const {
    for (const std::string& w : device_->writes()) {
      if (w.rfind("AT!SSMS", 0) == 0) return true;
    }
    return false;
  }

  FakeClock clock_;
  std::unique_ptr<SmsModem> session_;
  FakeSerialDevice* device_ = nullptr;  // owned by the session
  std::string dir_ = make_temp_dir("reflect");
  SmsTestParams params_;
  SmsTestResult result_{dir_ + "/status.txt", clock_};
  std::string err_;
};

TEST_F(HostileMessageTest, RefusedRepliesAreNeverWritten) {
  struct Row {
    const char* name;
    std::string sender;
    std::string body;
    const char* text;
  } rows[] = {
      {"alphanumeric sender", "BANK", "hi", "Refusing to reply: sender is not a phone number\n"},
      {"sender with a command", "5551234\",\"x\";ATD5550000", "hi",
       "Refusing to reply: sender is not a phone number\n"},
      {"quote in the body", "5551234", "x\"\rAT+CFUN=0\r",
       "Refusing to reply: message holds control characters or quotes\n"},
      {"Ctrl-Z in the body", "5551234", "x\x1a",
       "Refusing to reply: message holds control characters or quotes\n"},
      {"ESC in the body", "5551234", "x\x1b",
       "Refusing to reply: message holds control characters or quotes\n"},
      {"LF in the body", "5551234", "two\nlines",
       "Refusing to reply: message holds control characters or quotes\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(reflect(row.sender, row.body), 2);
    EXPECT_FALSE(reply_written());
    EXPECT_EQ(err_, std::string("New Message Found.\nDeleting Message: ") + row.text + "\n");
    EXPECT_EQ(read_file(dir_ + "/status.txt"), std::string("2 ") + row.text + "\n");
  }
  // One result line each, as for a refused reply.
  EXPECT_EQ(read_file(dir_ + "/results.csv").size(),
            6 * std::string("SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n")
                    .size());
}

TEST_F(HostileMessageTest, APlainMessageIsAnswered) {
  EXPECT_EQ(reflect("+15551234", "hello, there"), 0);
  EXPECT_TRUE(reply_written());
  EXPECT_EQ(read_file(dir_ + "/status.txt"), "0 SUCCESS\n");
}

}  // namespace

}  // namespace smstest
