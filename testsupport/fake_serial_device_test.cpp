#include "testsupport/fake_serial_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace smstest {

namespace {

constexpr int kIo = 5;  // any code will do

class FakeDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.open("COM3"));
    ASSERT_TRUE(device_.set_timeouts({100, 0, 100, 50, 100}));
  }

  // One read request of up to `count` bytes; "" when nothing came.
  std::string read(int count = 64) {
    char buffer[64];
    int got = -1;
    last_ = device_.read(buffer, count, got);
    return std::string(buffer, static_cast<size_t>(got > 0 ? got : 0));
  }

  FakeClock clock_;
  FakeSerialDevice device_{clock_};
  ReadRequest last_ = ReadRequest::kDone;
};

TEST_F(FakeDeviceTest, ReadsReturnOneChunkEach) {
  device_.queue_chunks({"\r\nOK\r", "\n"}).queue_bytewise("ab").queue("longer chunk");
  const std::vector<std::string> expected = {"\r\nOK\r", "\n", "a", "b", "long", "er c", "hunk"};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(read(i < 4 ? 64 : 4), expected[i]) << i;
  }
  EXPECT_EQ(clock_.now_microseconds(), 0) << "due chunks come at once";
  EXPECT_EQ(device_.read_requests(), 7);
}

TEST_F(FakeDeviceTest, NulBytesAreDropped) {
  device_.queue(std::string("O\0K", 3))
      .queue(std::string("\0\0", 2))
      .queue(std::string("\0\r\n", 3));
  EXPECT_EQ(read(), "OK");
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kDone);
  EXPECT_EQ(read(2), "\r") << "a NUL counts toward the bytes asked for";
  EXPECT_EQ(read(), "\n");
}

TEST_F(FakeDeviceTest, AnEmptyRequestWaitsOutItsTimeOutOnTheClock) {
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kDone);
  EXPECT_EQ(clock_.now_microseconds(), 100000);

  // A chunk due within the time-out ends the wait when it comes.
  device_.queue("late", 30);
  EXPECT_EQ(read(), "late");
  EXPECT_EQ(clock_.now_microseconds(), 130000);

  // One due later than the time-out is left for a later request.
  device_.queue("later", 250);
  EXPECT_EQ(read(), "");
  EXPECT_EQ(read(), "");
  EXPECT_EQ(read(), "later");
  EXPECT_EQ(clock_.now_microseconds(), 380000);

  // The per-byte part of the time-out counts as well.
  ASSERT_TRUE(device_.set_timeouts({0, 10, 20, 0, 0}));
  EXPECT_EQ(read(8), "");
  EXPECT_EQ(clock_.now_microseconds(), 380000 + 100000);
}

TEST_F(FakeDeviceTest, WritesAreRecordedAndAnsweredByRules) {
  device_.on_write("AT+A", {"first"})
      .on_write("AT+A", {"second", "third"}, 500, 1, 200)
      .on_write("AT", {"any"}, 0, -1)
      .set_responder(
          [](const std::string& written) { return std::vector<std::string>{"echo " + written}; });
  ASSERT_TRUE(device_.start_write("AT+A\r", 5));
  EXPECT_EQ(read(), "first");
  ASSERT_TRUE(device_.start_write("AT+A\r", 5));
  EXPECT_EQ(read(), "");  // 100 ms of 500
  clock_.advance_milliseconds(400);
  EXPECT_EQ(read(), "second");
  EXPECT_EQ(read(), "");
  EXPECT_EQ(read(), "third");
  ASSERT_TRUE(device_.start_write("AT+A\r", 5));
  ASSERT_TRUE(device_.start_write("ATZ\r", 4));
  EXPECT_EQ(read(), "any");
  EXPECT_EQ(read(), "any");
  ASSERT_TRUE(device_.start_write("xyz", 3));
  EXPECT_EQ(read(), "echo xyz");

  EXPECT_EQ(device_.written(), "AT+A\rAT+A\rAT+A\rATZ\rxyz");
  const std::vector<std::string> writes = {"AT+A\r", "AT+A\r", "AT+A\r", "ATZ\r", "xyz"};
  EXPECT_EQ(device_.writes(), writes);
}

