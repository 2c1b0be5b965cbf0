// PduFormat alone and inside the standard session on the scripted fake
// device and the fake clock: the AT+CMGS line and the hex of a send in both
// alphabets, the texts and numbers refused before anything reaches the
// modem, and the +CMGR answers of PDU mode handed back as hex.
#include "modem/pdu_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
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

// "hello" from 5550103, as a modem in PDU mode lists it (service centre
// +15550000000, 1 January 2024 12:00:01 UTC).
const char kHelloPdu[] = "07915155000000F0040781550501F300004210102100100005E8329BFD06";

TEST(PduFormatTest, SubmitLineAndHex) {
  struct Row {
    const char* number;
    std::string text;
    const char* command;
    const char* hex;
  } rows[] = {
      // GSM 7-bit, national number: type 0x81.
      {"5550104", "hello", "AT+CMGS=17", "0011000781550501F40000AA05E8329BFD06"},
      // International: type 0x91, the '+' not among the digits.
      {"+15550104", "hello", "AT+CMGS=17", "0011000891515510400000AA05E8329BFD06"},
      // An extension character takes two septets: ESC 0x1B, then 0x3C.
      {"5550104", "[", "AT+CMGS=14", "0011000781550501F40000AA021B1E"},
      // A byte without a GSM 7-bit form sends the whole text in UCS2.
      {"+15550104", "a\xE2", "AT+CMGS=16", "0011000891515510400008AA04006100E2"},
      {"5550104", "\xE2", "AT+CMGS=14", "0011000781550501F40008AA0200E2"},
  };
  PduFormat mode;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.number) + " " + escape_text(row.text));
    std::string command, payload, error;
    ASSERT_TRUE(mode.submit(row.number, row.text, command, payload, error)) << error;
    EXPECT_EQ(command, row.command);
    EXPECT_EQ(payload, row.hex);
    // <length> counts the TPDU: all octets but the service-centre "00".
    EXPECT_EQ(command, format("AT+CMGS=%zu", payload.size() / 2 - 1));
  }
}

TEST(PduFormatTest, WhatCannotBeSent) {
  struct Row {
    const char* number;
    std::string text;
    const char* why;  // a part of the error
  } rows[] = {
      {"5550104", std::string(160, 'a'), nullptr},
      {"5550104", std::string(161, 'a'), "161 septets in the GSM 7-bit alphabet, at most 160"},
      {"5550104", std::string(80, '{'), nullptr},
      {"5550104", std::string(80, '{') + "a", "161 septets"},
      {"5550104", std::string(70, '\xE2'), nullptr},
      {"5550104", std::string(71, '\xE2'), "71 characters in UCS2, at most 70"},
      {"", "hello", "Cannot send the message in PDU mode: "},
      {"555-0104", "hello", "Cannot send the message in PDU mode: "},
      {"5550104\r", "hello", "Cannot send the message in PDU mode: "},
      {"+", "hello", "Cannot send the message in PDU mode: "},
      {"123456789012345678901", "hello", "Cannot send the message in PDU mode: "},
  };
  PduFormat mode;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.number) + " " + std::to_string(row.text.size()));
    std::string command = "before", payload = "before", error;
    const bool ok = mode.submit(row.number, row.text, command, payload, error);
    if (row.why == nullptr) {
      EXPECT_TRUE(ok) << error;
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("Cannot send the message in PDU mode: ", 0), 0u) << error;
    EXPECT_NE(error.find(row.why), std::string::npos) << error;
  }
}

TEST(PduFormatTest, ReadMessageHandsBackTheHex) {
  struct Row {
    const char* header;
    std::string data;
    const char* body;  // nullptr: refused
  } rows[] = {
      {"0,,22", kHelloPdu, kHelloPdu},
      {"1,\"Ann\",22", kHelloPdu, kHelloPdu},
      {"1,,22", std::string(" ") + kHelloPdu + " \t", kHelloPdu},
      // Not for this format to judge: the pickup's decoder refuses it.
      {"0,,22", "07915155000000F004", "07915155000000F004"},
      {"0,,22", "", nullptr},
      {"0,,22", "  ", nullptr},
  };
  PduFormat mode;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.header + std::string(" / ") + row.data);
    ReceivedMessage message;
    message.sender = "old";
    std::string error;
    const bool ok = mode.read_message(row.header, row.data, message, error);
    EXPECT_EQ(ok, row.body != nullptr);
    if (ok) {
      EXPECT_EQ(message.raw, row.body);
      EXPECT_EQ(message.sender, "");
      EXPECT_EQ(message.text, "");  // not decoded yet
    } else {
      EXPECT_EQ(error, format("no PDU after \"+CMGR: %s\"", row.header));
    }
  }
}

