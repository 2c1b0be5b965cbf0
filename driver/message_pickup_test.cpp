#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "driver/test_sequences.h"
#include "modem/pdu_format.h"
#include "modem/standard_session.h"
#include "pdu/concatenation.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_submit.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";

// A session in PDU mode gets its message as a hex PDU, which it decodes
// after the pickup's delete; the pickup reports.
class PduPickupTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir("pickup"); }

  // Runs the pickup against a modem that holds `pdu` at index 1 once the
  // session has opened.
  bool pick_up(const std::string& pdu) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    owned->set_responder([this, pdu](const std::string& written) -> std::vector<std::string> {
      if (written == "AT+CMGL=4\r") {
        if (!held_) return {kOk};
        return {format("\r\n+CMGL: 1,0,,%d\r\n%s\r\n%s", static_cast<int>(pdu.size() / 2 - 1),
                       pdu.c_str(), kOk)};
      }
      if (written == "AT+CMGR=1\r") {
        return {format("\r\n+CMGR: 0,,%d\r\n%s\r\n%s", static_cast<int>(pdu.size() / 2 - 1),
                       pdu.c_str(), kOk)};
      }
      return {kOk};
    });
    session_.reset(new StandardSession(std::unique_ptr<MessageFormat>(new PduFormat),
                                       std::move(owned), clock_));
    session_->open_log((dir_ + "/pickup.log").c_str());
    held_ = false;
    EXPECT_TRUE(session_->open(3, 115200, 10, clock_.steady_seconds())) << session_->last_error();
    held_ = true;
    TestRun run{params_, result_, dir_ + "/status.txt", "tImE1T", 0, clock_};
    result_.resultPath = dir_ + "/results.csv";
    return pick_up_message(run, *session_, 5, message_);
  }

  std::string dir_;
  FakeClock clock_;
  bool held_ = false;
  std::unique_ptr<StandardSession> session_;
  SmsTestParams params_;
  SmsTestResult result_{"/nonexistent/status"};
  ReceivedMessage message_;
};