TEST_F(FakeDeviceTest, FailuresComeOnceWithTheirCode) {
  device_.fail_once(FakeFailure::kReadRefused, kIo)
      .fail_once(FakeFailure::kReadWaitFailed, kIo + 1)
      .fail_once(FakeFailure::kWriteRefused, 0)
      .queue("data");
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kRefused);
  EXPECT_EQ(device_.error_code(), kIo);
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kWaitFailed);
  EXPECT_EQ(device_.error_code(), kIo + 1);
  EXPECT_EQ(read(), "data");
  EXPECT_EQ(last_, ReadRequest::kDone);

  EXPECT_FALSE(device_.start_write("x", 1));
  EXPECT_EQ(device_.error_code(), 0);
  EXPECT_TRUE(device_.start_write("y", 1));
  EXPECT_EQ(device_.written(), "y");

  FakeSerialDevice other(clock_);
  other.fail_once(FakeFailure::kOpen, kIo).fail_once(FakeFailure::kConfigure, kIo + 2);
  EXPECT_FALSE(other.open("COM4"));
  EXPECT_EQ(other.error_code(), kIo);
  EXPECT_FALSE(other.is_open());
  ASSERT_TRUE(other.open("COM4"));
  EXPECT_FALSE(other.configure(9600));
  EXPECT_EQ(other.error_code(), kIo + 2);
  EXPECT_TRUE(other.configure(9600));
  EXPECT_EQ(other.baud_rate(), 9600);
  EXPECT_EQ(other.opens(), 2);
}

TEST_F(FakeDeviceTest, HangUpFailsReadsAfterTheDueBytesAndRefusesWrites) {
  device_.queue("before").hang_up(kIo, 50).queue("after", 80);
  EXPECT_EQ(read(), "before");
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kWaitFailed);
  EXPECT_EQ(device_.error_code(), kIo);
  EXPECT_EQ(clock_.now_microseconds(), 50000) << "the request ends with the hang-up";
  EXPECT_FALSE(device_.start_write("x", 1));
  EXPECT_EQ(device_.error_code(), kIo);
}

TEST_F(FakeDeviceTest, ClosedDeviceRefusesEverything) {
  device_.close();
  EXPECT_FALSE(device_.is_open());
  EXPECT_EQ(read(), "");
  EXPECT_EQ(last_, ReadRequest::kRefused);
  EXPECT_EQ(device_.error_code(), FakeSerialDevice::kBadHandle);
  EXPECT_FALSE(device_.start_write("x", 1));
  EXPECT_FALSE(device_.purge());
  EXPECT_EQ(device_.written(), "");
}

TEST_F(FakeDeviceTest, PurgeDropsOnlyWhatHasArrived) {
  device_.queue("stale").queue("on its way", 20);
  ASSERT_TRUE(device_.purge());
  EXPECT_EQ(device_.pending_chunks(), 1u);
  EXPECT_EQ(read(), "on its way");
}

TEST_F(FakeDeviceTest, ModemLikeAnswersByPrefixOkOtherwise) {
  device_.set_responder(
      modem_like({{"AT+CMGS", "\r\n+CMGS: 1\r\n"}, {"AT+CM", "\r\nERROR\r\n"}, {"AT+Q", ""}}));
  struct Row {
    const char* command;
    const char* answer;  // "" for silence
  };
  const Row rows[] = {
      {"AT+CMGS=1\r", "\r\n+CMGS: 1\r\n"},  // the first matching prefix wins
      {"AT+CMGL\r", "\r\nERROR\r\n"},      {"AT+Q\r", ""}, {"ATE0\r", "\r\nOK\r\n"},
      {"at+cmgs\r", "\r\nOK\r\n"},  // prefixes match case and all
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(
        device_.start_write(row.command, static_cast<int>(std::string(row.command).size())));
    EXPECT_EQ(read(), row.answer) << row.command;
  }
}

}  // namespace

}  // namespace smstest
