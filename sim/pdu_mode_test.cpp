// The PDU mode of the standard SMS commands, on the modem alone: the wire
// formats of AT+CMGS=<length>, AT+CMGL=<stat> and AT+CMGR, the PDUs checked
// against the decoders of pdu/, the refusals, and the bad-pdu fault.
#include "sim/pdu_mode.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "pdu/gsm7_encode.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"
#include "sim/modem.h"
#include "sim/records.h"

namespace smstest {
namespace {

std::string joined(const Reply& reply) {
  std::string out;
  for (const AnswerPiece& piece : reply.pieces) out += piece.bytes;
  return out;
}

std::string type(SimModem& modem, const std::string& bytes, std::vector<Reply>* got = nullptr) {
  std::vector<Reply> replies;
  modem.receive(bytes.data(), bytes.size(), replies);
  std::string out;
  for (const Reply& reply : replies) out += joined(reply);
  if (got != nullptr) got->insert(got->end(), replies.begin(), replies.end());
  return out;
}

ModemConfig modem_with(const std::string& options = "") {
  ModemConfig config;
  std::string error;
  EXPECT_TRUE(parse_modem_argument("COM3=5550103" + options, config, error)) << error;
  return config;
}

// A modem as a tool leaves it for PDU mode: echo off, numeric error codes.
void open_pdu_mode(SimModem& modem) {
  ASSERT_EQ("\r\nOK\r\n\r\nOK\r\n", type(modem, "ATE0\rAT+CMEE=1\rAT+CMGF=0\r").substr(11));
}

EncodedPdu submit(const std::string& to, const std::string& text,
                  TextCoding coding = TextCoding::kAuto) {
  EncodedPdu pdu;
  std::string error;
  SubmitOptions options;
  options.coding = coding;
  EXPECT_TRUE(encode_sms_submit(to, text, pdu, error, options)) << error;
  return pdu;
}

// Sends `pdu` with AT+CMGS=`length`; returns the message the network got,
// or "-" when none went.
std::string send_pdu(SimModem& modem, const std::string& hex, int length, std::string* answer,
                     std::string* to = nullptr) {
  std::string prompt = type(modem, format("AT+CMGS=%d\r", length));
  if (prompt != "\r\n> ") {
    *answer = prompt;
    return "-";
  }
  std::vector<Reply> replies;
  *answer = type(modem, hex + "\x1a", &replies);
  for (const Reply& reply : replies) {
    if (reply.sends) {
      if (to != nullptr) *to = reply.to;
      return reply.text;
    }
  }
  return "-";
}

// The PDU line of a one-message answer to AT+CMGR or AT+CMGL.
std::string pdu_line(const std::string& answer) {
  size_t start = answer.find("\r\n", 2) + 2;
  return answer.substr(start, answer.find("\r\n", start) - start);
}

TEST(PduMode, ListedPduWireFormat) {
  // The service centre, then TP-MTI 00 with TP-MMS, TP-OA, PID 00, DCS, the
  // time stamp of 1970-01-01 00:00:00 +00, TP-UDL and the user data.
  struct Case {
    const char* from;
    std::string text;
    int64_t arrived;
    const char* hex;
    int length;
  } cases[] = {
      {"+15551234", "hi", 0, "07915155000000F00408915155214300000710100000000002E834", 19},
      {"5550104", "hi", 0, "07915155000000F0040781550501F400000710100000000002E834", 19},
      {"+15551234", "`", 951827696, "07915155000000F004089151552143000800209221436500020060", 19},
      {"5550104", "", 0, "07915155000000F0040781550501F400000710100000000000", 17},
  };
  for (const Case& c : cases) {
    StoredMessage m;
    m.from = c.from;
    m.text = c.text;
    m.arrived = c.arrived;
    ListedPdu pdu;
    std::string error;
    ASSERT_TRUE(listed_pdu(m, PduDamage::none, pdu, error)) << error;
    EXPECT_EQ(c.hex, pdu.hex) << c.from << " " << c.text;
    EXPECT_EQ(c.length, pdu.length) << c.from << " " << c.text;
  }
}

TEST(PduMode, ListedPdusDecodeToTheStoredMessage) {
  // Every byte of ISO-8859-1, in texts that fit one message: the 7-bit
  // alphabet for those that map, UCS2 for the rest.
  std::vector<std::string> texts;
  std::string gsm, other;
  for (int c = 0; c < 256; ++c) {
    std::string one(1, static_cast<char>(c));
    (maps_to_gsm7(one) ? gsm : other) += one;
  }
  for (size_t i = 0; i < gsm.size(); i += 80) texts.push_back(gsm.substr(i, 80));
  for (size_t i = 0; i < other.size(); i += 70) texts.push_back(other.substr(i, 70));
  texts.push_back(std::string(160, 'x'));
  texts.push_back(std::string(80, '{'));
  for (const std::string& text : texts) {
    for (const char* from : {"+4915550000123", "5550104"}) {
      StoredMessage m;
      m.from = from;
      m.text = text;
      m.arrived = 1735689599;  // 2024-12-31 23:59:59
      ListedPdu pdu;
      std::string error;
      ASSERT_TRUE(listed_pdu(m, PduDamage::none, pdu, error)) << error;
      EXPECT_EQ(2 * (8 + pdu.length), static_cast<int>(pdu.hex.size()));
      std::unique_ptr<SmsDeliver> sms = decode_pdu(pdu.hex.c_str(), nullptr);
      ASSERT_TRUE(sms != nullptr) << pdu.hex;
      EXPECT_EQ(escape_bytes(text), escape_bytes(sms->text)) << pdu.hex;
      EXPECT_EQ(maps_to_gsm7(text) ? 0x00 : 0x08, sms->dataCodingScheme) << pdu.hex;
      bool international = from[0] == '+';
      EXPECT_EQ(international ? 0x91 : 0x81, sms->originator.type);
      EXPECT_EQ(international ? std::string(from + 1) : std::string(from),
                address_text(sms->originator));
      EXPECT_EQ((std::array<int, 7>{0x24, 0x12, 0x31, 0x23, 0x59, 0x59, 0x00}), sms->timestamp);
    }
  }
}

TEST(PduMode, TextsLongerThanOneMessageShowTheirStart) {
  struct Case {
    std::string text;
    std::string shown;
  } cases[] = {
      {std::string(200, 'a'), std::string(160, 'a')},
      {std::string(159, 'a') + "[b", std::string(159, 'a')},  // the escape stays with its code
      {std::string(158, 'a') + "[b", std::string(158, 'a') + "["},
      {std::string(100, '`'), std::string(70, '`')},
      {"`" + std::string(100, 'a'), "`" + std::string(69, 'a')},
  };
  for (const Case& c : cases) {
    StoredMessage m;
    m.from = "5550104";
    m.text = c.text;
    ListedPdu pdu;
    std::string error;
    ASSERT_TRUE(listed_pdu(m, PduDamage::none, pdu, error)) << error;
    std::unique_ptr<SmsDeliver> sms = decode_pdu(pdu.hex.c_str(), nullptr);
    ASSERT_TRUE(sms != nullptr);
    EXPECT_EQ(c.shown, sms->text) << c.text.size();
  }
}

TEST(PduMode, BadPduIsRefusedByTheDecoder) {
  for (PduDamage damage : {PduDamage::cut, PduDamage::header}) {
    for (const char* text : {"", "a", "hi there", "`", "`\xe9t\xe9", "1234567"}) {
      StoredMessage m;
      m.from = "+15551234";
      m.text = text;
      ListedPdu good, bad;
      std::string error;
      ASSERT_TRUE(listed_pdu(m, PduDamage::none, good, error));
      ASSERT_TRUE(listed_pdu(m, damage, bad, error));
      int kind = static_cast<int>(damage);
      EXPECT_NE(good.hex, bad.hex) << kind << " " << text;
      EXPECT_EQ(2 * (8 + bad.length), static_cast<int>(bad.hex.size())) << kind << " " << text;
      EXPECT_TRUE(decode_pdu(good.hex.c_str(), nullptr) != nullptr);
      EXPECT_TRUE(decode_pdu(bad.hex.c_str(), nullptr) == nullptr) << kind << " " << bad.hex;
      if (damage == PduDamage::header) {
        EXPECT_EQ(good.length, bad.length);
        EXPECT_EQ("44", bad.hex.substr(16, 2));  // TP-MMS and TP-UDHI
      } else {
        EXPECT_LT(bad.length, good.length);
        EXPECT_EQ(0u, good.hex.find(bad.hex));
      }
    }
  }
}

TEST(PduMode, SendTakesAnSmsSubmit) {
  SimModem modem(modem_with());
  open_pdu_mode(modem);
  EncodedPdu pdu = submit("5550104", "hello");
  std::vector<Reply> replies;
  EXPECT_EQ("\r\n> ", type(modem, format("AT+CMGS=%d\r", pdu.tpduLength), &replies));
  EXPECT_TRUE(modem.in_text_entry());
  EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", type(modem, pdu.hex + "\x1a", &replies));
  ASSERT_EQ(2u, replies.size());
  EXPECT_EQ(pdu.hex + "\x1a", replies[1].command);  // the record shows the hex as typed
  EXPECT_TRUE(replies[1].sends);
  EXPECT_EQ("5550104", replies[1].to);
  EXPECT_EQ("hello", replies[1].text);
  EXPECT_EQ(1, replies[1].ref);

  // An international destination keeps its "+"; a lower-case hex is hex.
  std::string answer, to;
  std::string hex = submit("+15550104", "x").hex;
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ("x", send_pdu(modem, hex, submit("+15550104", "x").tpduLength, &answer, &to));
  EXPECT_EQ("+15550104", to);
  EXPECT_EQ("\r\n+CMGS: 2\r\n\r\nOK\r\n", answer);
}

TEST(PduMode, SentTextsArriveByteForByte) {
  std::vector<std::pair<std::string, TextCoding>> texts;
  std::string gsm, all;
  for (int c = 0; c < 256; ++c) {
    std::string one(1, static_cast<char>(c));
    if (maps_to_gsm7(one)) gsm += one;
    all += one;
  }
  for (size_t i = 0; i < gsm.size(); i += 80)
    texts.push_back({gsm.substr(i, 80), TextCoding::kAuto});
  for (size_t i = 0; i < all.size(); i += 70)
    texts.push_back({all.substr(i, 70), TextCoding::kUcs2});
  texts.push_back({std::string(160, '@'), TextCoding::kAuto});
  texts.push_back({"", TextCoding::kAuto});
  for (const auto& [text, coding] : texts) {
    SimModem modem(modem_with());
    open_pdu_mode(modem);
    EncodedPdu pdu = submit("5550104", text, coding);
    std::string answer;
    EXPECT_EQ(escape_bytes(text), escape_bytes(send_pdu(modem, pdu.hex, pdu.tpduLength, &answer)))
        << pdu.hex;
    EXPECT_EQ("\r\n+CMGS: 1\r\n\r\nOK\r\n", answer) << pdu.hex;
  }
}

TEST(PduMode, RefusedSends) {
  const EncodedPdu good = submit("5550104", "hello");
  const int n = good.tpduLength;
  const std::string hex = good.hex;
  EncodedPdu deliver;
  std::string error;
  DeliverMessage message;
  message.originator = "5550104";
  message.text = "hello";
  ASSERT_TRUE(encode_sms_deliver(message, deliver, error));
  struct Case {
    const char* name;
    std::string command;  // "" for AT+CMGS=<n>
    std::string typed;    // after the prompt; "" when none comes
    std::string answer;   // to the command, or to the typed text
  } cases[] = {
      {"length one short", format("AT+CMGS=%d", n - 1), hex + "\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"length counting the service-centre octet", format("AT+CMGS=%d", n + 1), hex + "\x1a",
       "\r\n+CMS ERROR: 304\r\n"},
      {"length of the hex", format("AT+CMGS=%d", static_cast<int>(hex.size())), hex + "\x1a",
       "\r\n+CMS ERROR: 304\r\n"},
      {"odd digits", "", hex.substr(1) + "\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"not hex", "", hex.substr(0, 10) + "ZZ" + hex.substr(12) + "\x1a",
       "\r\n+CMS ERROR: 304\r\n"},
      {"cut short", "", hex.substr(0, hex.size() - 2) + "\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"octet after it", "", hex + "00\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"blank inside", "", hex.substr(0, 4) + " " + hex.substr(4) + "\x1a",
       "\r\n+CMS ERROR: 304\r\n"},
      {"an SMS-DELIVER", format("AT+CMGS=%d", deliver.tpduLength), deliver.hex + "\x1a",
       "\r\n+CMS ERROR: 304\r\n"},
      {"empty", "AT+CMGS=7", "\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"no destination", "AT+CMGS=8", "00110000810000AA00\x1a", "\r\n+CMS ERROR: 304\r\n"},
      {"zero length", "AT+CMGS=0", "", "\r\n+CMS ERROR: 304\r\n"},
      {"too long", "AT+CMGS=165", "", "\r\n+CMS ERROR: 304\r\n"},
      {"longest", "AT+CMGS=164", "\x1b", "\r\nOK\r\n"},
      {"text-mode form", "AT+CMGS=\"5550104\"", "", "\r\n+CMS ERROR: 304\r\n"},
      {"type of address", format("AT+CMGS=%d,129", n), "", "\r\n+CMS ERROR: 304\r\n"},
      {"no length", "AT+CMGS=", "", "\r\n+CMS ERROR: 304\r\n"},
      {"not a number", "AT+CMGS=x1", "", "\r\nERROR\r\n"},
      {"ESC cancels", "", hex + "\x1b", "\r\nOK\r\n"},
  };
  for (const Case& c : cases) {
    SimModem modem(modem_with());
    open_pdu_mode(modem);
    std::string command = c.command.empty() ? format("AT+CMGS=%d", n) : c.command;
    std::vector<Reply> replies;
    std::string first = type(modem, command + "\r", &replies);
    if (c.typed.empty()) {
      EXPECT_EQ(escape_bytes(c.answer), escape_bytes(first)) << c.name;
      EXPECT_FALSE(modem.in_text_entry()) << c.name;
    } else {
      ASSERT_EQ("\r\n> ", first) << c.name;
      EXPECT_EQ(escape_bytes(c.answer), escape_bytes(type(modem, c.typed, &replies))) << c.name;
    }
    for (const Reply& reply : replies) EXPECT_FALSE(reply.sends) << c.name;
    EXPECT_EQ("\r\nOK\r\n", type(modem, "AT\r")) << c.name;  // the entry is over
  }
}

TEST(PduMode, ReadingTheSubmittedPduNamesTheFault) {
  EncodedPdu good = submit("+15550104", "hello");
  SubmittedPdu out;
  std::string error;
  ASSERT_TRUE(read_submitted_pdu(good.hex, good.tpduLength, out, error)) << error;
  EXPECT_EQ("+15550104", out.to);
  EXPECT_EQ("hello", out.text);
  EXPECT_FALSE(read_submitted_pdu(good.hex, good.tpduLength + 1, out, error));
  EXPECT_EQ(format("SMS-SUBMIT TPDU of %d octets, but AT+CMGS announced %d", good.tpduLength,
                   good.tpduLength + 1),
            error);
  EXPECT_FALSE(read_submitted_pdu(good.hex.substr(1), good.tpduLength, out, error));
  EXPECT_NE(std::string::npos, error.find("odd number of hex digits")) << error;
  // An alphanumeric destination (type D0) is no number to route.
  EXPECT_FALSE(read_submitted_pdu("00110009D0C8329BFD060000AA0100", 14, out, error));
  EXPECT_NE(std::string::npos, error.find("is not a phone number")) << error;
  EXPECT_FALSE(read_submitted_pdu("00110000810000AA00", 8, out, error));
  EXPECT_EQ("SMS-SUBMIT destination \"\" (type 81) is not a phone number", error);
  EXPECT_EQ("+15550104", out.to);  // left as it was
}

TEST(PduMode, SendFaultsApplyInPduMode) {
  struct Case {
    const char* option;
    std::string answer;
    bool sends;
  } cases[] = {
      {",send-error=330", "\r\n+CMS ERROR: 330\r\n", false},
      {",send-refused", "\r\n+CMS ERROR: 500\r\n", false},
      {",cmgs-first", "+CMGS: 1\r\n", true},
      {",bare-prompt", "\r\n+CMGS: 1\r\n\r\nOK\r\n", true},
      {",urc-inside=RING", "\r\n+CMGS: 1\r\n\r\nRING\r\n\r\nOK\r\n", true},
  };
  EncodedPdu pdu = submit("5550104", "x");
  for (const Case& c : cases) {
    SimModem modem(modem_with(c.option));
    type(modem, "ATE0\rAT+CMEE=1\rAT+CMGF=0\r");
    type(modem, format("AT+CMGS=%d\r", pdu.tpduLength));
    std::vector<Reply> replies;
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(type(modem, pdu.hex + "\x1a", &replies)))
        << c.option;
    ASSERT_EQ(1u, replies.size()) << c.option;
    EXPECT_EQ(c.sends, replies[0].sends) << c.option;
  }
  SimModem busy(modem_with());
  open_pdu_mode(busy);
  busy.set_sim_busy(true);
  EXPECT_EQ("\r\n+CMS ERROR: 314\r\n", type(busy, "AT+CMGS=18\r"));
  EXPECT_EQ("\r\n+CME ERROR: 14\r\n", type(busy, "AT+CMGL=4\r"));
  EXPECT_EQ("\r\n+CME ERROR: 14\r\n", type(busy, "AT+CMGR=1\r"));
}

TEST(PduMode, ListingAndReadingByIndex) {
  SimModem modem(modem_with());
  open_pdu_mode(modem);
  ASSERT_EQ(1, modem.store("+15551234", "hi", 0));
  ASSERT_EQ(2, modem.store("5550104", "hi", 0));
  const std::string first = "07915155000000F00408915155214300000710100000000002E834";
  const std::string second = "07915155000000F0040781550501F400000710100000000002E834";
  EXPECT_EQ("\r\n+CMGL: 1,0,,19\r\n" + first + "\r\n+CMGL: 2,0,,19\r\n" + second + "\r\n\r\nOK\r\n",
            type(modem, "AT+CMGL=4\r"));
  // Listed, they are read: status 0 shows none, 1 both.
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGL=0\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGL\r"));
  EXPECT_NE(std::string::npos, type(modem, "AT+CMGL=1\r").find("+CMGL: 2,1,,19\r\n"));
  ASSERT_EQ(3, modem.store("5550105", "new", 60));
  std::string unread = type(modem, "AT+CMGL\r");  // without <stat>: the unread ones
  EXPECT_EQ(0u, unread.find("\r\n+CMGL: 3,0,,")) << unread;
  EXPECT_EQ(std::string::npos, unread.find("+CMGL: 1,")) << unread;
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGL=2\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGL=3\r"));

  ASSERT_EQ(4, modem.store("+15551234", "hi", 0));
  EXPECT_EQ("\r\n+CMGR: 0,,19\r\n" + first + "\r\n\r\nOK\r\n", type(modem, "AT+CMGR=4\r"));
  EXPECT_EQ("\r\n+CMGR: 1,,19\r\n" + first + "\r\n\r\nOK\r\n", type(modem, "AT+CMGR=4\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGD=4\r"));
  EXPECT_EQ("\r\n+CMS ERROR: 321\r\n", type(modem, "AT+CMGR=4\r"));

  struct Case {
    const char* command;
    const char* answer;
  } cases[] = {
      {"AT+CMGL=?", "\r\n+CMGL: (0-4)\r\n\r\nOK\r\n"},
      {"AT+CMGL=\"ALL\"", "\r\n+CMS ERROR: 304\r\n"},
      {"AT+CMGL=\"REC UNREAD\"", "\r\n+CMS ERROR: 304\r\n"},
      {"AT+CMGL=5", "\r\n+CMS ERROR: 304\r\n"},
      {"AT+CMGL=ALL", "\r\n+CMS ERROR: 304\r\n"},
      {"AT+CMGL=", "\r\nERROR\r\n"},
      {"AT+CMGL?", "\r\nERROR\r\n"},
      {"AT+CMGR=\"1\"", "\r\nERROR\r\n"},
      {"AT+CMGR=9", "\r\n+CMS ERROR: 321\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(escape_bytes(c.answer), escape_bytes(type(modem, std::string(c.command) + "\r")))
        << c.command;
  }
  // The numeric forms stay text-mode errors in text mode.
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CMGF=1\r"));
  EXPECT_EQ("\r\n+CMS ERROR: 305\r\n", type(modem, "AT+CMGL=4\r"));
  EXPECT_NE(std::string::npos, type(modem, "AT+CMGL=?\r").find("\"REC UNREAD\""));
}

TEST(PduMode, FaultsOnTheListing) {
  SimModem plain(modem_with(",poll-error"));
  open_pdu_mode(plain);
  EXPECT_EQ("\r\n+CMS ERROR: 321\r\n", type(plain, "AT+CMGL=4\r"));
  plain.store("+15551234", "hi", 0);
  EXPECT_NE(std::string::npos, type(plain, "AT+CMGL=4\r").find("+CMGL: 1,0,,19\r\n"));

  for (const char* option : {",bad-pdu", ",bad-pdu=cut", ",bad-pdu=header"}) {
    SimModem modem(modem_with(option));
    open_pdu_mode(modem);
    modem.store("+15551234", "hello there", 0);
    std::string listed = type(modem, "AT+CMGL=4\r");
    std::string read = type(modem, "AT+CMGR=1\r");
    int length = 0;
    ASSERT_EQ(1, sscanf(listed.c_str(), "\r\n+CMGL: 1,0,,%d", &length)) << listed;
    EXPECT_EQ(pdu_line(listed), pdu_line(read)) << option;
    EXPECT_EQ(2 * (8 + length), static_cast<int>(pdu_line(listed).size())) << option;
    EXPECT_TRUE(decode_pdu(pdu_line(read).c_str(), nullptr) == nullptr) << option;
    // Text mode shows the message as it is.
    type(modem, "AT+CMGF=1\r");
    EXPECT_NE(std::string::npos, type(modem, "AT+CMGR=1\r").find("\r\nhello there\r\n"));
  }
}

}  // namespace
}  // namespace smstest
