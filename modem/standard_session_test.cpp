// StandardSession on the scripted fake device and the fake clock, against a
// small scripted modem: the open dialogue and its failures, the send with
// its prompt, SIM-busy tries and ESC, the receive by announcement and by
// listing, and the messages stored at open, which are never touched.
#include "modem/standard_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "modem/text_format.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";

// A modem that answers the standard commands from a message store; any
// command can be given other answers, one per write, first.
struct ScriptedModem {
  struct Message {
    std::string from;
    std::string text;
    int64_t arrivesUs = 0;  // fake time from which the store holds it
  };

  FakeClock* clock = nullptr;
  std::map<int, Message> store;
  std::map<std::string, std::deque<std::vector<std::string>>> answers;
  std::string cpms = "\"SM\",0,50,\"SM\",0,50,\"SM\",0,50";
  std::vector<std::string> texts;  // message texts sent (with their Ctrl-Z)

  bool holds(int index) const {
    auto m = store.find(index);
    return m != store.end() && m->second.arrivesUs <= clock->now_microseconds();
  }

  std::vector<std::string> respond(const std::string& written) {
    std::string command = written;
    if (!command.empty() && command.back() == '\r') command.pop_back();
    if (!written.empty() && written.back() == 0x1A) {
      texts.push_back(written);
      command = "TEXT";
    }
    auto scripted = answers.find(command);
    if (scripted != answers.end() && !scripted->second.empty()) {
      std::vector<std::string> chunks = scripted->second.front();
      scripted->second.pop_front();
      return chunks;
    }
    if (command == "TEXT") return {"\r\n+CMGS: 7\r\n\r\nOK\r\n"};
    if (command == "\x1B") return {kOk};
    if (command.rfind("AT+CMGS=", 0) == 0) return {"\r\n> "};
    if (command == "AT+CMGL=\"ALL\"") {
      std::string lines;
      for (const auto& m : store) {
        if (!holds(m.first)) continue;
        lines += format("+CMGL: %d,\"REC READ\",\"%s\",,\"24/01/01,12:00:00+00\"\r\n%s\r\n",
                        m.first, m.second.from.c_str(), m.second.text.c_str());
      }
      return {lines.empty() ? kOk : "\r\n" + lines + kOk};
    }
    if (command.rfind("AT+CMGR=", 0) == 0) {
      int index = std::atoi(command.c_str() + 8);
      if (!holds(index)) return {"\r\n+CMS ERROR: 321\r\n"};
      const Message& m = store[index];
      return {format("\r\n+CMGR: \"REC UNREAD\",\"%s\",,\"24/01/01,12:00:00+00\"\r\n%s\r\n",
                     m.from.c_str(), m.text.c_str()) +
              kOk};
    }
    if (command.rfind("AT+CMGD=", 0) == 0) {
      store.erase(std::atoi(command.c_str() + 8));
      return {kOk};
    }
    if (command == "AT+CPMS?") return {"\r\n+CPMS: " + cpms + "\r\n" + kOk};
    return {kOk};  // AT, ATE0 and the settings
  }
};

class StandardSessionTest : public ::testing::Test {
 protected:
  StandardSessionTest() { fresh_session(); }

  // A new session on a new device, before a modem with an empty store.
  void fresh_session() {
    modem_ = ScriptedModem();
    modem_.clock = &clock_;
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    device_->set_responder([this](const std::string& w) { return modem_.respond(w); });
    session_.reset(new StandardSession(std::unique_ptr<MessageFormat>(new TextFormat),
                                       std::move(owned), clock_));
  }

  bool open(int testTimeout = 60) {
    return session_->open(3, 115200, testTimeout, clock_.calendar_seconds());
  }

  // Answers for `command` (without CR), one entry per write.
  void answer(const std::string& command, std::vector<std::vector<std::string>> answers) {
    for (auto& a : answers) modem_.answers[command].push_back(a);
  }

  // The writes from the first standard command on.
  std::vector<std::string> writes_after_handshake() const {
    const std::vector<std::string>& all = device_->writes();
    // The handshake ends with "ATE0", the first "AT" answered or not.
    auto echoOff = std::find(all.begin(), all.end(), std::string("ATE0\r"));
    return std::vector<std::string>(echoOff == all.end() ? all.begin() : echoOff + 1, all.end());
  }