// The decode gives the sender with its type of address, so that a reply
// reaches it, the text, the alphabet and the concatenation element.
TEST(PduFormatTest, DecodeTakesTheRecordOutOfThePdu) {
  struct Row {
    const char* pdu;
    const char* sender;
    bool concatenated;
  } rows[] = {
      {"00040B912143658709F100006050403020100005E8329BFD06", "+12345678901", false},
      {"00040B812143658709F100006050403020100005E8329BFD06", "12345678901", false},  // unknown
      {"00040BA12143658709F100006050403020100005E8329BFD06", "12345678901", false},  // national
      {"00040791550501F300006050403020100005E8329BFD06", "+5550103", false},  // international
      {"000408D0D4F29C0E00006050403020100005E8329BFD06", "Test", false},      // a name
      // Part 1 of 2 of message 0x2A: the header takes 7 septets.
      {"00440B912143658709F10000605040302010000C0500032A0201D06536FB0D", "+12345678901", true},
  };
  PduFormat mode;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pdu);
    ReceivedMessage message;
    message.raw = row.pdu;
    std::string error;
    ASSERT_TRUE(mode.decode(message, nullptr, error)) << error;
    EXPECT_EQ(message.sender, row.sender);
    EXPECT_EQ(message.text, "hello");
    EXPECT_EQ(message.alphabet, Alphabet::kGsm7);
    EXPECT_EQ(message.concatenation.present, row.concatenated);
    if (row.concatenated) {
      EXPECT_EQ(message.concatenation.reference, 0x2A);
      EXPECT_EQ(message.concatenation.total, 2);
      EXPECT_EQ(message.concatenation.sequence, 1);
    }
  }
}

// With utf8Texts the text is UTF-8: the euro sign goes in 7-bit (escape and
// 0x65), Cyrillic and an emoji (a surrogate pair) in UCS2, and the PDU
// decodes back to the same UTF-8, where the ISO-8859-1 form has '?'.
TEST(PduFormatTest, Utf8TextsGoAndComeBackWhole) {
  struct Row {
    std::string text;
    const char* command;
    const char* hex;
    const char* latin1;  // what decode gives without utf8Texts
  } rows[] = {
      {"\xE2\x82\xAC", "AT+CMGS=14", "0011000781550501F40000AA029B32", "\xA4"},
      {"\xD0\x9F\xD1\x80\xD0\xB8", "AT+CMGS=18", "0011000781550501F40008AA06041F04400438", "???"},
      {"\xF0\x9F\x98\x80", "AT+CMGS=16", "0011000781550501F40008AA04D83DDE00", "??"},
      {"caf\xC3\xA9", "AT+CMGS=16", "0011000781550501F40000AA04E3B0B900", "caf\xE9"},
  };
  PduFormat utf8;
  utf8.utf8Texts = true;
  PduFormat latin1;
  for (const Row& row : rows) {
    SCOPED_TRACE(escape_text(row.text));
    std::string command, payload, error;
    ASSERT_TRUE(utf8.submit("5550104", row.text, command, payload, error)) << error;
    EXPECT_EQ(command, row.command);
    EXPECT_EQ(payload, row.hex);

    DeliverMessage sent;
    sent.originator = "+15550103";
    sent.text = row.text;
    sent.utf8 = true;
    EncodedPdu pdu;
    ASSERT_TRUE(encode_sms_deliver(sent, pdu, error)) << error;
    ReceivedMessage message;
    message.raw = pdu.hex;
    ASSERT_TRUE(utf8.decode(message, nullptr, error)) << error;
    EXPECT_EQ(message.text, row.text);
    EXPECT_EQ(message.sender, "+15550103");
    ReceivedMessage old;
    old.raw = pdu.hex;
    ASSERT_TRUE(latin1.decode(old, nullptr, error)) << error;
    EXPECT_EQ(old.text, row.latin1);
  }
  std::string command, payload, error;
  EXPECT_FALSE(utf8.submit("5550104", "caf\xE9", command, payload, error));
  EXPECT_EQ(error, "Cannot send the message in PDU mode: Message text is not valid UTF-8");
}

