// AtReader on the scripted fake device and the fake clock: real answers of
// the standard commands split at every byte, unsolicited lines at every line
// boundary, echoes, every final result code, the readings and the log.
#include "modem/at_answer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

class AtReaderTest : public ::testing::Test {
 protected:
  AtReaderTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    port_.reset(new ComPort(std::move(owned), clock_));
    EXPECT_TRUE(port_->open_line(3, 115200, 600, clock_.calendar_seconds()));
    port_->set_request_timing(1, 100);
    reader_.reset(new AtReader(*port_));
  }

  int64_t deadline(int seconds) { return clock_.calendar_seconds() + seconds; }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the port
  std::unique_ptr<ComPort> port_;
  std::unique_ptr<AtReader> reader_;
};

struct Expected {
  FinalCode final;
  int code;
  std::vector<std::string> info;
  std::vector<std::string> data;
};

struct AnswerCase {
  const char* name;
  std::string bytes;  // the answer as the modem writes it
  ExpectedAnswer form;
  Expected expected;
};

ExpectedAnswer expect(const std::string& echo, const std::string& info, bool dataLines,
                      bool promptEnds = false) {
  ExpectedAnswer expected;
  expected.echo = echo;
  expected.info = info;
  expected.dataLines = dataLines;
  expected.promptEnds = promptEnds;
  return expected;
}

const std::string kListing =
    "\r\n+CMGL: 1,\"REC UNREAD\",\"+15550000001\",,\"24/01/01,12:00:00+00\"\r\n"
    "stored message 1\r\n"
    "+CMGL: 3,\"REC READ\",\"5550103\",,\"24/01/01,12:01:00+00\"\r\nOK\r\n"
    "+CMGL: 4,\"REC READ\",\"5550104\",,\"24/01/01,12:02:00+00\"\r\n\r\n"
    "\r\nOK\r\n";
const std::string kHeader1 = "+CMGL: 1,\"REC UNREAD\",\"+15550000001\",,\"24/01/01,12:00:00+00\"";
const std::string kHeader3 = "+CMGL: 3,\"REC READ\",\"5550103\",,\"24/01/01,12:01:00+00\"";
const std::string kHeader4 = "+CMGL: 4,\"REC READ\",\"5550104\",,\"24/01/01,12:02:00+00\"";
const std::string kRead = "+CMGR: \"REC READ\",\"5550103\",,\"24/01/01,12:00:01+00\"";