  int count_writes(const std::string& bytes) const {
    int n = 0;
    for (const std::string& w : device_->writes()) n += w == bytes;
    return n;
  }

  int64_t now_us() const { return clock_.now_microseconds(); }

  FakeClock clock_;
  ScriptedModem modem_;
  FakeSerialDevice* device_ = nullptr;  // owned by the session's port
  std::unique_ptr<StandardSession> session_;
};

TEST_F(StandardSessionTest, OpenSetsTheModemUpAndTakesStock) {
  modem_.store[2] = {"+15550000001", "old one"};
  modem_.store[5] = {"5550000002", "old two"};
  ASSERT_TRUE(open()) << session_->last_error();
  const std::vector<std::string> expected = {"AT+CMEE=1\r", "AT+CMGF=1\r", "AT+CSCS=\"IRA\"\r",
                                             "AT+CNMI=2,1,0,0,0\r", "AT+CMGL=\"ALL\"\r"};
  EXPECT_EQ(writes_after_handshake(), expected);
  EXPECT_TRUE(session_->announces());
  EXPECT_EQ(session_->stored_at_open(), (std::set<int>{2, 5}));
  EXPECT_EQ(session_->last_error(), "");
}

TEST_F(StandardSessionTest, OpenFailsOnlyWhereTheDialogueNeedsTheAnswer) {
  struct Row {
    const char* command;
    std::vector<std::string> answer;  // empty: no answer at all
    bool opens;
    const char* error;
    bool announces;
  } rows[] = {
      {"AT+CMEE=1", {"\r\nERROR\r\n"}, true, "", true},
      {"AT+CMGF=1",
       {"\r\n+CMS ERROR: 303\r\n"},
       false,
       "AT+CMGF=1 answered +CMS ERROR: 303 (operation not supported)",
       true},
      {"AT+CMGF=1", {"\r\nERROR\r\n"}, false, "AT+CMGF=1 answered ERROR", true},
      {"AT+CMGF=1", {}, false, "No final result code for AT+CMGF=1 in time", true},
      {"AT+CSCS=\"IRA\"", {"\r\n+CME ERROR: 4\r\n"}, true, "", true},
      // The next form is taken (IndicationsFallBackInOrder).
      {"AT+CNMI=2,1,0,0,0", {"\r\nERROR\r\n"}, true, "", true},
      {"AT+CMGL=\"ALL\"", {"\r\n+CMS ERROR: 321\r\n"}, true, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    fresh_session();
    answer(row.command, {row.answer});
    const int64_t testStart = clock_.calendar_seconds();
    EXPECT_EQ(open(5), row.opens);
    EXPECT_EQ(session_->last_error(), row.error);
    EXPECT_EQ(session_->announces(), row.announces && row.opens);
    // A command left unanswered holds the open until the test deadline.
    if (row.answer.empty()) {
      EXPECT_EQ(clock_.calendar_seconds(), testStart + 5);
    }
  }
}

// UTF-8 texts in text mode: the open asks for "UCS2" instead of "IRA" and
// fails when the modem refuses it, naming why; without them the same
// refusal of "IRA" is only noted.  The send then goes as UCS2 hex.
TEST_F(StandardSessionTest, Utf8TextsNeedTheUcs2Set) {
  struct Row {
    bool utf8;
    const char* refused;  // the set the modem refuses, or nullptr
    bool opens;
    const char* error;  // the start of last_error()
  } rows[] = {
      {true, nullptr, true, ""},
      {true, "AT+CSCS=\"UCS2\"", false,
       "AT+CSCS=\"UCS2\" answered +CME ERROR: 4 (operation not supported): the modem does not "
       "offer the character set UCS2"},
      {false, "AT+CSCS=\"IRA\"", true, ""},
      {false, "AT+CSCS=\"UCS2\"", true, ""},  // not asked for
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.utf8);
    fresh_session();
    if (row.utf8) session_->want_utf8_texts();
    if (row.refused != nullptr) answer(row.refused, {{"\r\n+CME ERROR: 4\r\n"}});
    EXPECT_EQ(open(), row.opens);
    EXPECT_EQ(session_->last_error().rfind(row.error, 0), 0u) << session_->last_error();
    EXPECT_EQ(count_writes(row.utf8 ? "AT+CSCS=\"UCS2\"\r" : "AT+CSCS=\"IRA\"\r"), 1);
    if (!row.opens) continue;
    SendReceipt receipt;
    ASSERT_TRUE(session_->send({"+1555",
                                "\xE2\x82\xAC"
                                "1",
                                false},
                               receipt, 10))
        << session_->last_error();
    if (row.utf8) {
      EXPECT_EQ(count_writes("AT+CMGS=\"002B0031003500350035\"\r"), 1);
      ASSERT_EQ(modem_.texts.size(), 1u);
      EXPECT_EQ(modem_.texts[0], "20AC0031\x1A");
    } else {
      EXPECT_EQ(count_writes("AT+CMGS=\"+1555\"\r"), 1);
    }
  }
}