// A PDU that does not decode is named as the modem gave it; the decoder's
// trace goes to the error stream and the log it is given.
TEST(PduFormatTest, AnUndecodablePduIsNamed) {
  PduFormat mode;
  ReceivedMessage message;
  message.raw = "00";
  std::string error;
  const std::string path = make_temp_dir("pdu_decode") + "/trace.log";
  FILE* log = std::fopen(path.c_str(), "wb");
  ASSERT_NE(log, nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(mode.decode(message, log, error));
  const char kTrace[] = "decoder error, address exceeds data boundary, PDU too short\n";
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kTrace);
  std::fclose(log);
  EXPECT_EQ(error, "Cannot decode 00\n");
  EXPECT_EQ(read_file(path), kTrace);
}

// What the modem gave is refused unless it is whole octets of hex, and is
// named escaped; a UCS2 NUL is a character of the text; a character the
// text can't hold is noted in the log only, not on the error stream of a
// run that goes on.
TEST(PduFormatTest, BytesFromTheModemInTexts) {
  const std::string head = "07915155000000F0040781550501F3000842101021001000";
  struct Row {
    const char* name;
    std::string raw;
    bool decodes;
    std::string error;  // or the text
    std::string err;    // on the error stream
    std::string log;    // in the log
  } const rows[] = {
      {"control bytes and quotes", "0791\r\x07\"F0", false, "Cannot decode 0791\\r\\x07\\\"F0\n",
       "Cannot decode a PDU with a byte that is no hex digit\n",
       "Cannot decode a PDU with a byte that is no hex digit\n"},
      {"odd number of digits", std::string(kHelloPdu) + "0", false,
       "Cannot decode " + std::string(kHelloPdu) + "0\n",
       "Cannot decode an odd number of hex digits (61)\n",
       "Cannot decode an odd number of hex digits (61)\n"},
      {"UCS2 NUL", head + "06004100000042", true, std::string("A\0B", 3), "", ""},
      {"UCS2 beyond ISO-8859-1", head + "06004120AC0042", true, "A?B", "",
       "Error calling wctomb!\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PduFormat mode;
    ReceivedMessage message;
    message.raw = row.raw;
    std::string error;
    const std::string path = make_temp_dir("pdu_bytes") + "/trace.log";
    FILE* log = std::fopen(path.c_str(), "wb");
    ASSERT_NE(log, nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(mode.decode(message, log, error), row.decodes);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), row.err);
    std::fclose(log);
    EXPECT_EQ(row.decodes ? message.text : error, row.error);
    EXPECT_EQ(read_file(path), row.log);
  }
}

// The standard session in PDU mode before a modem that answers the PDU-mode
// commands with kHelloPdu at index 4.
class PduSessionTest : public ::testing::Test {
 protected:
  PduSessionTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    device_->set_responder([this](const std::string& w) { return respond(w); });
    session_.reset(new StandardSession(std::unique_ptr<MessageFormat>(new PduFormat),
                                       std::move(owned), clock_));
  }

  std::vector<std::string> respond(const std::string& written) {
    if (!written.empty() && written.back() == 0x1A) return {"\r\n+CMGS: 3\r\n\r\nOK\r\n"};
    std::string command = written;
    if (!command.empty() && command.back() == '\r') command.pop_back();
    if (command.rfind("AT+CMGS=", 0) == 0) return {"\r\n> "};
    if (command == "AT+CMGL=4") {
      if (!held_) return {kOk};
      return {format("\r\n+CMGL: 4,0,,22\r\n%s\r\n%s", kHelloPdu, kOk)};
    }
    if (command == "AT+CMGR=4") {
      if (!held_) return {"\r\n+CMS ERROR: 321\r\n"};
      return {format("\r\n+CMGR: 0,,22\r\n%s\r\n%s", kHelloPdu, kOk)};
    }
    if (command == "AT+CPMS?")
      return {std::string("\r\n+CPMS: \"SM\",0,50,\"SM\",0,50,\"SM\",0,50\r\n") + kOk};
    if (command == "AT+CMGF=1" || command == "AT+CSCS=\"IRA\"") return {"\r\nERROR\r\n"};
    return {kOk};
  }

  bool open() { return session_->open(3, 115200, 60, clock_.calendar_seconds()); }

  std::vector<std::string> writes_after_handshake() const {
    const std::vector<std::string>& all = device_->writes();
    // The handshake ends with "ATE0", the first "AT" answered or not.
    auto echoOff = std::find(all.begin(), all.end(), std::string("ATE0\r"));
    return std::vector<std::string>(echoOff == all.end() ? all.begin() : echoOff + 1, all.end());
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the session's port
  std::unique_ptr<StandardSession> session_;
  bool held_ = false;
};