std::vector<AnswerCase> answer_cases() {
  return {
      {"OK", "\r\nOK\r\n", ExpectedAnswer(), {FinalCode::kOk, -1, {}, {}}},
      {"ERROR", "\r\nERROR\r\n", ExpectedAnswer(), {FinalCode::kError, -1, {}, {}}},
      {"CMS ERROR",
       "\r\n+CMS ERROR: 330\r\n",
       ExpectedAnswer(),
       {FinalCode::kCmsError, 330, {}, {}}},
      {"CME ERROR", "\r\n+CME ERROR: 14\r\n", ExpectedAnswer(), {FinalCode::kCmeError, 14, {}, {}}},
      {"CMS ERROR as text",
       "\r\n+CMS ERROR: SIM busy\r\n",
       ExpectedAnswer(),
       {FinalCode::kCmsError, -1, {}, {}}},
      {"prompt", "\r\n> ", expect("", "", false, true), {FinalCode::kPrompt, -1, {}, {}}},
      {"bare prompt", "\r\n>", expect("", "", false, true), {FinalCode::kPrompt, -1, {}, {}}},
      {"send confirmed",
       "\r\n+CMGS: 12\r\n\r\nOK\r\n",
       expect("tImE1Thi", "+CMGS:", false),
       {FinalCode::kOk, -1, {"+CMGS: 12"}, {}}},
      {"store use",
       "\r\n+CPMS: \"SM\",2,50,\"SM\",2,50,\"SM\",2,50\r\n\r\nOK\r\n",
       expect("AT+CPMS?", "+CPMS:", false),
       {FinalCode::kOk, -1, {"+CPMS: \"SM\",2,50,\"SM\",2,50,\"SM\",2,50"}, {}}},
      // A message whose text is "OK", and one whose text is empty.
      {"listing",
       kListing,
       expect("AT+CMGL=\"ALL\"", "+CMGL:", true),
       {FinalCode::kOk, -1, {kHeader1, kHeader3, kHeader4}, {"stored message 1", "OK", ""}}},
      {"read",
       "\r\n" + kRead + "\r\nhello there \r\n\r\nOK\r\n",
       expect("AT+CMGR=2", "+CMGR:", true),
       {FinalCode::kOk, -1, {kRead}, {"hello there "}}},
      {"read, empty text",
       "\r\n" + kRead + "\r\n\r\n\r\nOK\r\n",
       expect("AT+CMGR=2", "+CMGR:", true),
       {FinalCode::kOk, -1, {kRead}, {""}}},
      // The line right after the header is the message, whatever it looks
      // like.
      {"read, text like an announcement",
       "\r\n" + kRead + "\r\n+CMTI: \"SM\",2\r\n\r\nOK\r\n",
       expect("AT+CMGR=2", "+CMGR:", true),
       {FinalCode::kOk, -1, {kRead}, {"+CMTI: \"SM\",2"}}},
      {"read, text like a ring",
       "\r\n" + kRead + "\r\nRING me back please\r\n\r\nOK\r\n",
       expect("AT+CMGR=2", "+CMGR:", true),
       {FinalCode::kOk, -1, {kRead}, {"RING me back please"}}},
      {"read, text like a maker's line",
       "\r\n" + kRead + "\r\n^_^ smile\r\n\r\nOK\r\n",
       expect("AT+CMGR=2", "+CMGR:", true),
       {FinalCode::kOk, -1, {kRead}, {"^_^ smile"}}},
      {"listing, texts like unsolicited lines",
       "\r\n" + kHeader1 + "\r\nNO CARRIER here\r\n" + kHeader3 + "\r\n+CREG: is my code\r\n" +
           "\r\nOK\r\n",
       expect("AT+CMGL=\"ALL\"", "+CMGL:", true),
       {FinalCode::kOk, -1, {kHeader1, kHeader3}, {"NO CARRIER here", "+CREG: is my code"}}},
      {"read refused",
       "\r\n+CMS ERROR: 321\r\n",
       expect("AT+CMGR=9", "+CMGR:", true),
       {FinalCode::kCmsError, 321, {}, {}}},
      // A modem that ignores ATE0 echoes the command, or the message text.
      {"echo",
       "AT+CMGF=1\r\r\nOK\r\n",
       expect("AT+CMGF=1", "", false),
       {FinalCode::kOk, -1, {}, {}}},
      {"echo before the prompt",
       "AT+CMGS=\"5550104\"\r\r\n> ",
       expect("AT+CMGS=\"5550104\"", "", false, true),
       {FinalCode::kPrompt, -1, {}, {}}},
      {"echo of the text",
       "tImE1Thi\r\n+CMGS: 3\r\n\r\nOK\r\n",
       expect("tImE1Thi", "+CMGS:", false),
       {FinalCode::kOk, -1, {"+CMGS: 3"}, {}}},
      {"echo of the text with its Ctrl-Z",
       "tImE1Thi\x1A\r\n+CMGS: 3\r\n\r\nOK\r\n",
       expect("tImE1Thi", "+CMGS:", false),
       {FinalCode::kOk, -1, {"+CMGS: 3"}, {}}},
  };
}

std::string describe(const AtAnswer& a) {
  std::string out = "final " + std::to_string(static_cast<int>(a.final)) + " code " +
                    std::to_string(a.code) + "; info:";
  for (const AnswerLine& l : a.info) out += " [" + l.text + "]";
  out += "; data:";
  for (const AnswerLine& l : a.data) out += " [" + l.text + "]";
  return out;
}