TEST_F(PduPickupTest, DecodesSenderAndText) {
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(pick_up("00040B912143658709F100006050403020100005E8329BFD06"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "New Message Found.\nDeleting Message: ");
  EXPECT_EQ(message_.sender, "+12345678901");
  EXPECT_EQ(message_.text, "hello");
}

TEST_F(PduPickupTest, UndecodableBodyFailsTheRun) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(pick_up("00"));
  std::string err = ::testing::internal::GetCapturedStderr();
  const char kTrace[] = "decoder error, address exceeds data boundary, PDU too short\n";
  EXPECT_EQ(
      err, std::string("New Message Found.\nDeleting Message: ") + kTrace + "Cannot decode 00\n\n");
  EXPECT_EQ(read_file(dir_ + "/status.txt"), "2 Cannot decode 00\n\n");
  EXPECT_EQ(read_file(dir_ + "/results.csv"),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
  // The decoder's trace lands in the receiving modem's debug log as well,
  // after the delete.
  const std::string log = read_file(dir_ + "/pickup.log");
  const size_t trace = log.find(kTrace);
  ASSERT_NE(trace, std::string::npos) << log;
  EXPECT_LT(log.find("AT+CMGD=1\r"), trace) << log;
}

// An SMS-DELIVER from +12345678901 carrying part `sequence` of `total` of
// the concatenated message `reference`, its text `text` in 7-bit.
std::string deliver_part(int reference, int total, int sequence, const std::string& text) {
  EncodedPdu submit;
  std::string error;
  EXPECT_TRUE(encode_submit_part("+1", concatenation_header(8, reference, total, sequence), false,
                                 text, std::u16string(), submit, error, SubmitOptions()))
      << error;
  // TP-UDL and the user data end the SMS-SUBMIT as they end the SMS-DELIVER.
  const size_t octets = (static_cast<size_t>(submit.userDataLength) * 7 + 7) / 8;
  const std::string userData = submit.hex.substr(submit.hex.size() - 2 * (1 + octets));
  // First octet 0x44: SMS-DELIVER with TP-UDHI and TP-MMS.
  return "00440B912143658709F1000062109030000000" + userData;
}

// The pickup of a message in parts from a PDU-mode modem whose store fills
// as the parts arrive (found by listing), on the fake clock.
struct PartModem {
  struct Stored {
    std::string pdu;
    int64_t arrivesMs = 0;
  };

  PartModem() { dir_ = make_temp_dir("parts"); }
  PartModem(const PartModem&) = delete;
  PartModem& operator=(const PartModem&) = delete;

  bool holds(int index) const {
    auto at = store_.find(index);
    return at != store_.end() && at->second.arrivesMs * 1000 <= clock_.now_microseconds() &&
           deleted_.count(index) == 0;
  }

  std::vector<std::string> respond(const std::string& written) {
    if (written == "AT+CMGL=4\r") {
      std::string lines;
      for (const auto& entry : store_) {
        if (!opened_ || !holds(entry.first)) continue;
        lines +=
            format("+CMGL: %d,0,,%d\r\n%s\r\n", entry.first,
                   static_cast<int>(entry.second.pdu.size() / 2 - 1), entry.second.pdu.c_str());
      }
      return {lines.empty() ? kOk : "\r\n" + lines + kOk};
    }
    if (written.rfind("AT+CMGR=", 0) == 0) {
      const int index = std::atoi(written.c_str() + 8);
      if (!holds(index)) return {"\r\n+CMS ERROR: 321\r\n"};
      const std::string& pdu = store_[index].pdu;
      return {format("\r\n+CMGR: 0,,%d\r\n%s\r\n%s", static_cast<int>(pdu.size() / 2 - 1),
                     pdu.c_str(), kOk)};
    }
    if (written.rfind("AT+CMGS=", 0) == 0) return {"\r\n> "};
    if (!written.empty() && written.back() == 0x1A) {
      payloads_.push_back(written.substr(0, written.size() - 1));
      return {format("\r\n+CMGS: %d\r\n\r\nOK\r\n", static_cast<int>(payloads_.size()))};
    }
    if (written.rfind("AT+CMGD=", 0) == 0) {
      const int index = std::atoi(written.c_str() + 8);
      ++deletes_[index];
      deleted_.insert(index);
    }
    return {kOk};
  }

  // Opens the session, then picks up with a time-out of `timeout` seconds
  // (or, with `reflect`, runs the reflector in PDU mode).
  bool pick_up(int timeout, bool reflect = false) {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    owned->set_responder([this](const std::string& written) { return respond(written); });
    session_.reset(new StandardSession(std::unique_ptr<MessageFormat>(new PduFormat),
                                       std::move(owned), clock_));
    session_->open_log((dir_ + "/parts.log").c_str());
    EXPECT_TRUE(session_->open(3, 115200, 60, clock_.steady_seconds())) << session_->last_error();
    opened_ = true;
    start_ = clock_.now_microseconds() / 1000;
    for (auto& entry : store_) entry.second.arrivesMs += start_;
    TestRun run{params_, result_, dir_ + "/status.txt", "tImE1T", 0, clock_};
    result_.resultPath = dir_ + "/results.csv";
    ::testing::internal::CaptureStderr();
    run.checkReplyText = false;
    const bool picked = reflect ? run_reflector(run, *session_) == 0
                                : pick_up_message(run, *session_, timeout, message_);
    stderr_ = ::testing::internal::GetCapturedStderr();
    return picked;
  }

  std::string dir_;
  FakeClock clock_;
  std::map<int, Stored> store_;
  std::set<int> deleted_;
  std::map<int, int> deletes_;
  std::vector<std::string> payloads_;  // the sends' PDUs
  bool opened_ = false;
  int64_t start_ = 0;
  std::unique_ptr<StandardSession> session_;
  SmsTestParams params_;
  SmsTestResult result_{"/nonexistent/status"};
  ReceivedMessage message_;
  std::string stderr_;
};

TEST(PartPickup, PartsInAnyOrderMakeTheMessage) {
  struct Arrival {
    int sequence;
    int64_t ms;  // after the open
  };
  struct Row {
    const char* name;
    std::vector<Arrival> arrivals;
    int outOfOrder;
    int duplicates;
  };
  const Row rows[] = {
      {"InOrder", {{1, 100}, {2, 1500}, {3, 2500}}, 0, 0},
      {"Reversed", {{3, 100}, {2, 1500}, {1, 2500}}, 2, 0},
      {"MiddleLast", {{1, 100}, {3, 1500}, {2, 2500}}, 1, 0},
      {"SecondTwice", {{1, 100}, {2, 1500}, {2, 2000}, {3, 3500}}, 0, 1},
  };
  const std::string texts[] = {std::string(153, 'a'), std::string(153, 'b'), "the end"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PartModem fixture;
    int index = 5;
    for (const Arrival& arrival : row.arrivals) {
      fixture.store_[index++] = {deliver_part(77, 3, arrival.sequence, texts[arrival.sequence - 1]),
                                 arrival.ms};
    }
    ASSERT_TRUE(fixture.pick_up(30)) << fixture.session_->last_error();
    EXPECT_EQ(fixture.message_.text, texts[0] + texts[1] + texts[2]);
    EXPECT_EQ(fixture.message_.sender, "+12345678901");
    // Each message taken is deleted once, duplicates too.
    for (int k = 5; k < index; ++k) EXPECT_EQ(fixture.deletes_[k], 1) << k;
    const RunNotes& notes = fixture.result_.notes;
    ASSERT_TRUE(notes.hasParts);
    EXPECT_EQ(notes.partsExpected, 3);
    EXPECT_EQ(notes.parts_received(), 3);
    EXPECT_EQ(notes.partsOutOfOrder, row.outOfOrder);
    EXPECT_EQ(notes.partsDuplicated, row.duplicates);
    // Found when its last part was found: by the listing about a second
    // after its arrival.
    int64_t frequency = 0;
    ASSERT_TRUE(fixture.clock_.read_counter_frequency(frequency));
    const int64_t lastArrival = row.arrivals.back().ms;
    ASSERT_TRUE(notes.hasFound);
    EXPECT_EQ(notes.messageFound, fixture.message_.foundAt);
    const int64_t foundMs = notes.lastPartFound * 1000 / frequency - fixture.start_;
    EXPECT_GE(foundMs, lastArrival);
    EXPECT_LE(foundMs, lastArrival + 1100);
    EXPECT_EQ(notes.lastPartFound, fixture.message_.foundAt);
    EXPECT_LT(notes.firstPartFound, notes.lastPartFound);
    for (int64_t found : notes.partsFound) EXPECT_NE(found, kNoReading);
    if (row.duplicates > 0) {
      EXPECT_NE(fixture.stderr_.find("Part 2 of 3 again: dropped.\n"), std::string::npos)
          << fixture.stderr_;
    }
  }
}

TEST(PartPickup, AMessageStillMissingAPartAtTheDeadlineIsIncomplete) {
  PartModem m;
  m.store_[1] = {deliver_part(9, 3, 1, "first "), 100};
  m.store_[2] = {deliver_part(9, 3, 3, "third"), 200};
  EXPECT_FALSE(m.pick_up(5));
  EXPECT_EQ(read_file(m.dir_ + "/status.txt"), "2 Incomplete message: 2 of 3 parts\n\n");
  const RunNotes& notes = m.result_.notes;
  ASSERT_TRUE(notes.hasParts);
  EXPECT_EQ(notes.partsExpected, 3);
  EXPECT_EQ(notes.parts_received(), 2);
  ASSERT_EQ(notes.partsFound.size(), 3u);
  EXPECT_NE(notes.partsFound[0], kNoReading);
  EXPECT_EQ(notes.partsFound[1], kNoReading);
  EXPECT_NE(notes.partsFound[2], kNoReading);
  EXPECT_FALSE(notes.hasFound);  // the message never was whole
  EXPECT_EQ(m.deletes_[1], 1);
  EXPECT_EQ(m.deletes_[2], 1);
}

// The reflector answers a message in parts once it is whole; its reply,
// longer than one message, goes in parts too, and a quote in it is no
// reason to refuse it in PDU mode.
TEST(PartPickup, TheReflectorAnswersTheWholeMessageInParts) {
  PartModem m;
  const std::string first = "say \"" + std::string(148, 'q') + "\" ok";
  m.store_[1] = {deliver_part(200, 2, 2, "and the end"), 100};
  m.store_[2] = {deliver_part(200, 2, 1, first), 900};
  ASSERT_TRUE(m.pick_up(0, true)) << m.stderr_;
  ASSERT_EQ(m.payloads_.size(), 2u);
  std::string reply;
  for (size_t k = 0; k < m.payloads_.size(); ++k) {
    SmsSubmit submit;
    std::string error;
    ASSERT_TRUE(decode_sms_submit(m.payloads_[k], submit, error)) << error;
    EXPECT_EQ(submit.number, "+12345678901");
    ASSERT_EQ(submit.header.size(), 5u);
    EXPECT_EQ(submit.header[3], 2);  // two parts
    EXPECT_EQ(submit.header[4], static_cast<int>(k + 1));
    reply += submit.text;
  }
  EXPECT_EQ(reply.rfind("rEfLeCt", 0), 0u) << reply;
  const std::string whole = first + "and the end";
  ASSERT_GT(reply.size(), whole.size());
  EXPECT_EQ(reply.substr(reply.size() - whole.size()), whole);
  const RunNotes& notes = m.result_.notes;
  EXPECT_EQ(notes.replyText, reply);
  EXPECT_EQ(notes.partsSent.size(), 2u);
  EXPECT_GE(notes.concatReference, 0);
  EXPECT_EQ(notes.partsExpected, 2);
  EXPECT_EQ(notes.partsOutOfOrder, 1);
  EXPECT_EQ(read_file(m.dir_ + "/status.txt"), "0 SUCCESS\n");
}

TEST(PartPickup, AMessageOfItsOwnIsTakenAsBefore) {
  PartModem m;
  m.store_[1] = {"00040B912143658709F100006050403020100005E8329BFD06", 100};
  ASSERT_TRUE(m.pick_up(5)) << m.session_->last_error();
  EXPECT_EQ(m.message_.text, "hello");
  EXPECT_EQ(m.stderr_, "New Message Found.\nDeleting Message: ");
  EXPECT_FALSE(m.result_.notes.hasParts);
  EXPECT_TRUE(m.result_.notes.hasFound);
}

}  // namespace

}  // namespace smstest