TEST_F(PduSessionTest, OpenSelectsPduModeAndSetsNoCharacterSet) {
  ASSERT_TRUE(open()) << session_->last_error();
  EXPECT_EQ(writes_after_handshake(),
            (std::vector<std::string>{"AT+CMEE=1\r", "AT+CMGF=0\r", "AT+CNMI=2,1,0,0,0\r",
                                      "AT+CMGL=4\r"}));
}

TEST_F(PduSessionTest, SendWritesTheLengthThenTheHex) {
  ASSERT_TRUE(open()) << session_->last_error();
  SendReceipt receipt;
  ASSERT_TRUE(session_->send({"+15550104", "hello"}, receipt, 30)) << session_->last_error();
  const std::vector<std::string>& w = device_->writes();
  ASSERT_GE(w.size(), 2u);
  EXPECT_EQ(w[w.size() - 2], "AT+CMGS=17\r");
  EXPECT_EQ(w.back(), "0011000891515510400000AA05E8329BFD06\x1A");
}

TEST_F(PduSessionTest, ATextOfTooManyPartsFailsBeforeAnyWrite) {
  struct Row {
    const char* name;
    std::string text;
    int maxParts;
    int parts;  // what the text would take
  };
  const Row rows[] = {
      {"ElevenSeptetParts", std::string(10 * 153 + 1, 'x'), 10, 11},
      {"ElevenUcs2Parts", std::string(10 * 67 + 1, '\xE2'), 10, 11},
      {"ThreeOverACeilingOfTwo", std::string(307, 'x'), 2, 3},
      {"TwoOverACeilingOfOne", std::string(161, 'x'), 1, 2},
  };
  ASSERT_TRUE(open()) << session_->last_error();
  const size_t writes = device_->writes().size();
  for (const Row& row : rows) {
    SendReceipt receipt;
    OutgoingMessage message{"5550104", row.text};
    message.maxParts = row.maxParts;
    EXPECT_FALSE(session_->send(message, receipt, 30)) << row.name;
    EXPECT_EQ(session_->last_error(),
              format("Cannot send the message in PDU mode: Message text too long: %d parts, at "
                     "most %d (option maxParts)",
                     row.parts, row.maxParts))
        << row.name;
    EXPECT_EQ(device_->writes().size(), writes) << row.name;
  }
}

// The sends of a long text: one AT+CMGS per part, in order, each payload a
// part of the text under the session's concatenation reference.
class PartSendTest : public PduSessionTest {
 protected:
  PartSendTest() {
    device_->set_responder([this](const std::string& w) -> std::vector<std::string> {
      if (!w.empty() && w.back() == 0x1A) {
        ++texts_;
        if (texts_ == failAt_) return {"\r\n+CMS ERROR: 500\r\n"};
        return {format("\r\n+CMGS: %d\r\n\r\nOK\r\n", 40 + texts_)};
      }
      return respond(w);
    });
  }

  // The AT+CMGS lines and payloads written since `from`.
  void sends_since(size_t from, std::vector<std::string>& commands,
                   std::vector<std::string>& payloads) const {
    const std::vector<std::string>& all = device_->writes();
    for (size_t k = from; k < all.size(); ++k) {
      if (all[k].rfind("AT+CMGS=", 0) == 0) commands.push_back(all[k]);
      if (!all[k].empty() && all[k].back() == 0x1A) {
        payloads.push_back(all[k].substr(0, all[k].size() - 1));
      }
    }
  }

  int texts_ = 0;
  int failAt_ = -1;
};