// A modem that refuses one form of the indications is asked for the next,
// each refusal noted in the debug log; a modem that takes the first is
// asked nothing more.
TEST_F(StandardSessionTest, IndicationsFallBackInOrder) {
  struct Row {
    int refused;  // forms refused before one is taken
    bool announces;
    const char* notes;
  } rows[] = {
      {0, true, ""},
      {1, true, "AT+CNMI=2,1,0,0,0 answered ERROR: trying AT+CNMI=2,1,0,0\n"},
      {2, true,
       "AT+CNMI=2,1,0,0,0 answered ERROR: trying AT+CNMI=2,1,0,0\n"
       "AT+CNMI=2,1,0,0 answered +CMS ERROR: 303 (operation not supported): trying "
       "AT+CNMI=1,1,0,0,0\n"},
      {3, false,
       "AT+CNMI=2,1,0,0,0 answered ERROR: trying AT+CNMI=2,1,0,0\n"
       "AT+CNMI=2,1,0,0 answered +CMS ERROR: 303 (operation not supported): trying "
       "AT+CNMI=1,1,0,0,0\n"
       "AT+CNMI=1,1,0,0,0 answered ERROR: new messages are found by listing\n"},
  };
  const char* const forms[] = {"AT+CNMI=2,1,0,0,0", "AT+CNMI=2,1,0,0", "AT+CNMI=1,1,0,0,0"};
  const char* const refusals[] = {"\r\nERROR\r\n", "\r\n+CMS ERROR: 303\r\n", "\r\nERROR\r\n"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.refused);
    fresh_session();
    const std::string log = make_temp_dir("cnmi") + "/debug.log";
    session_->open_log(log.c_str());
    for (int i = 0; i < row.refused; ++i) answer(forms[i], {{refusals[i]}});
    ASSERT_TRUE(open()) << session_->last_error();
    EXPECT_EQ(session_->announces(), row.announces);
    std::vector<std::string> asked;
    for (const std::string& w : device_->writes()) {
      if (w.rfind("AT+CNMI=", 0) == 0) asked.push_back(w);
    }
    const size_t tried = row.refused < 3 ? row.refused + 1 : 3;
    ASSERT_EQ(asked.size(), tried);
    for (size_t i = 0; i < tried; ++i) EXPECT_EQ(asked[i], std::string(forms[i]) + "\r");
    // The notes stand right after the answers they are about.
    std::string notes;
    const std::string text = read_file(log);
    for (size_t at = text.find("AT+CNMI="); at != std::string::npos;
         at = text.find("AT+CNMI=", at + 1)) {
      if (at > 0 && text[at - 1] == '\n' && text.find(" answered ", at) < text.find('\n', at)) {
        notes += text.substr(at, text.find('\n', at) + 1 - at);
      }
    }
    EXPECT_EQ(notes, row.notes);
  }
}

// The answer to the handshake's ATE0 that came in pieces is not taken for
// the answer to the next command.
TEST_F(StandardSessionTest, TheRestOfTheHandshakeIsNotTheNextAnswer) {
  device_->on_write("ATE0\r", {"\r\n", "O", "K\r\n"}, 0, 1, 200);
  device_->on_write("AT\r", {"\r\nOK\r\n"});
  device_->on_write("AT\r", {"\r\nOK\r\n"});
  answer("AT+CMGF=1", {{"\r\n+CMS ERROR: 303\r\n"}});
  EXPECT_FALSE(open());
  EXPECT_EQ(session_->last_error(), "AT+CMGF=1 answered +CMS ERROR: 303 (operation not supported)");
}