void expect_answer(const AtAnswer& a, const Expected& e, const std::string& trace) {
  EXPECT_EQ(a.final, e.final) << trace << "\n" << describe(a);
  EXPECT_EQ(a.code, e.code) << trace;
  std::vector<std::string> info, data;
  for (const AnswerLine& l : a.info) info.push_back(l.text);
  for (const AnswerLine& l : a.data) data.push_back(l.text);
  EXPECT_EQ(info, e.info) << trace;
  EXPECT_EQ(data, e.data) << trace;
}

// Split in two at every position, and one byte per chunk: the same answer,
// read whole, and nothing of the next chunk taken.
TEST_F(AtReaderTest, AnswersSplitAnywhereReadWhole) {
  for (const AnswerCase& c : answer_cases()) {
    std::vector<std::vector<std::string>> splits;
    for (size_t k = 1; k < c.bytes.size(); ++k) {
      splits.push_back({c.bytes.substr(0, k), c.bytes.substr(k)});
    }
    std::vector<std::string> bytewise;
    for (char b : c.bytes) bytewise.push_back(std::string(1, b));
    splits.push_back(bytewise);
    for (const std::vector<std::string>& chunks : splits) {
      const std::string trace = std::string(c.name) + ", first chunk \"" + escape_text(chunks[0]) +
                                "\" of " + std::to_string(chunks.size());
      device_->queue_chunks(chunks);
      device_->queue("\r\nAFTER\r\n", 500);
      AtAnswer answer;
      ASSERT_EQ(reader_->read_answer(c.form, deadline(5), answer), ReadOutcome::kComplete) << trace;
      expect_answer(answer, c.expected, trace);
      // It returned as soon as the final result code was in: the blank of
      // a "> " that came apart from its '>' is left for later.
      const bool blankLeft = c.form.promptEnds && c.bytes.back() == ' ' && chunks.back() == " ";
      EXPECT_EQ(answer.bytes, blankLeft ? c.bytes.substr(0, c.bytes.size() - 1) : c.bytes) << trace;
      EXPECT_EQ(device_->pending_chunks(), blankLeft ? 2u : 1u) << trace;
      // Drain the marker line before the next case.
      ASSERT_EQ(reader_->wait(reader_->now_ms() + 1000, deadline(5), false),
                ReadOutcome::kComplete);
      EXPECT_EQ(device_->pending_chunks(), 0u) << trace;
    }
  }
}

// Unsolicited lines before the answer and between any two of its lines are
// taken out; those of the table become notices of their kind (a two-line
// form with its data line), the others are dropped.
TEST_F(AtReaderTest, UnsolicitedLinesAtEveryPositionAreTakenOut) {
  struct Urc {
    const char* bytes;
    bool kept;
    NoticeKind kind;
    const char* data;
  } const urcs[] = {
      {"+CMTI: \"SM\",7", true, NoticeKind::kNewMessage, ""},
      {"RING", false, NoticeKind::kOther, ""},
      {"+CREG: 1", true, NoticeKind::kRegistration, ""},
      {"^RSSI: 3", false, NoticeKind::kOther, ""},
      {"+CDS: 6,12", true, NoticeKind::kStatusReport, ""},
      {"+CDS: 25\r\n0791515500000000060C", true, NoticeKind::kStatusReport, "0791515500000000060C"},
      {"+CMT: \"+15551234\",,\"24/01/01,12:00:00+00\"\r\nOK then", true, NoticeKind::kNewMessage,
       "OK then"},
  };
  for (const AnswerCase& c : answer_cases()) {
    for (size_t at = 0; at < c.bytes.size(); ++at) {
      if (at != 0 && c.bytes[at - 1] != '\n') continue;
      for (const Urc& urc : urcs) {
        const std::string bytes =
            c.bytes.substr(0, at) + "\r\n" + urc.bytes + "\r\n" + c.bytes.substr(at);
        const std::string trace =
            std::string(c.name) + " with " + escape_text(urc.bytes) + " at " + std::to_string(at);
        for (bool split : {false, true}) {
          if (split) {
            device_->queue_bytewise(bytes);
          } else {
            device_->queue(bytes);
          }
          AtAnswer answer;
          ASSERT_EQ(reader_->read_answer(c.form, deadline(5), answer), ReadOutcome::kComplete)
              << trace;
          expect_answer(answer, c.expected, trace + (split ? ", bytewise" : ""));
          Notice notice;
          bool noticed = reader_->take_notice(urc.kind, notice);
          EXPECT_EQ(noticed, urc.kept) << trace;
          if (noticed) {
            EXPECT_EQ(notice.data, urc.data) << trace;
            if (urc.kind == NoticeKind::kNewMessage && notice.data.empty()) {
              EXPECT_EQ(notice.memory, "SM");
              EXPECT_EQ(notice.index, 7);
            }
            if (urc.kind == NoticeKind::kRegistration) {
              EXPECT_EQ(notice.status, 1);
            }
            if (urc.kind == NoticeKind::kStatusReport && notice.data.empty()) {
              EXPECT_EQ(notice.reference, 12);
            }
          }
          for (NoticeKind kind : {NoticeKind::kNewMessage, NoticeKind::kStatusReport,
                                  NoticeKind::kRegistration, NoticeKind::kOther}) {
            EXPECT_FALSE(reader_->has_notice(kind)) << trace;
          }
        }
      }
    }
  }
}

