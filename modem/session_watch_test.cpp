// Two standard sessions on two scripted fake devices and one fake clock:
// while the receiving session waits, the session it watches is read in
// turn, so that a line that arrives on the sending modem is taken and timed
// when it arrives, not when that port is next used.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "modem/standard_session.h"
#include "modem/text_format.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";

// A modem with an empty store until `arrivesUs` (never when negative), then
// message 4, which a listing shows.
std::vector<std::string> answer(const FakeClock& clock, int64_t arrivesUs,
                                const std::string& written) {
  const bool held = arrivesUs >= 0 && clock.now_microseconds() >= arrivesUs;
  if (written == "AT+CPMS?\r") {
    return {std::string("\r\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\r\n") + kOk};
  }
  if (written == "AT+CMGL=\"ALL\"\r" && held) {
    return {std::string("\r\n+CMGL: 4,\"REC UNREAD\",\"+15550103\",,\"24/01/01,12:00:00+00\"\r\n"
                        "tImE1Thello\r\n") +
            kOk};
  }
  if (written == "AT+CMGR=4\r" && held) {
    return {std::string("\r\n+CMGR: \"REC UNREAD\",\"+15550103\",,\"24/01/01,12:00:00+00\"\r\n"
                        "tImE1Thello\r\n") +
            kOk};
  }
  if (written == "AT+CMGR=4\r") return {"\r\n+CMS ERROR: 321\r\n"};
  return {kOk};
}

class SessionWatchTest : public ::testing::Test {
 protected:
  SessionWatchTest() {
    from_ = make(fromDevice_, nullptr);
    to_ = make(toDevice_, &arrivesUs_);
    EXPECT_TRUE(from_->open(3, 115200, 60, clock_.steady_seconds())) << from_->last_error();
    EXPECT_TRUE(to_->open(4, 115200, 60, clock_.steady_seconds())) << to_->last_error();
    start_ = clock_.now_microseconds();
    arrivesUs_ = start_ + kArrivesMs * 1000;
  }

  std::unique_ptr<StandardSession> make(FakeSerialDevice*& device, const int64_t* arrivesUs) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device = owned.get();
    device->set_responder([this, arrivesUs](const std::string& w) {
      return answer(clock_, arrivesUs != nullptr ? *arrivesUs : -1, w);
    });
    return std::unique_ptr<StandardSession>(new StandardSession(
        std::unique_ptr<MessageFormat>(new TextFormat), std::move(owned), clock_));
  }

  static constexpr int kArrivesMs = 3000;
  int64_t start_ = 0;
  int64_t arrivesUs_ = -1;

  FakeClock clock_;
  FakeSerialDevice* fromDevice_ = nullptr;
  FakeSerialDevice* toDevice_ = nullptr;
  std::unique_ptr<StandardSession> from_;
  std::unique_ptr<StandardSession> to_;
};

TEST_F(SessionWatchTest, ALineOnTheSendingPortIsTimedWhenItArrives) {
  // A status report on the sending modem at an odd moment, while the
  // receiving one waits for its next listing, which will show the message.
  const int64_t start = start_;
  fromDevice_->queue("\r\n+CREG: 5\r\n", 0);
  fromDevice_->queue("\r\n+CDSI: \"SM\",9\r\n", 1234);

  to_->watch_also(from_.get());
  ReceivedMessage message;
  ASSERT_TRUE(to_->receive(message, 30)) << to_->last_error();
  EXPECT_EQ(message.text, "tImE1Thello");
  // Found by the first listing after its arrival.
  EXPECT_GE(message.foundAt, arrivesUs_);
  EXPECT_LE(message.foundAt, arrivesUs_ + 1100000);

  Notice notice;
  ASSERT_TRUE(from_->take_notice(notice));
  EXPECT_EQ(notice.kind, NoticeKind::kRegistration);
  EXPECT_EQ(notice.status, 5);
  ASSERT_TRUE(from_->take_notice(notice));
  EXPECT_EQ(notice.kind, NoticeKind::kStatusReport);
  EXPECT_EQ(notice.index, 9);
  // Within a millisecond of its arrival (the counter runs in microseconds).
  EXPECT_GE(notice.reading, start + 1234000);
  EXPECT_LE(notice.reading, start + 1234000 + 1000);
  EXPECT_FALSE(from_->take_notice(notice));
  // The receiving modem was asked nothing on the sending one's behalf.
  for (const std::string& w : fromDevice_->writes())
    EXPECT_EQ(w.find("AT+CMGR"), std::string::npos);
}

TEST_F(SessionWatchTest, UnwatchedTheLineWaitsUntilThePortIsRead) {
  fromDevice_->queue("\r\n+CDSI: \"SM\",9\r\n", 1234);
  const int64_t start = start_;
  ReceivedMessage message;
  ASSERT_TRUE(to_->receive(message, 30)) << to_->last_error();
  Notice notice;
  EXPECT_FALSE(from_->take_notice(notice));
  // Read only now, and timed now.
  ASSERT_TRUE(from_->poll(from_->now_ms() + 1));
  ASSERT_TRUE(from_->take_notice(notice));
  EXPECT_GE(notice.reading, start + kArrivesMs * 1000);
}

}  // namespace

}  // namespace smstest