TEST_F(StandardSessionTest, SendWaitsForThePromptThenTheConfirmation) {
  ASSERT_TRUE(open());
  device_->on_write("\x1A", {"\r\n+CMGS: 9\r\n", "\r\nOK\r\n"}, 700, 1, 50);
  SendReceipt receipt;
  ASSERT_TRUE(session_->send({"5550104", "tImE1Thi there"}, receipt, 60)) << session_->last_error();
  const int64_t sendStart = receipt.sendStart, sendEnd = receipt.sendEnd;
  // One part, with the message reference of "+CMGS: 9".
  ASSERT_EQ(receipt.parts.size(), 1u);
  EXPECT_EQ(receipt.parts[0].reference, 9);
  EXPECT_EQ(receipt.parts[0].confirmedAt, sendEnd);
  const std::vector<std::string>& w = device_->writes();
  ASSERT_GE(w.size(), 2u);
  EXPECT_EQ(w[w.size() - 2], "AT+CMGS=\"5550104\"\r");
  EXPECT_EQ(w.back(), "tImE1Thi there\x1A");
  // sendStart when the text was written, sendEnd when "+CMGS:" came.
  EXPECT_EQ(sendEnd - sendStart, 700000);
  EXPECT_EQ(now_us(), sendEnd + 50000);  // and back once the OK was in
}