// A +CMT, +CBM or PDU-mode +CDS header makes the next line its data, in
// text and PDU mode: a flash message whose text is "OK" does not end the
// wait for +CMGS, whose refusal comes after it.
TEST_F(AtReaderTest, TheDataLineOfATwoLineUnsolicitedResultIsNoResultCode) {
  struct Row {
    const char* header;
    const char* data;
    NoticeKind kind;
  } const rows[] = {
      {"+CMT: \"+15551234\",,\"24/01/01,12:00:00+00\"", "OK", NoticeKind::kNewMessage},
      {"+CMT: \"+15551234\",,\"24/01/01,12:00:00+00\"", "ERROR", NoticeKind::kNewMessage},
      {"+CMT: ,22", "0791515500000000040B915155214365F700000000000000000003CF2708",
       NoticeKind::kNewMessage},
      {"+CBM: 1,50,0,1,1", "OK", NoticeKind::kOther},
      {"+CBM: 88", "OK", NoticeKind::kOther},
      {"+CDS: 25", "OK", NoticeKind::kStatusReport},
  };
  for (const Row& row : rows) {
    const std::string trace = std::string(row.header) + " / " + row.data;
    for (bool split : {false, true}) {
      const std::string bytes =
          "\r\n" + std::string(row.header) + "\r\n" + row.data + "\r\n\r\n+CMS ERROR: 500\r\n";
      if (split) {
        device_->queue_bytewise(bytes);
      } else {
        device_->queue(bytes);
      }
      AtAnswer answer;
      ASSERT_EQ(reader_->read_answer(expect("tImE1Thi", "+CMGS:", false), deadline(5), answer),
                ReadOutcome::kComplete)
          << trace;
      EXPECT_EQ(answer.final, FinalCode::kCmsError) << trace;
      EXPECT_EQ(answer.code, 500) << trace;
      Notice notice;
      if (row.kind != NoticeKind::kOther) {
        ASSERT_TRUE(reader_->take_notice(row.kind, notice)) << trace;
        EXPECT_EQ(notice.data, row.data) << trace;
      }
      EXPECT_FALSE(reader_->take_other_notice(notice)) << trace;
    }
  }
}