TEST_F(PartSendTest, ALongTextGoesInPartsEachConfirmedOnItsOwn) {
  struct Row {
    const char* name;
    std::string text;
    int referenceBits;
    size_t parts;
  };
  std::string escapes;  // 153 septets: 76 escape pairs and one more '{' left for part 2
  for (int k = 0; k < 77; ++k) escapes += '{';
  const Row rows[] = {
      {"161Septets", std::string(161, 'x'), 8, 2},
      {"306Septets", std::string(306, 'y'), 8, 2},
      {"307Septets", std::string(307, 'z'), 8, 3},
      {"305SeptetsSixteenBits", std::string(305, 'w'), 16, 3},
      {"EscapeNotCut", escapes + std::string(153, 'e'), 8, 3},
      {"71Ucs2", std::string(71, '\xE2'), 8, 2},
      {"134Ucs2", std::string(134, '\xE2'), 8, 2},
      {"135Ucs2", std::string(135, '\xE2'), 8, 3},
      {"133Ucs2SixteenBits", std::string(133, '\xE2'), 16, 3},
  };
  ASSERT_TRUE(open()) << session_->last_error();
  session_->use_references(ConcatReferences(0x12FE));
  int64_t frequency = 0;
  ASSERT_TRUE(clock_.read_counter_frequency(frequency));
  int expectedReference = 0x12FE;
  for (const Row& row : rows) {
    const size_t before = device_->writes().size();
    texts_ = 0;
    SendReceipt receipt;
    OutgoingMessage message{"+15550104", row.text};
    message.referenceBits = row.referenceBits;
    ASSERT_TRUE(session_->send(message, receipt, 30)) << row.name << session_->last_error();
    const int reference =
        row.referenceBits == 16 ? expectedReference & 0xFFFF : expectedReference & 0xFF;
    ++expectedReference;
    EXPECT_EQ(receipt.concatReference, reference) << row.name;
    EXPECT_EQ(receipt.concatReferenceBits, row.referenceBits) << row.name;
    std::vector<std::string> commands, payloads;
    sends_since(before, commands, payloads);
    ASSERT_EQ(payloads.size(), row.parts) << row.name;
    ASSERT_EQ(commands.size(), row.parts) << row.name;
    ASSERT_EQ(receipt.parts.size(), row.parts) << row.name;
    std::string joined;
    for (size_t k = 0; k < row.parts; ++k) {
      SmsSubmit submit;
      std::string error;
      ASSERT_TRUE(decode_sms_submit(payloads[k], submit, error)) << row.name << error;
      EXPECT_EQ(commands[k], format("AT+CMGS=%d\r", submit.tpduLength)) << row.name;
      EXPECT_EQ(submit.udhi, 1) << row.name;
      const std::vector<unsigned char> header =
          row.referenceBits == 16
              ? std::vector<unsigned char>{0x08,
                                           0x04,
                                           static_cast<unsigned char>(reference >> 8),
                                           static_cast<unsigned char>(reference & 0xFF),
                                           static_cast<unsigned char>(row.parts),
                                           static_cast<unsigned char>(k + 1)}
              : std::vector<unsigned char>{0x00, 0x03, static_cast<unsigned char>(reference),
                                           static_cast<unsigned char>(row.parts),
                                           static_cast<unsigned char>(k + 1)};
      EXPECT_EQ(submit.header, header) << row.name << " part " << k + 1;
      joined += submit.text;
      // Each part its own confirmation and reference, timed from its own
      // hand-over.
      EXPECT_EQ(receipt.parts[k].reference, 41 + static_cast<int>(k)) << row.name;
      EXPECT_LE(receipt.parts[k].sendStart, receipt.parts[k].confirmedAt) << row.name;
      if (k > 0) {
        EXPECT_GE(receipt.parts[k].sendStart, receipt.parts[k - 1].confirmedAt);
      }
    }
    EXPECT_EQ(joined, row.text) << row.name;
    EXPECT_EQ(receipt.sendStart, receipt.parts.front().sendStart) << row.name;
    EXPECT_EQ(receipt.sendEnd, receipt.parts.back().confirmedAt) << row.name;
  }
}

TEST_F(PartSendTest, ATextThatFitsOneMessageGoesAsBefore) {
  ASSERT_TRUE(open()) << session_->last_error();
  for (const std::string& text :
       {std::string(160, 'x'), std::string(70, '\xE2'), std::string("hi")}) {
    const size_t before = device_->writes().size();
    SendReceipt receipt;
    ASSERT_TRUE(session_->send({"+15550104", text, true}, receipt, 30)) << session_->last_error();
    std::string command, payload, error;
    PduFormat single;
    single.requestReport = true;
    ASSERT_TRUE(single.submit("+15550104", text, command, payload, error)) << error;
    std::vector<std::string> commands, payloads;
    sends_since(before, commands, payloads);
    EXPECT_EQ(commands, std::vector<std::string>{command + "\r"});
    EXPECT_EQ(payloads, std::vector<std::string>{payload});
    EXPECT_EQ(receipt.concatReference, -1);
    EXPECT_EQ(receipt.concatReferenceBits, 0);
    EXPECT_EQ(receipt.parts.size(), 1u);
  }
}