TEST_F(StandardSessionTest, SendFailures) {
  struct Row {
    const char* name;
    std::vector<std::vector<std::string>> commandAnswers;  // to AT+CMGS
    std::vector<std::vector<std::string>> textAnswers;     // to the text
    int timeout;
    const char* error;
    int tries;  // AT+CMGS written
  } rows[] = {
      {"error after the text",
       {},
       {{"\r\n+CMS ERROR: 330\r\n"}},
       60,
       "AT+CMGS=\"5550104\" answered +CMS ERROR: 330 (SMSC address unknown)",
       1},
      {"plain ERROR to the command",
       {{"\r\nERROR\r\n"}},
       {},
       60,
       "AT+CMGS=\"5550104\" answered ERROR",
       1},
      {"OK instead of the prompt",
       {{kOk}},
       {},
       60,
       "AT+CMGS=\"5550104\" answered OK without a prompt for the text",
       1},
      {"no prompt",
       {{}},
       {},
       3,
       "No prompt for the message text after AT+CMGS=\"5550104\" in "
       "time; cancelled with ESC",
       1},
      {"no confirmation",
       {},
       {{"\r\n+CMGS: 3\r\n"}},
       2,
       "Send Timed Out Waiting for +CMGS: after AT+CMGS=\"5550104\" (the modem sent "
       "\"\\r\\n+CMGS: 3\\r\\n\")",
       1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh_session();
    ASSERT_TRUE(open());
    answer("AT+CMGS=\"5550104\"", row.commandAnswers);
    answer("TEXT", row.textAnswers);
    SendReceipt receipt;
    const int64_t start = now_us();
    EXPECT_FALSE(session_->send({"5550104", "hi"}, receipt, row.timeout));
    EXPECT_EQ(session_->last_error(), row.error);
    EXPECT_EQ(count_writes("AT+CMGS=\"5550104\"\r"), row.tries);
    if (std::string(row.name) == "no prompt") {
      EXPECT_EQ(device_->writes().back(), "\x1B");
      EXPECT_EQ(modem_.texts.size(), 0u);
    }
    // Time-outs: more than `timeout` whole seconds.
    if (row.timeout < 60) {
      EXPECT_GE(now_us() - start, row.timeout * 1000000);
      EXPECT_LE(now_us() - start, (row.timeout + 1) * 1000000 + 200000);
    }
  }
}

// The ESC that cancels a text entry is drained before the port closes
// (closing abandons queued output), for 2 s at most and never past the
// test deadline.
TEST_F(StandardSessionTest, TheCancellingEscIsDrainedBeforeTheClose) {
  struct Row {
    int testTimeout;
    int secondsUsed;
    int limitMs;
  } const rows[] = {{60, 0, 2000}, {60, 55, 1000}, {60, 70, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.secondsUsed);
    fresh_session();
    ASSERT_TRUE(open(row.testTimeout));
    answer("AT+CMGS=\"5550104\"", {{}});
    SendReceipt receipt;
    EXPECT_FALSE(session_->send({"5550104", "tImE1Thi"}, receipt, 3));
    EXPECT_EQ(device_->writes().back(), "\x1B");
    clock_.advance_milliseconds(row.secondsUsed * 1000LL);
    EXPECT_TRUE(device_->drain_limits().empty());
    session_->close_port();
    EXPECT_EQ(device_->drain_limits(), std::vector<int>{row.limitMs});
  }
}

// A modem that vanishes once it has the message says so, not in the port's
// words.
TEST_F(StandardSessionTest, AModemThatVanishesMidSendSaysSo) {
  ASSERT_TRUE(open());
  answer("TEXT", {{}});
  device_->hang_up(5, 200);
  SendReceipt receipt;
  EXPECT_FALSE(session_->send({"5550104", "tImE1Thi"}, receipt, 30));
  EXPECT_EQ(session_->last_error(),
            "modem stopped answering on COM3 after the message was handed over");
}

TEST_F(StandardSessionTest, SimBusyIsTriedAgainEverySecondUntilTheDeadline) {
  ASSERT_TRUE(open(20));
  answer("AT+CMGS=\"5550104\"", {{"\r\n+CMS ERROR: 314\r\n"}, {"\r\n+CMS ERROR: 314\r\n"}});
  answer("TEXT", {{"\r\n+CME ERROR: 14\r\n"}});
  SendReceipt receipt;
  const int64_t start = now_us();
  ASSERT_TRUE(session_->send({"5550104", "hi"}, receipt, 20)) << session_->last_error();
  EXPECT_EQ(receipt.parts.size(), 1u);  // the tries that failed leave no part
  EXPECT_EQ(count_writes("AT+CMGS=\"5550104\"\r"), 4);
  EXPECT_EQ(modem_.texts.size(), 2u);
  // Three pauses of a second each, spent reading the line.
  EXPECT_GE(now_us() - start, 3000000);
  EXPECT_LE(now_us() - start, 3300000);
  EXPECT_EQ(clock_.sleeps(), 0);

  // Busy up to the test deadline: the last answer stands.
  std::vector<std::vector<std::string>> busy(40, {"\r\n+CMS ERROR: 314\r\n"});
  answer("AT+CMGS=\"5550104\"", busy);
  EXPECT_FALSE(session_->send({"5550104", "hi"}, receipt, 20));
  EXPECT_EQ(session_->last_error(), "AT+CMGS=\"5550104\" answered +CMS ERROR: 314 (SIM busy)");
  EXPECT_GE(clock_.calendar_seconds(), FakeClock::kStartSeconds + 20);
  EXPECT_LE(clock_.calendar_seconds(), FakeClock::kStartSeconds + 21);
}

TEST_F(StandardSessionTest, ReceiveByAnnouncement) {
  ASSERT_TRUE(open());
  const int64_t arrives = now_us() + 1500000;
  modem_.store[4] = {"+15551234", "tImE1Thi", arrives};
  device_->queue("\r\n+CMTI: \"SM\",4\r\n", 1500);
  ReceivedMessage message;
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.sender, "+15551234");
  EXPECT_EQ(message.text, "tImE1Thi");
  EXPECT_EQ(message.storeIndex, 4);
  EXPECT_EQ(message.foundAt, arrives);  // the reading of the announcement's arrival
  EXPECT_EQ(device_->writes().back(), "AT+CMGR=4\r");
  ASSERT_TRUE(session_->delete_messages()) << session_->last_error();
  EXPECT_EQ(device_->writes().back(), "AT+CMGD=4\r");
}

TEST_F(StandardSessionTest, ReceiveByListingWhenNothingIsAnnounced) {
  for (const char* form : {"AT+CNMI=2,1,0,0,0", "AT+CNMI=2,1,0,0", "AT+CNMI=1,1,0,0,0"}) {
    answer(form, {{"\r\nERROR\r\n"}});
  }
  ASSERT_TRUE(open());
  EXPECT_FALSE(session_->announces());
  const int64_t start = now_us();
  modem_.store[1] = {"5550103", "tImE1Thi", start + 1500000};
  ReceivedMessage message;
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.sender, "5550103");
  EXPECT_EQ(message.text, "tImE1Thi");
  const int64_t foundAt = message.foundAt;
  // Listed at once, then once a second: the third listing shows it.
  EXPECT_EQ(count_writes("AT+CMGL=\"ALL\"\r"), 4);  // one at open
  EXPECT_GE(foundAt - start, 2000000);
  EXPECT_LE(foundAt - start, 2150000);
}