TEST_F(AtReaderTest, LinesAfterTheFinalCodeAreSortedAtOnce) {
  device_->queue("\r\n+CMGS: 4\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",2\r\n\r\n+CMTI: \"ME\",", 40);
  AtAnswer answer;
  ASSERT_EQ(reader_->read_answer(expect("", "+CMGS:", false), deadline(5), answer),
            ReadOutcome::kComplete);
  EXPECT_EQ(answer.bytes, "\r\n+CMGS: 4\r\n\r\nOK\r\n");
  Notice notice;
  ASSERT_TRUE(reader_->take_notice(NoticeKind::kNewMessage, notice));
  EXPECT_EQ(notice.index, 2);
  EXPECT_EQ(notice.reading, 40000);  // when its chunk came, not when it was looked at
  EXPECT_FALSE(reader_->has_notice(NoticeKind::kNewMessage));
  // The unfinished line is finished by the next chunk.
  device_->queue("5\r\n", 10);
  ASSERT_EQ(reader_->wait(reader_->now_ms() + 1000, deadline(5), true), ReadOutcome::kComplete);
  ASSERT_TRUE(reader_->take_notice(NoticeKind::kNewMessage, notice));
  EXPECT_EQ(notice.memory, "ME");
  EXPECT_EQ(notice.index, 5);
  EXPECT_EQ(notice.reading, 50000);
}

TEST_F(AtReaderTest, EachLineIsReadWhenItsLastByteCame) {
  device_->queue_chunks({"\r\n+CMGS: 1", "\r\n\r\nO", "K\r\n"}, 10, 20);
  AtAnswer answer;
  ASSERT_EQ(reader_->read_answer(expect("", "+CMGS:", false), deadline(5), answer),
            ReadOutcome::kComplete);
  ASSERT_EQ(answer.info.size(), 1u);
  EXPECT_EQ(answer.info[0].reading, 30000);
  EXPECT_EQ(answer.finalLine.reading, 50000);
  EXPECT_EQ(clock_.now_microseconds(), 50000);
}

// A request ends only once the line has been quiet after the answer; the
// readings are still those of the bytes' arrival, whatever the quiet time.
TEST_F(AtReaderTest, ReadingsLeaveOutTheQuietTimeThatEndsARequest) {
  for (int quietMs : {1, 5, 20}) {
    SCOPED_TRACE(quietMs);
    device_->model_quiet_window();
    port_->set_request_timing(quietMs, 100);
    const int64_t start = clock_.now_microseconds();
    device_->queue_chunks({"\r\n+CMGS: 1\r\n", "\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n"}, 10, 50);
    AtAnswer answer;
    ASSERT_EQ(reader_->read_answer(expect("", "+CMGS:", false), deadline(5), answer),
              ReadOutcome::kComplete);
    ASSERT_EQ(answer.info.size(), 1u);
    EXPECT_EQ(answer.info[0].reading, start + 10000);
    EXPECT_EQ(answer.finalLine.reading, start + 60000);
    // The request did run on for the quiet time.
    EXPECT_EQ(clock_.now_microseconds(), start + 60000 + quietMs * 1000);
    Notice notice;
    ASSERT_TRUE(reader_->take_notice(NoticeKind::kNewMessage, notice));
    EXPECT_EQ(notice.reading, start + 60000);
  }
}

TEST_F(AtReaderTest, NoFinalCodeTimesOutWithWhatCame) {
  device_->queue("\r\n+CMGS: 1\r\n", 10);
  AtAnswer answer;
  const int64_t start = clock_.now_microseconds();
  EXPECT_EQ(reader_->read_answer(expect("", "+CMGS:", false), deadline(2), answer),
            ReadOutcome::kTimedOut);
  EXPECT_EQ(answer.bytes, "\r\n+CMGS: 1\r\n");
  EXPECT_EQ(answer.final, FinalCode::kNone);
  // Looked at after each 100 ms request: the calendar reached the deadline.
  EXPECT_GE(clock_.now_microseconds() - start, 1900000);
  EXPECT_LE(clock_.now_microseconds() - start, 2100000);
  // A deadline already past still gets one request.
  device_->queue("\r\nOK\r\n", 50);
  EXPECT_EQ(reader_->read_answer(ExpectedAnswer(), deadline(-1), answer), ReadOutcome::kComplete);
}