TEST_F(PartSendTest, TwoLongMessagesNeverShareAReference) {
  ASSERT_TRUE(open()) << session_->last_error();
  // The 8-bit reference wraps from 255 to 0, the next message still apart.
  session_->use_references(ConcatReferences(0x00FF));
  SendReceipt first, second;
  ASSERT_TRUE(session_->send({"+15550104", std::string(200, 'a')}, first, 30));
  ASSERT_TRUE(session_->send({"+15550104", std::string(200, 'b')}, second, 30));
  EXPECT_EQ(first.concatReference, 255);
  EXPECT_EQ(second.concatReference, 0);
}

TEST_F(PartSendTest, AFailedPartEndsTheSendKeepingThePartsConfirmed) {
  ASSERT_TRUE(open()) << session_->last_error();
  failAt_ = 2;
  SendReceipt receipt;
  EXPECT_FALSE(session_->send({"+15550104", std::string(400, 'a')}, receipt, 30));
  EXPECT_NE(session_->last_error().find("+CMS ERROR: 500"), std::string::npos)
      << session_->last_error();
  ASSERT_EQ(receipt.parts.size(), 1u);
  EXPECT_EQ(receipt.parts[0].reference, 41);
  EXPECT_EQ(texts_, 2);  // the third part was never offered
}

TEST_F(PduSessionTest, LongMessagesAreTimedWhenTheirConfirmationArrives) {
  // The confirmation 300 ms after the text, with or without an echo of the
  // long hex first: sendTime is the 300 ms whatever the length and alphabet
  // (a read that ran its whole request past the answer made it 400).
  struct Row {
    const char* name;
    std::string text;
    bool echo;
  };
  const Row rows[] = {
      {"OneSeptet", "x", false},
      {"160Septets", std::string(160, 'x'), false},
      {"160SeptetsEchoed", std::string(160, 'x'), true},
      {"70Ucs2", std::string(70, '\xE2'), false},
      {"70Ucs2Echoed", std::string(70, '\xE2'), true},
  };
  ASSERT_TRUE(open()) << session_->last_error();
  int64_t frequency = 0;
  ASSERT_TRUE(clock_.read_counter_frequency(frequency));
  for (const Row& row : rows) {
    const std::string confirmation = "\r\n+CMGS: 3\r\n\r\nOK\r\n";
    if (row.echo) {
      // The echo in five pieces 60 ms apart, the confirmation 60 ms after
      // the last.
      std::string command, payload, error;
      ASSERT_TRUE(PduFormat().submit("+15550104", row.text, command, payload, error)) << error;
      const std::string echo = payload + "\x1A";
      std::vector<std::string> chunks;
      const size_t piece = echo.size() / 5 + 1;
      for (size_t at = 0; at < echo.size(); at += piece) chunks.push_back(echo.substr(at, piece));
      ASSERT_EQ(chunks.size(), 5u);
      chunks.push_back(confirmation);
      device_->on_write("\x1A", chunks, 0, 1, 60);
    } else {
      device_->on_write("\x1A", {confirmation}, 300);
    }
    SendReceipt receipt;
    ASSERT_TRUE(session_->send({"+15550104", row.text}, receipt, 30)) << row.name;
    const int64_t sendMs = (receipt.sendEnd - receipt.sendStart) * 1000 / frequency;
    EXPECT_GE(sendMs, 300) << row.name;
    EXPECT_LE(sendMs, 301) << row.name;
    ASSERT_EQ(receipt.parts.size(), 1u) << row.name;
    EXPECT_EQ(receipt.parts[0].reference, 3) << row.name;
  }
}

TEST_F(PduSessionTest, AnnouncedMessageComesBackAsItsPdu) {
  ASSERT_TRUE(open()) << session_->last_error();
  held_ = true;
  device_->queue("\r\n+CMTI: \"SM\",4\r\n", 1000);
  ReceivedMessage message;
  ASSERT_TRUE(session_->receive(message, 30)) << session_->last_error();
  EXPECT_EQ(message.raw, kHelloPdu);
  EXPECT_EQ(message.storeIndex, 4);
  EXPECT_EQ(device_->writes().back(), "AT+CMGR=4\r");
  ASSERT_TRUE(session_->delete_messages()) << session_->last_error();
  EXPECT_EQ(device_->writes().back(), "AT+CMGD=4\r");
  // Decoded after the delete.
  ASSERT_TRUE(session_->decode(message)) << session_->last_error();
  EXPECT_EQ(message.sender, "5550103");
  EXPECT_EQ(message.text, "hello");
}

}  // namespace

}  // namespace smstest