TEST_F(StandardSessionTest, MessagesStoredAtOpenAreNeverTouched) {
  modem_.store[1] = {"+15550000001", "stored message 1"};
  modem_.store[2] = {"5550000002", "stored message 2"};
  // A message announced while the session opens, after the listing at open
  // was answered, is new; one the listing shows is not, though announced
  // (the modem flushing what it held).
  modem_.store[3] = {"5550103", "came during the open"};
  answer("AT+CMGL=\"ALL\"",
         {{"\r\n+CMTI: \"SM\",2\r\n",
           "\r\n+CMGL: 1,\"REC READ\",\"+15550000001\",,\"24/01/01,12:00:00+00\"\r\nstored "
           "message 1\r\n+CMGL: 2,\"REC READ\",\"5550000002\",,\"24/01/01,12:00:00+00\"\r\nstored "
           "message 2\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n"}});
  ASSERT_TRUE(open());
  EXPECT_EQ(session_->stored_at_open(), (std::set<int>{1, 2}));
  // An announcement that names a stored message is passed over.
  device_->queue("\r\n+CMTI: \"SM\",1\r\n", 100);
  ReceivedMessage message;
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.text, "came during the open");
  ASSERT_TRUE(session_->delete_messages());
  // Another message, found by listing; the stored ones still are not read.
  modem_.store[6] = {"5550103", "second", now_us()};
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.text, "second");
  ASSERT_TRUE(session_->delete_messages());
  for (const char* untouched : {"AT+CMGR=1\r", "AT+CMGR=2\r", "AT+CMGD=1\r", "AT+CMGD=2\r"}) {
    EXPECT_EQ(count_writes(untouched), 0) << untouched;
  }
  EXPECT_EQ(count_writes("AT+CMGD=3\r"), 1);
  EXPECT_EQ(count_writes("AT+CMGD=6\r"), 1);
  EXPECT_EQ(modem_.store.size(), 2u);
  // Nothing taken: nothing to delete.
  EXPECT_FALSE(session_->delete_messages());
  EXPECT_EQ(session_->last_error(), "No received message to delete");
}

// A +CMTI before, inside or right after the answer to the session's own
// AT+CNMI names a message the modem held from before the test: it is never
// read or deleted, and the test's own message is the one received.
TEST_F(StandardSessionTest, AnnouncementsFlushedByTheIndicationSettingAreStoredMessages) {
  const char* const where[] = {"before", "inside", "after"};
  for (const char* at : where) {
    SCOPED_TRACE(at);
    fresh_session();
    modem_.store[2] = {"5550000002", "held while the port was closed"};
    const std::string flush = "\r\n+CMTI: \"SM\",2\r\n";
    const std::string at_ = at;
    if (at_ == "before") {
      answer("AT+CNMI=2,1,0,0,0", {{flush, kOk}});
    } else if (at_ == "inside") {
      answer("AT+CNMI=2,1,0,0,0", {{"\r\n", "+CMTI: \"SM\",2\r\n", kOk}});
    } else {
      answer("AT+CNMI=2,1,0,0,0", {{kOk, flush}});
    }
    ASSERT_TRUE(open()) << session_->last_error();
    EXPECT_EQ(session_->stored_at_open(), (std::set<int>{2}));
    modem_.store[5] = {"+15551234", "tImE1Thi", now_us() + 500000};
    device_->queue("\r\n+CMTI: \"SM\",5\r\n", 500);
    ReceivedMessage message;
    ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
    EXPECT_EQ(message.text, "tImE1Thi");
    ASSERT_TRUE(session_->delete_messages());
    EXPECT_EQ(count_writes("AT+CMGR=2\r"), 0);
    EXPECT_EQ(count_writes("AT+CMGD=2\r"), 0);
    EXPECT_EQ(modem_.store.count(2), 1u);
  }
}