TEST_F(AtReaderTest, AnEndlessLineIsCutAndTheAnswerStillEnds) {
  device_->queue(std::string(20000, 'x'));
  device_->queue("\r\n+CMGS: 2\r\n\r\nOK\r\n");
  AtAnswer answer;
  ASSERT_EQ(reader_->read_answer(expect("", "+CMGS:", false), deadline(5), answer),
            ReadOutcome::kComplete);
  EXPECT_EQ(answer.final, FinalCode::kOk);
  ASSERT_EQ(answer.info.size(), 1u);
  EXPECT_EQ(answer.info[0].text, "+CMGS: 2");
  EXPECT_EQ(answer.bytes.size(), 20000u + 18u);
}

TEST_F(AtReaderTest, ADeviceFailureEndsTheRead) {
  device_->fail_once(FakeFailure::kReadWaitFailed, 5);
  AtAnswer answer;
  EXPECT_EQ(reader_->read_answer(ExpectedAnswer(), deadline(5), answer), ReadOutcome::kReadFailed);
  EXPECT_EQ(reader_->lastError.rfind("read_com: Could not set comm mask, error code: 5: ", 0), 0u)
      << reader_->lastError;
}

TEST_F(AtReaderTest, TheLogHoldsEveryByteInThePortsRecords) {
  const std::string dir = make_temp_dir("at_answer");
  port_->open_log((dir + "/log").c_str());
  device_->queue_chunks({"\r\nO", "K\r\n\r\nRI", "NG\r\n"}, 0, 10);
  AtAnswer answer;
  ASSERT_EQ(reader_->read_answer(ExpectedAnswer(), deadline(5), answer), ReadOutcome::kComplete);
  ASSERT_EQ(reader_->wait(reader_->now_ms() + 200, deadline(5), false), ReadOutcome::kComplete);
  EXPECT_EQ(read_file(dir + "/log"),
            "\nRead Partial bytes: \r\nO"
            "\nRead 6 bytes\n\r\nOK\r\n"
            "\nRead Partial bytes: \r\nRI"
            "\nRead 8 bytes\n\r\nRING\r\n"
            "Unsolicited line ignored: RING\n");
}

TEST_F(AtReaderTest, WaitEndsAtANoticeOrItsTime) {
  device_->queue("\r\n+CREG: 1\r\n", 100);
  device_->queue("\r\n+CMTI: \"SM\",3\r\n", 250);
  const int64_t start = reader_->now_ms();
  ASSERT_EQ(reader_->wait(start + 1000, deadline(5), true), ReadOutcome::kComplete);
  EXPECT_EQ(reader_->now_ms() - start, 250);
  EXPECT_TRUE(reader_->noticed(3));
  EXPECT_FALSE(reader_->noticed(4));
  // Without a notice to stop at, the whole time.
  ASSERT_EQ(reader_->wait(reader_->now_ms() + 1000, deadline(5), true), ReadOutcome::kComplete);
  EXPECT_EQ(reader_->now_ms() - start, 250);  // a notice is still waiting
  Notice notice;
  ASSERT_TRUE(reader_->take_notice(NoticeKind::kNewMessage, notice));
  // The registration line is kept too, and does not end a wait.
  ASSERT_TRUE(reader_->take_other_notice(notice));
  EXPECT_EQ(notice.kind, NoticeKind::kRegistration);
  EXPECT_EQ(notice.reading, 100000);
  ASSERT_EQ(reader_->wait(reader_->now_ms() + 1000, deadline(5), true), ReadOutcome::kComplete);
  EXPECT_GE(reader_->now_ms() - start, 1250);
  EXPECT_LE(reader_->now_ms() - start, 1350);
}