TEST_F(StandardSessionTest, AStoreThatCouldNotBeListedAtOpenIsListedLater) {
  modem_.store[1] = {"5550000001", "was there before"};
  modem_.store[2] = {"5550103", "new"};
  // The first listing that works shows message 1 only; message 2 is
  // announced right after it.
  answer("AT+CMGL=\"ALL\"",
         {{"\r\nERROR\r\n"},
          {"\r\n+CMGL: 1,\"REC READ\",\"5550000001\",,\"24/01/01,12:00:00+00\"\r\nwas there "
           "before\r\n\r\nOK\r\n",
           "\r\n+CMTI: \"SM\",2\r\n"}});
  ASSERT_TRUE(open());
  EXPECT_EQ(session_->stored_at_open(), (std::set<int>{}));
  ReceivedMessage message;
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.text, "new");
  EXPECT_EQ(session_->stored_at_open(), (std::set<int>{1}));
  EXPECT_EQ(count_writes("AT+CMGR=1\r"), 0);
}

TEST_F(StandardSessionTest, ReceiveTimesOut) {
  for (bool full : {false, true}) {
    SCOPED_TRACE(full ? "full store" : "nothing comes");
    fresh_session();
    if (full) modem_.cpms = "\"SM\",3,3,\"SM\",3,3,\"SM\",3,3";
    ASSERT_TRUE(open());
    const int64_t start = clock_.calendar_seconds();
    ReceivedMessage message;
    EXPECT_FALSE(session_->receive(message, 3));
    EXPECT_EQ(session_->last_error(),
              full ? "Operation Timed out during SMS Receive. The message store was full (3 of 3)."
                   : "Operation Timed out during SMS Receive.");
    // Past the deadline, not before.
    EXPECT_EQ(clock_.calendar_seconds() - start, 4);
  }
}

TEST(TextFormatTest, SenderAndBody) {
  struct Row {
    const char* header;
    const char* sender;  // nullptr: refused
  } rows[] = {
      {"\"REC UNREAD\",\"5550103\",,\"24/01/01,12:00:01+00\"", "5550103"},
      {"\"REC READ\",\"+15551234\",,\"24/01/01,12:00:01+00\"", "+15551234"},
      {"\"REC READ\",\"15551234\",,\"24/01/01,12:00:01+00\",145,4,0,0,\"+1555\",145,5",
       "+15551234"},
      {"\"REC READ\",\"5551234\",,\"24/01/01,12:00:01+00\",129,4,0,0,\"+1555\",145,5", "5551234"},
      {"\"REC READ\",\"+15551234\",\"Ann\",\"24/01/01,12:00:01+00\",145", "+15551234"},
      {"\"REC READ\"", nullptr},
      {"\"REC READ\",,,\"24/01/01,12:00:01+00\"", nullptr},
  };
  TextFormat format;
  for (const Row& row : rows) {
    ReceivedMessage message;
    std::string error;
    bool ok = format.read_message(row.header, "the text", message, error);
    EXPECT_EQ(ok, row.sender != nullptr) << row.header;
    if (ok) {
      EXPECT_EQ(message.sender, row.sender) << row.header;
      EXPECT_EQ(message.text, "the text");
      // Nothing to decode in text mode.
      EXPECT_TRUE(format.decode(message, nullptr, error));
      EXPECT_EQ(message.text, "the text");
    } else {
      EXPECT_EQ(error, std::string("no sender in \"+CMGR: ") + escape_text(row.header) + "\"");
    }
  }
}