// What is left of answers that came in pieces before the reader took over
// is dropped until the line has been quiet for a while.
TEST_F(AtReaderTest, SettleDropsTheRestOfEarlierAnswers) {
  device_->queue_chunks({"\nO", "K\r", "\n", "AT", "\r\r", "\nOK\r\n"}, 200, 200);
  device_->queue("\r\n+CMTI: \"SM\",2\r\n", 1200);
  device_->queue("\r\nLATER\r\n", 3000);
  const int64_t start = reader_->now_ms();
  ASSERT_EQ(reader_->settle(300, deadline(5)), ReadOutcome::kComplete);
  // 300 ms after the last piece, which came at 1200 ms.
  EXPECT_GE(reader_->now_ms() - start, 1500);
  EXPECT_LE(reader_->now_ms() - start, 1600);
  EXPECT_EQ(device_->pending_chunks(), 1u);
  EXPECT_TRUE(reader_->noticed(2));

  // Nothing to drop: 300 ms of quiet.
  const int64_t quiet = reader_->now_ms();
  ASSERT_EQ(reader_->settle(300, deadline(5)), ReadOutcome::kComplete);
  EXPECT_GE(reader_->now_ms() - quiet, 300);
  EXPECT_LE(reader_->now_ms() - quiet, 400);
}

TEST(AtAnswerText, FinalCodesAreDescribedWithTheirMeaning) {
  struct Row {
    FinalCode final;
    int code;
    const char* line;
    const char* text;
    bool simBusy;
  } rows[] = {
      {FinalCode::kOk, -1, "OK", "OK", false},
      {FinalCode::kError, -1, "ERROR", "ERROR", false},
      {FinalCode::kCmsError, 330, "+CMS ERROR: 330", "+CMS ERROR: 330 (SMSC address unknown)",
       false},
      {FinalCode::kCmsError, 314, "+CMS ERROR: 314", "+CMS ERROR: 314 (SIM busy)", true},
      {FinalCode::kCmsError, 322, "+CMS ERROR: 322", "+CMS ERROR: 322 (memory full)", false},
      {FinalCode::kCmsError, 42, "+CMS ERROR: 42", "+CMS ERROR: 42 (congestion)", false},
      {FinalCode::kCmsError, 777, "+CMS ERROR: 777", "+CMS ERROR: 777 (manufacturer specific)",
       false},
      {FinalCode::kCmsError, 400, "+CMS ERROR: 400", "+CMS ERROR: 400 (unknown error code)", false},
      {FinalCode::kCmeError, 14, "+CME ERROR: 14", "+CME ERROR: 14 (SIM busy)", true},
      {FinalCode::kCmeError, 4, "+CME ERROR: 4", "+CME ERROR: 4 (operation not supported)", false},
      {FinalCode::kCmeError, -1, "+CME ERROR: SIM busy", "+CME ERROR: SIM busy", true},
      {FinalCode::kPrompt, -1, ">", "the prompt", false},
      {FinalCode::kNone, -1, "", "no final result code", false},
  };
  for (const Row& row : rows) {
    AtAnswer answer;
    answer.final = row.final;
    answer.code = row.code;
    answer.finalLine.text = row.line;
    EXPECT_EQ(describe_final(answer), row.text) << row.line;
    EXPECT_EQ(is_sim_busy(answer), row.simBusy) << row.line;
  }
}

TEST(AtAnswerText, FieldsAndEscapes) {
  EXPECT_EQ(split_fields("1,\"REC READ\",\"+1555\",,\"24/01/01,12:00:00+00\""),
            (std::vector<std::string>{"1", "REC READ", "+1555", "", "24/01/01,12:00:00+00"}));
  EXPECT_EQ(split_fields(" \"SM\", 3"), (std::vector<std::string>{"SM", "3"}));
  EXPECT_EQ(split_fields(""), (std::vector<std::string>{""}));
  EXPECT_EQ(split_fields("\"a,b"), (std::vector<std::string>{"a,b"}));  // quote left open
  EXPECT_EQ(escape_text("\r\n> \"x\"\\\x1A\x7F"), "\\r\\n> \\\"x\\\"\\\\\\x1A\\x7F");
  EXPECT_EQ(escape_text("abcdef", 3), "abc...");
}

}  // namespace

}  // namespace smstest