TEST(TextFormatTest, WhatCanBeSent) {
  struct Row {
    const char* number;
    std::string text;
    bool ok;
  } rows[] = {
      {"5550104", "hello", true},
      {"+15550104", "a \"quoted\" text", true},
      {"", "hello", false},
      {"55\"50", "hello", false},
      {"5550104",
       "ab\x1A"
       "c",
       false},
      {"5550104",
       "ab\x1B"
       "c",
       false},
      {"555\r0104", "hello", false},
  };
  TextFormat format;
  for (const Row& row : rows) {
    std::string command, payload, error;
    EXPECT_EQ(format.submit(row.number, row.text, command, payload, error), row.ok)
        << row.number << " " << row.text;
    if (row.ok) {
      EXPECT_EQ(command, std::string("AT+CMGS=\"") + row.number + "\"");
      EXPECT_EQ(payload, row.text);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

// Text mode has no parts: a text longer than one message is refused with a
// text that points at the pdu command set; one that just fits goes.
TEST(TextFormatTest, ATextLongerThanOneMessageIsRefused) {
  struct Row {
    const char* name;
    std::string text;
    bool utf8;
    const char* error;  // "" when it goes
  };
  std::string escapes80(80, '[');  // 160 septets
  std::string eurosUtf8;           // 81 euro signs: 162 septets in UTF-8
  for (int k = 0; k < 81; ++k) eurosUtf8 += "\xE2\x82\xAC";
  std::string cyrillic71;  // 71 characters without a 7-bit form
  for (int k = 0; k < 71; ++k) cyrillic71 += "\xD0\x96";
  const char kTail[] = "; the pdu command set sends a longer text in parts";
  const Row rows[] = {
      {"160Septets", std::string(160, 'x'), false, ""},
      {"161Septets", std::string(161, 'x'), false, "161 septets, at most 160"},
      {"EightyEscapes", escapes80, false, ""},
      {"EightyOneEscapes", escapes80 + "[", false, "162 septets, at most 160"},
      {"70Ucs2", std::string(70, '\xE2'), false, ""},
      {"71Ucs2", std::string(71, '\xE2'), false, "71 characters in UCS2, at most 70"},
      {"Utf8Euros", eurosUtf8, true, "162 septets, at most 160"},
      {"Utf8Cyrillic", cyrillic71, true, "71 characters in UCS2, at most 70"},
      {"Utf8Cyrillic70", cyrillic71.substr(2), true, ""},
  };
  for (const Row& row : rows) {
    TextFormat format;
    format.utf8Texts = row.utf8;
    std::string command, payload, error;
    const bool goes = *row.error == '\0';
    EXPECT_EQ(format.submit("5550104", row.text, command, payload, error), goes) << row.name;
    if (!goes) {
      EXPECT_EQ(error,
                std::string("Message text too long for one SMS in text mode: ") + row.error + kTail)
          << row.name;
    }
  }
}

// With utf8Texts: AT+CSCS="UCS2", and the number, the text and what is read
// back go as the hex of their UTF-16 code units.
TEST(TextFormatTest, Utf8TextsGoAsUcs2Hex) {
  TextFormat format;
  format.utf8Texts = true;
  EXPECT_EQ(format.setting_commands(), std::vector<std::string>{"AT+CSCS=\"UCS2\""});
  struct Row {
    std::string text;
    const char* hex;
  } rows[] = {
      {"\xE2\x82\xAC 5", "20AC00200035"},
      {"\xD0\x9F\xD1\x80\xD0\xB8", "041F04400438"},
      {"a\xF0\x9F\x98\x80", "0061D83DDE00"},
      {"ab\x1A", "00610062001A"},  // hex: a Ctrl-Z can't end the entry
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.hex);
    std::string command, payload, error;
    ASSERT_TRUE(format.submit("+1555", row.text, command, payload, error)) << error;
    EXPECT_EQ(command, "AT+CMGS=\"002B0031003500350035\"");
    EXPECT_EQ(payload, row.hex);
    ReceivedMessage message;
    ASSERT_TRUE(
        format.read_message("\"REC UNREAD\",\"002B0031003500350035\",,\"24/01/01,12:00:01+00\"",
                            std::string(row.hex) + "\r", message, error))
        << error;
    EXPECT_EQ(message.sender, "+1555");
    EXPECT_EQ(message.text, row.text);
  }
  // A plain sender is kept; a data line that is no UCS2 hex is refused.
  ReceivedMessage message;
  std::string error;
  EXPECT_TRUE(format.read_message("\"REC READ\",\"5551234\",,\"24/01/01,12:00:01+00\",129", "0041",
                                  message, error));
  EXPECT_EQ(message.sender, "5551234");
  EXPECT_EQ(message.text, "A");
  EXPECT_FALSE(format.read_message("\"REC READ\",\"5551234\"", "hello", message, error));
  EXPECT_EQ(error, "\"hello\" is not UCS2 hex");
  std::string command, payload;
  EXPECT_FALSE(format.submit("5550104", "caf\xE9", command, payload, error));
  // Off, the set is IRA as before.
  EXPECT_EQ(TextFormat().setting_commands(), std::vector<std::string>{"AT+CSCS=\"IRA\""});
}

}  // namespace

}  // namespace smstest
