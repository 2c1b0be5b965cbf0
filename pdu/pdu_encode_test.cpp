#include "pdu/pdu_encode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pdu/sms_deliver.h"
#include "pdu/sms_submit.h"

namespace smstest {
namespace {

// The TPDU of a PDU given with its service-centre part.
std::string tpdu_of(const std::string& hex) {
  const int length = std::stoi(hex.substr(0, 2), nullptr, 16);
  return hex.substr(2 + 2 * length);
}

std::string all_bytes() {
  std::string text;
  for (int c = 0; c < 256; ++c) text += static_cast<char>(c);
  return text;
}

std::string repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// Runs decode_pdu with its trace caught, so that failures show it.
std::unique_ptr<SmsDeliver> decode_deliver(const std::string& hex, std::string& trace) {
  testing::internal::CaptureStderr();
  std::unique_ptr<SmsDeliver> sms = decode_pdu(hex.c_str(), nullptr);
  trace = testing::internal::GetCapturedStderr();
  return sms;
}

// Widely published SMS-SUBMIT PDUs (modem manuals, PDU-mode tutorials and
// test suites of SMS libraries) with the number and text they carry.  Ours
// carry no service-centre address, so the TPDUs must agree octet for octet;
// `validity` is the row's TP-VP (-1: none, first octet 0x01).
struct PublishedSubmit {
  const char* name;
  const char* number;
  std::string text;
  int validity;
  TextCoding coding;
  const char* published;
  int cmgsLength;  // the AT+CMGS length given with the example; 0 when none was
};

// clang-format off
const PublishedSubmit kPublished[] = {
    {"hellohello", "+46708251358", "hellohello", 0xAA, TextCoding::kAuto,
     "0011000B916407281553F80000AA0AE8329BFD4697D9EC37", 23},
    {"hellohello_12_digits", "+491726263897", "hellohello", 0xAA, TextCoding::kAuto,
     "0011000C919471626283790000AA0AE8329BFD4697D9EC37", 0},
    {"hello_4_days", "+905444178966", "hello", 0xAA, TextCoding::kAuto,
     "0011000C910945447198660000AA05E8329BFD06", 19},
    {"hello_one_hour", "+420123456789", "Hello", 0x8F, TextCoding::kAuto,
     "0011000C9124103254769800008F05C8329BFD06", 19},
    {"alarm", "+380980076969", "Alarm!!!", 0xFF, TextCoding::kAuto,
     "0011000C918390087096960000FF08417658DE0E8542", 21},
    {"test_message", "+447890123456", "test message", 0xFF, TextCoding::kAuto,
     "0011000C914487092143650000FF0CF4F29C0E6A97E7F3F0B90C", 0},
    {"bonjour", "+33663429874", "bonjour joffrey", 0x01, TextCoding::kAuto,
     "0011000B913366439278F40000010FE2B75BFDAECB41EAB7D92C2FE701", 0},
    // Published behind a service-centre address.
    {"lte", "+358401234567", "Testing a sms messaging over lte", 0x0B, TextCoding::kAuto,
     "069144888888F811000C9153481032547600000B20D4F29C9E769F4161D0BC3D07B5CBF379F89C769F416F7B590E"
     "62D3CB", 42},
    {"easy", "+85291234567", "It is easy to send text messages.", -1, TextCoding::kAuto,
     "07915892000000F001000B915892214365F7000021493A283D0795C3F33C88FE06CDCB6E32885EC6D341EDF27C"
     "1E3E97E72E", 0},
    // UCS2 to a national number, no validity period.
    {"ucs2_hello", "13421839693", "hello", -1, TextCoding::kUcs2,
     "0001000B813124819396F300080A00680065006C006C006F", 23},
};
// clang-format on

TEST(EncodeSmsSubmit, PublishedPdus) {
  for (const PublishedSubmit& row : kPublished) {
    SCOPED_TRACE(row.name);
    SubmitOptions options;
    options.validityPeriod = row.validity;
    options.coding = row.coding;
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_submit(row.number, row.text, pdu, error, options)) << error;
    EXPECT_EQ(pdu.hex, "00" + tpdu_of(row.published));
    EXPECT_EQ(2 * static_cast<size_t>(pdu.tpduLength) + 2, pdu.hex.size());
    if (row.cmgsLength != 0) {
      EXPECT_EQ(pdu.tpduLength, row.cmgsLength);
    }
    EXPECT_EQ(error, "");

    // The decoder reads the published PDU, service centre and all.
    SmsSubmit submit;
    ASSERT_TRUE(decode_sms_submit(row.published, submit, error)) << error;
    EXPECT_EQ(submit.number, row.number);
    EXPECT_EQ(submit.text, row.text);
    EXPECT_EQ(submit.tpduLength, pdu.tpduLength);
  }
}

TEST(EncodeSmsSubmit, FieldsAndAddressForms) {
  struct Case {
    const char* number;
    std::string text;
    const char* hex;
    int dcs;
    int udl;
  } cases[] = {
      // clang-format off
      // Even and odd digit counts; no '+' is type 0x81.
      {"1234", "hi", "00110004812143" "0000AA02E834", 0x00, 2},
      {"12345", "hi", "00110005812143F5" "0000AA02E834", 0x00, 2},
      {"+1", "", "0011000191F1" "0000AA00", 0x00, 0},
      {"+12345678901234567890", "", "0011001491" "21436587092143658709" "0000AA00", 0x00, 0},
      // An extension character takes an escape septet.
      {"+1", "[", "0011000191F1" "0000AA021B1E", 0x00, 2},
      // One byte without a 7-bit form puts the whole text in UCS2.
      {"+1", "a`", "0011000191F1" "0008AA0400610060", 0x08, 4},
      {"+1", std::string(1, '\0'), "0011000191F1" "0008AA020000", 0x08, 2},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number + (" " + testing::PrintToString(c.text)));
    EncodedPdu pdu;
    std::string error = "before";
    ASSERT_TRUE(encode_sms_submit(c.number, c.text, pdu, error)) << error;
    EXPECT_EQ(error, "before");  // a success leaves lastError alone
    EXPECT_EQ(pdu.hex, c.hex);
    EXPECT_EQ(pdu.dataCodingScheme, c.dcs);
    EXPECT_EQ(pdu.userDataLength, c.udl);
    EXPECT_EQ(pdu.tpduLength, static_cast<int>(pdu.hex.size() / 2) - 1);
  }
}

// TP-SRR sets bit 5 of the first octet, with and without a validity
// period, and the SMS-SUBMIT decoder reads it back; nothing else moves.
TEST(EncodeSmsSubmit, StatusReportRequest) {
  struct Case {
    int validity;
    bool report;
    const char* hex;
  } cases[] = {
      {kDefaultValidityPeriod, true, "0031000191F10000AA02E834"},
      {-1, true, "0021000191F1000002E834"},
      {kDefaultValidityPeriod, false, "0011000191F10000AA02E834"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    SubmitOptions options;
    options.validityPeriod = c.validity;
    options.statusReportRequest = c.report;
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_submit("+1", "hi", pdu, error, options)) << error;
    EXPECT_EQ(pdu.hex, c.hex);
    SmsSubmit submit;
    ASSERT_TRUE(decode_sms_submit(pdu.hex, submit, error)) << error;
    EXPECT_EQ(submit.statusReportRequest, c.report ? 1 : 0);
    EXPECT_EQ(submit.text, "hi");
  }
}

// One message and one past it, in both alphabets; the refusal names the
// count.
struct LimitCase {
  const char* name;
  std::string text;
  TextCoding coding;
  int udl;  // TP-UDL when accepted; 0 when refused
  const char* error;
};

const LimitCase kLimits[] = {
    {"160_septets", std::string(160, 'a'), TextCoding::kAuto, 160, ""},
    {"161_septets", std::string(161, 'a'), TextCoding::kAuto, 0,
     "Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at most 160"},
    {"158_and_escape", std::string(158, 'a') + "]", TextCoding::kAuto, 160, ""},
    {"159_and_escape", std::string(159, 'a') + "]", TextCoding::kAuto, 0,
     "Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at most 160"},
    {"80_escapes", repeat("{", 80), TextCoding::kAuto, 160, ""},
    {"81_escapes", repeat("{", 81), TextCoding::kAuto, 0,
     "Message text too long for one SMS: 162 septets in the GSM 7-bit alphabet, at most 160"},
    {"70_ucs2", std::string(69, 'a') + "`", TextCoding::kAuto, 140, ""},
    {"71_ucs2", std::string(70, 'a') + "`", TextCoding::kAuto, 0,
     "Message text too long for one SMS: 71 characters in UCS2, at most 70"},
    // 160 septets would fit, but one byte without a 7-bit form makes it UCS2.
    {"160_then_ucs2", std::string(159, 'a') + "`", TextCoding::kAuto, 0,
     "Message text too long for one SMS: 160 characters in UCS2, at most 70"},
    {"70_forced_ucs2", std::string(70, 'a'), TextCoding::kUcs2, 140, ""},
    {"71_forced_ucs2", std::string(71, 'a'), TextCoding::kUcs2, 0,
     "Message text too long for one SMS: 71 characters in UCS2, at most 70"},
};

TEST(EncodeSmsSubmit, OneMessageAndOnePastIt) {
  for (const LimitCase& c : kLimits) {
    SCOPED_TRACE(c.name);
    SubmitOptions options;
    options.coding = c.coding;
    EncodedPdu pdu;
    pdu.hex = "untouched";
    std::string error;
    const bool ok = encode_sms_submit("+1", c.text, pdu, error, options);
    ASSERT_EQ(ok, c.udl != 0) << error;
    if (!ok) {
      EXPECT_EQ(error, c.error);
      EXPECT_EQ(pdu.hex, "untouched");
      continue;
    }
    EXPECT_EQ(pdu.userDataLength, c.udl);
    SmsSubmit back;
    ASSERT_TRUE(decode_sms_submit(pdu.hex, back, error)) << error;
    EXPECT_EQ(back.text, c.text);
  }
}

TEST(EncodeSmsDeliver, OneMessageAndOnePastIt) {
  for (const LimitCase& c : kLimits) {
    SCOPED_TRACE(c.name);
    DeliverMessage message;
    message.originator = "+1";
    message.text = c.text;
    message.coding = c.coding;
    EncodedPdu pdu;
    std::string error;
    const bool ok = encode_sms_deliver(message, pdu, error);
    ASSERT_EQ(ok, c.udl != 0) << error;
    if (!ok) {
      EXPECT_EQ(error, c.error);
      continue;
    }
    std::string trace;
    std::unique_ptr<SmsDeliver> sms = decode_deliver(pdu.hex, trace);
    ASSERT_NE(sms, nullptr) << trace;
    EXPECT_EQ(sms->userDataLength, c.udl);
    EXPECT_EQ(sms->text, c.text);
  }
}

TEST(EncodeSmsSubmit, RefusesBadNumbersAndOptions) {
  struct Case {
    std::string number;
    int validity;
    const char* error;
  } cases[] = {
      {"", 0xAA, "No destination number"},
      {"+", 0xAA, "Bad destination number \"+\": only digits, after an optional leading +"},
      {"12a4", 0xAA, "Bad destination number \"12a4\": only digits, after an optional leading +"},
      {"+12 34", 0xAA,
       "Bad destination number \"+12 34\": only digits, after an optional leading +"},
      {"++12", 0xAA, "Bad destination number \"++12\": only digits, after an optional leading +"},
      {"12+", 0xAA, "Bad destination number \"12+\": only digits, after an optional leading +"},
      {"123456789012345678901", 0xAA,
       "Bad destination number \"123456789012345678901\": 21 digits, at most 20"},
      {"+123456789012345678901", 0xAA,
       "Bad destination number \"+123456789012345678901\": 21 digits, at most 20"},
      {"+1", 256, "Bad validity period 256: -1 (none) or 0 to 255"},
      {"+1", -2, "Bad validity period -2: -1 (none) or 0 to 255"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    SubmitOptions options;
    options.validityPeriod = c.validity;
    EncodedPdu pdu;
    std::string error = "before";
    EXPECT_FALSE(encode_sms_submit(c.number, "hi", pdu, error, options));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(pdu.hex, "");
  }
  // The text is checked first.
  EncodedPdu pdu;
  std::string error;
  EXPECT_FALSE(encode_sms_submit("bad", std::string(161, 'a'), pdu, error));
  EXPECT_EQ(
      error,
      "Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at most 160");
}

TEST(EncodeSmsSubmit, EveryByteComesBackInBothAlphabets) {
  const std::string all = all_bytes();
  int sevenBit = 0;
  for (int c = 0; c < 256; ++c) {
    const std::string text(1, static_cast<char>(c));
    for (TextCoding coding : {TextCoding::kAuto, TextCoding::kUcs2}) {
      SCOPED_TRACE("byte " + std::to_string(c) + (coding == TextCoding::kUcs2 ? " ucs2" : ""));
      SubmitOptions options;
      options.coding = coding;
      EncodedPdu pdu;
      std::string error;
      ASSERT_TRUE(encode_sms_submit("+1", text, pdu, error, options)) << error;
      SmsSubmit back;
      ASSERT_TRUE(decode_sms_submit(pdu.hex, back, error)) << error;
      EXPECT_EQ(back.text, text);
      EXPECT_EQ(back.dataCodingScheme, pdu.dataCodingScheme);
      if (coding == TextCoding::kAuto && pdu.dataCodingScheme == 0x00) ++sevenBit;
    }
  }
  EXPECT_EQ(sevenBit, 126);
  // All 256 bytes in UCS2 are four messages of 64.
  for (int part = 0; part < 4; ++part) {
    SubmitOptions options;
    options.coding = TextCoding::kUcs2;
    const std::string text = all.substr(64 * part, 64);
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_submit("+1", text, pdu, error, options)) << error;
    SmsSubmit back;
    ASSERT_TRUE(decode_sms_submit(pdu.hex, back, error)) << error;
    EXPECT_EQ(back.text, text) << part;
  }
}

TEST(EncodeSmsDeliver, EveryByteComesBackThroughTheDecoder) {
  std::string mapped;
  for (int c = 0; c < 256; ++c) {
    const std::string text(1, static_cast<char>(c));
    for (TextCoding coding : {TextCoding::kAuto, TextCoding::kUcs2}) {
      SCOPED_TRACE("byte " + std::to_string(c) + (coding == TextCoding::kUcs2 ? " ucs2" : ""));
      DeliverMessage message;
      message.originator = "+4912345";
      message.text = text;
      message.coding = coding;
      EncodedPdu pdu;
      std::string error;
      ASSERT_TRUE(encode_sms_deliver(message, pdu, error)) << error;
      std::string trace;
      std::unique_ptr<SmsDeliver> sms = decode_deliver(pdu.hex, trace);
      ASSERT_NE(sms, nullptr) << trace;
      EXPECT_EQ(trace, "");
      EXPECT_EQ(sms->text, text);
      EXPECT_EQ(sms->alphabet, pdu.dataCodingScheme == 0x08 ? 2 : 0);
      if (coding == TextCoding::kAuto && pdu.dataCodingScheme == 0x00) mapped += text;
    }
  }
  // Every byte with a 7-bit form in one message: 126 bytes, 135 septets.
  ASSERT_EQ(mapped.size(), 126u);
  DeliverMessage message;
  message.originator = "+4912345";
  message.text = mapped;
  EncodedPdu pdu;
  std::string error;
  ASSERT_TRUE(encode_sms_deliver(message, pdu, error)) << error;
  EXPECT_EQ(pdu.userDataLength, 135);
  std::string trace;
  std::unique_ptr<SmsDeliver> sms = decode_deliver(pdu.hex, trace);
  ASSERT_NE(sms, nullptr) << trace;
  EXPECT_EQ(sms->text, mapped);
}

// Published SMS-DELIVER PDUs whose first octet is 0x04 and whose originator
// is of a type the encoder writes: encoding their fields gives them back.
TEST(EncodeSmsDeliver, PublishedPdus) {
  struct Case {
    const char* name;
    DeliverMessage message;
    const char* published;
  } cases[] = {
      {"international",
       {"+31641600986",
        "How are you?",
        {2, 8, 26, 19, 37, 41, -4},
        "+31624000000",
        0,
        TextCoding::kAuto},
       "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"},
      {"alphanumeric",
       {"sipgate", "Testmail", {8, 8, 13, 12, 7, 22, 4}, "+447785016005", 0, TextCoding::kAuto},
       "0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9"},
      {"alphanumeric_16_semi_octets",
       {"HOSTER.RU",
        "PROBLEM E1 interfaces Asterisk-Beeline 10.1.1.4 CRITICAL Wed Aug 15 13:09:50 MSK 2012",
        {12, 8, 15, 17, 10, 4, 32},
        "+79029960010",
        0,
        TextCoding::kAuto},
       "07919720990610F00410D0C8E7945A94BAA4550000218051710140235550E953C82C3641C51828EDA697E5E6F0B"
       "8"
       "3C0705E7F4B23C3D5FB784E5323BED2E83623057CC1573D1404369929A1C0699A06B990C0AD6CFA0580D149BE9"
       "60395D0D066A4E9720192C2603"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_deliver(c.message, pdu, error)) << error;
    EXPECT_EQ(pdu.hex, c.published);
    EXPECT_EQ(pdu.tpduLength, static_cast<int>(tpdu_of(c.published).size() / 2));
  }
}

TEST(EncodeSmsDeliver, DecoderReadsEveryField) {
  struct Case {
    const char* name;
    DeliverMessage message;
    const char* hexStart;  // the service-centre part and the first octet
    int oaLength;
    int oaType;
    const char* sender;  // address_text
    std::array<int, 7> timestamp;
  } cases[] = {
      {"national_no_service_centre",
       {"0170123456", "hi", {24, 12, 31, 23, 59, 58, 0}, "", 0x7F, TextCoding::kAuto},
       "0004",
       10,
       0x81,
       "0170123456",
       {0x24, 0x12, 0x31, 0x23, 0x59, 0x58, 0x00}},
      {"international_odd_service_centre",
       {"+12345678901", "caf\xE9", {6, 5, 4, 3, 2, 1, 8}, "+123", 0, TextCoding::kAuto},
       "039121F304",
       11,
       0x91,
       "12345678901",
       {0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x08}},
      // Received zone octet 0x4A is -24 quarter hours; decode_pdu holds it
      // nibble-swapped as 0xA4.
      {"negative_zone_ucs2",
       {"+1", "x", {99, 1, 1, 0, 0, 0, -24}, "", 0, TextCoding::kUcs2},
       "0004",
       1,
       0x91,
       "1",
       {0x99, 0x01, 0x01, 0x00, 0x00, 0x00, 0xA4}},
      {"alphanumeric_with_escape",
       {"[Bank]", "hi", {0, 1, 1, 0, 0, 0, 79}, "", 0, TextCoding::kAuto},
       "0004",
       14,
       0xD0,
       "[Bank]",
       {0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x79}},
      {"alphanumeric_11_septets",
       {"ABCDEFGHIJK", "", {0, 1, 1, 0, 0, 0, -79}, "", 0, TextCoding::kAuto},
       "0004",
       20,
       0xD0,
       "ABCDEFGHIJK",
       {0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0xF9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_deliver(c.message, pdu, error)) << error;
    EXPECT_EQ(pdu.hex.compare(0, std::strlen(c.hexStart), c.hexStart), 0) << pdu.hex;
    std::string trace;
    std::unique_ptr<SmsDeliver> sms = decode_deliver(pdu.hex, trace);
    ASSERT_NE(sms, nullptr) << trace;
    EXPECT_EQ(sms->messageTypeIndicator, 0);
    EXPECT_EQ(sms->moreMessagesToSend, 1);
    EXPECT_EQ(sms->udhi + sms->replyPath + sms->statusReportIndication, 0);
    EXPECT_EQ(sms->originator.length, c.oaLength);
    EXPECT_EQ(sms->originator.type, c.oaType);
    EXPECT_EQ(address_text(sms->originator), c.sender);
    EXPECT_EQ(sms->protocolId, c.message.protocolId);
    EXPECT_EQ(sms->dataCodingScheme, pdu.dataCodingScheme);
    EXPECT_EQ(sms->timestamp, c.timestamp);
    EXPECT_EQ(sms->text, c.message.text);
    // The TPDU length is what follows the service-centre part.
    EXPECT_EQ(pdu.tpduLength, static_cast<int>(tpdu_of(pdu.hex).size() / 2));
  }
}

TEST(EncodeSmsDeliver, RefusesBadFields) {
  struct Case {
    const char* name;
    DeliverMessage message;
    const char* error;
  } cases[] = {
      {"no_originator", {"", "hi", {}, "", 0, TextCoding::kAuto}, "No originator number"},
      {"name_without_7bit_form",
       {"a`b", "hi", {}, "", 0, TextCoding::kAuto},
       "Bad originator \"a`b\": a sender name must use the GSM 7-bit alphabet"},
      {"name_12_septets",
       {"ABCDEFGHIJKL", "hi", {}, "", 0, TextCoding::kAuto},
       "Bad originator \"ABCDEFGHIJKL\": 12 septets, at most 11"},
      {"name_escapes_past_11",
       {"ABCDEFGHIJ[", "hi", {}, "", 0, TextCoding::kAuto},
       "Bad originator \"ABCDEFGHIJ[\": 12 septets, at most 11"},
      {"number_21_digits",
       {"+123456789012345678901", "hi", {}, "", 0, TextCoding::kAuto},
       "Bad originator number \"+123456789012345678901\": 21 digits, at most 20"},
      {"alphanumeric_service_centre",
       {"+1", "hi", {}, "SMSC", 0, TextCoding::kAuto},
       "Bad service-centre number \"SMSC\": only digits, after an optional leading +"},
      {"protocol_id",
       {"+1", "hi", {}, "", 256, TextCoding::kAuto},
       "Bad protocol identifier 256: 0 to 255"},
      {"month_13",
       {"+1", "hi", {1, 13, 1, 0, 0, 0, 0}, "", 0, TextCoding::kAuto},
       "Bad service-centre time stamp 1/13/1 0:0:0, zone 0 quarter hours"},
      {"zone_80",
       {"+1", "hi", {1, 1, 1, 0, 0, 0, 80}, "", 0, TextCoding::kAuto},
       "Bad service-centre time stamp 1/1/1 0:0:0, zone 80 quarter hours"},
      {"second_60",
       {"+1", "hi", {1, 1, 1, 0, 0, 60, 0}, "", 0, TextCoding::kAuto},
       "Bad service-centre time stamp 1/1/1 0:0:60, zone 0 quarter hours"},
      {"year_100",
       {"+1", "hi", {100, 1, 1, 0, 0, 0, 0}, "", 0, TextCoding::kAuto},
       "Bad service-centre time stamp 100/1/1 0:0:0, zone 0 quarter hours"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedPdu pdu;
    std::string error;
    EXPECT_FALSE(encode_sms_deliver(c.message, pdu, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(pdu.hex, "");
  }
}

// UTF-8 texts: the alphabet each needs, the user data, and both decoders
// giving the same UTF-8 back.
TEST(Utf8Text, SubmitAndDeliverRoundTrip) {
  const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
  const std::string emoji = "\xF0\x9F\x98\x80";
  const std::string euro = "\xE2\x82\xAC";
  struct Case {
    const char* name;
    std::string text;
    TextCoding coding;
    int dcs;
    int udl;
  } cases[] = {
      {"ascii", "Hi", TextCoding::kAuto, 0x00, 2},
      {"euro_7bit", euro + "10 [x]", TextCoding::kAuto, 0x00, 10},
      {"greek_7bit", "\xCE\xA9\xCE\xA3", TextCoding::kAuto, 0x00, 2},  // ΩΣ
      {"latin1_7bit", "caf\xC3\xA9", TextCoding::kAuto, 0x00, 4},
      {"euro_forced_ucs2", euro, TextCoding::kUcs2, 0x08, 2},
      {"cyrillic", cyrillic, TextCoding::kAuto, 0x08, 12},
      {"emoji_pair", "ok " + emoji, TextCoding::kAuto, 0x08, 10},
      {"greek_small", "\xCE\xB1", TextCoding::kAuto, 0x08, 2},  // α: UCS2
      {"ucs2_at_limit", repeat(cyrillic, 11) + "\xD0\x96\xD0\x96\xD0\x96\xD0\x96",
       TextCoding::kAuto, 0x08, 140},
      {"septets_at_limit", repeat(euro, 80), TextCoding::kAuto, 0x00, 160},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SubmitOptions options;
    options.utf8 = true;
    options.coding = c.coding;
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_submit("+15551234", c.text, pdu, error, options)) << error;
    EXPECT_EQ(pdu.dataCodingScheme, c.dcs);
    EXPECT_EQ(pdu.userDataLength, c.udl);
    SmsSubmit submit;
    ASSERT_TRUE(decode_sms_submit(pdu.hex, submit, error)) << error;
    EXPECT_EQ(submit.utf8Text, c.text);

    DeliverMessage message;
    message.originator = "+15550000";
    message.text = c.text;
    message.coding = c.coding;
    message.utf8 = true;
    EncodedPdu delivered;
    ASSERT_TRUE(encode_sms_deliver(message, delivered, error)) << error;
    EXPECT_EQ(delivered.dataCodingScheme, c.dcs);
    traceLossToStderr = false;
    std::unique_ptr<SmsDeliver> sms = decode_pdu(delivered.hex.c_str(), nullptr);
    traceLossToStderr = true;
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(sms->utf8Text, c.text);
  }
}

// The Latin-1 form of a text and its UTF-8 form give the same PDU.
TEST(Utf8Text, SameBytesAsLatin1Form) {
  for (const std::string& latin1 :
       {std::string("Hello [1] ~ ok"), std::string("caf\xE9 \xA4"), std::string("\xE0\xE8 ` \xFF"),
        all_bytes().substr(1, 69), all_bytes().substr(160, 70), repeat("\xFF", 71)}) {
    std::string utf8;
    for (unsigned char c : latin1) {
      if (c < 0x80) {
        utf8 += static_cast<char>(c);
      } else {
        utf8 += static_cast<char>(0xC0 | (c >> 6));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    SubmitOptions options;
    EncodedPdu a;
    EncodedPdu b;
    std::string error;
    std::string errorB;
    const bool fitsA = encode_sms_submit("123", latin1, a, error);
    options.utf8 = true;
    const bool fitsB = encode_sms_submit("123", utf8, b, errorB, options);
    EXPECT_EQ(fitsA, fitsB);
    EXPECT_EQ(error, errorB);
    EXPECT_EQ(a.hex, b.hex);
  }
}

TEST(Utf8Text, Refusals) {
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  } cases[] = {
      {"not_utf8", "caf\xE9", "Message text is not valid UTF-8"},
      {"septets_161", repeat("\xE2\x82\xAC", 80) + "a",
       "Message text too long for one SMS: 161 septets in the GSM 7-bit alphabet, at most 160"},
      // 35 emoji are 70 code units; one more character is too many.
      {"ucs2_71_units", repeat("\xF0\x9F\x98\x80", 35) + "a",
       "Message text too long for one SMS: 71 characters in UCS2, at most 70"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SubmitOptions options;
    options.utf8 = true;
    EncodedPdu pdu;
    std::string error;
    EXPECT_FALSE(encode_sms_submit("+1", c.text, pdu, error, options));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(pdu.hex, "");
  }
}

// The concatenation element with the 8-bit reference 0x2A, part `sequence`
// of `count`, or with the 16-bit reference 0x1234.
std::vector<unsigned char> concat8(int count, int sequence) {
  return {0x00, 0x03, 0x2A, static_cast<unsigned char>(count),
          static_cast<unsigned char>(sequence)};
}
std::vector<unsigned char> concat16(int count, int sequence) {
  return {0x08,
          0x04,
          0x12,
          0x34,
          static_cast<unsigned char>(count),
          static_cast<unsigned char>(sequence)};
}

DeliverMessage part_message(const std::string& text, const std::vector<unsigned char>& header,
                            TextCoding coding = TextCoding::kAuto) {
  DeliverMessage message;
  message.originator = "+1";
  message.text = text;
  message.timestamp = {24, 1, 1, 12, 0, 1, 0};
  message.coding = coding;
  message.userDataHeader = header;
  return message;
}

// Derived by hand from TS 23.040: no service centre (00), first octet 44
// (TP-MTI 00, TP-MMS, TP-UDHI), TP-OA "+1" (01 91 F1), TP-PID 00, TP-DCS,
// the time stamp 24/01/01 12:00:01 +00, TP-UDL, the user data.  A 6-octet
// header takes 7 septets: one fill bit, bit 0 of the seventh octet, so "A"
// (41) sits in its bits 1-7 (82).  A 7-octet header takes 8 septets
// exactly: no fill.
TEST(EncodeSmsDeliver, UserDataHeaderByHand) {
  const std::string head =
      "00"
      "44"
      "0191F1"
      "00";
  const std::string stamp = "42101021001000";
  struct Case {
    const char* name;
    DeliverMessage message;
    std::string hex;
  } cases[] = {
      {"7bit_8bit_reference", part_message("A", concat8(2, 1)),
       head + "00" + stamp + "08" + "0500032A0201" + "82"},
      {"7bit_two_septets", part_message("AB", concat8(2, 2)),
       head + "00" + stamp + "09" + "0500032A0202" + "8242"},
      {"7bit_16bit_reference", part_message("A", concat16(3, 3)),
       head + "00" + stamp + "09" + "06080412340303" + "41"},
      {"7bit_escape_after_header", part_message("]", concat8(2, 2)),
       // ESC 1B and 3E: bits 49-55 and 56-62.
       head + "00" + stamp + "09" + "0500032A0202" + "36" + "3E"},
      {"ucs2", part_message("`", concat8(2, 2)),
       head + "08" + stamp + "08" + "0500032A0202" + "0060"},
      {"forced_ucs2", part_message("A", concat16(2, 1), TextCoding::kUcs2),
       head + "08" + stamp + "09" + "06080412340201" + "0041"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_deliver(c.message, pdu, error)) << error;
    EXPECT_EQ(pdu.hex, c.hex);
    EXPECT_EQ(pdu.tpduLength, static_cast<int>(c.hex.size() / 2 - 1));
    EXPECT_EQ(pdu.userDataLength, std::stoi(c.hex.substr(28, 2), nullptr, 16));
  }
}

// The decoder reads the parts back: the header's concatenation fields, the
// text after the header and its fill bits, in both alphabets and at the
// limits that the header leaves (160 septets or 140 octets less the header).
TEST(EncodeSmsDeliver, PartsComeBackThroughTheDecoder) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<unsigned char> header;
    TextCoding coding;
    bool utf8;
    int reference, count, sequence;
    int udl;
  } cases[] = {
      {"gsm7_153", std::string(153, 'x'), concat8(3, 1), TextCoding::kAuto, false, 0x2A, 3, 1, 160},
      {"gsm7_152_16bit", std::string(152, 'x'), concat16(3, 2), TextCoding::kAuto, false, 0x1234, 3,
       2, 160},
      {"gsm7_escapes_at_end", std::string(149, 'a') + "[]", concat8(2, 2), TextCoding::kAuto, false,
       0x2A, 2, 2, 160},
      // 11 characters of one septet, 8 of two.
      {"escapes_and_controls",
       "@$\n\r_^{}\\[~]|\xA4"
       "Zz09 ",
       concat8(9, 9), TextCoding::kAuto, false, 0x2A, 9, 9, 7 + 27},
      {"ucs2_67", std::string(66, 'a') + "`", concat8(2, 1), TextCoding::kAuto, false, 0x2A, 2, 1,
       140},
      {"ucs2_66_16bit", std::string(66, 'b'), concat16(2, 2), TextCoding::kUcs2, false, 0x1234, 2,
       2, 139},
      {"utf8_surrogate_pair", "\xF0\x9F\x98\x80 ok", concat8(2, 2), TextCoding::kAuto, true, 0x2A,
       2, 2, 6 + 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeliverMessage message = part_message(c.text, c.header, c.coding);
    message.utf8 = c.utf8;
    EncodedPdu pdu;
    std::string error;
    ASSERT_TRUE(encode_sms_deliver(message, pdu, error)) << error;
    std::string trace;
    std::unique_ptr<SmsDeliver> sms = decode_deliver(pdu.hex, trace);
    ASSERT_NE(sms, nullptr) << trace;
    EXPECT_EQ(sms->udhi, 1);
    EXPECT_EQ(sms->userDataLength, c.udl);
    EXPECT_EQ(sms->concatenated, 1);
    EXPECT_EQ(sms->concatReference, c.reference);
    EXPECT_EQ(sms->concatTotal, c.count);
    EXPECT_EQ(sms->concatSequence, c.sequence);
    EXPECT_EQ(c.utf8 ? sms->utf8Text : sms->text, c.text);
    ASSERT_NE(sms->elements, nullptr);
    EXPECT_EQ(sms->elements->id, c.header[0]);
    EXPECT_EQ(sms->elements->next, nullptr);
  }
}

// One unit past what a part holds is refused with the part's limit; a header
// longer than the user data is refused on its own.
TEST(EncodeSmsDeliver, PartLimits) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<unsigned char> header;
    TextCoding coding;
    const char* error;  // "" when accepted
  } cases[] = {
      {"154_septets", std::string(154, 'x'), concat8(2, 1), TextCoding::kAuto,
       "Message text too long for one SMS: 154 septets in the GSM 7-bit alphabet, at most 153"},
      {"escape_past_153", std::string(152, 'x') + "]", concat8(2, 1), TextCoding::kAuto,
       "Message text too long for one SMS: 154 septets in the GSM 7-bit alphabet, at most 153"},
      {"153_septets_16bit", std::string(153, 'x'), concat16(2, 1), TextCoding::kAuto,
       "Message text too long for one SMS: 153 septets in the GSM 7-bit alphabet, at most 152"},
      {"68_ucs2", std::string(67, 'a') + "`", concat8(2, 1), TextCoding::kAuto,
       "Message text too long for one SMS: 68 characters in UCS2, at most 67"},
      {"67_ucs2_16bit", std::string(67, 'a'), concat16(2, 1), TextCoding::kUcs2,
       "Message text too long for one SMS: 67 characters in UCS2, at most 66"},
      {"header_140_octets", "", std::vector<unsigned char>(139, 0x00), TextCoding::kAuto, ""},
      {"header_141_octets", "", std::vector<unsigned char>(140, 0x00), TextCoding::kAuto,
       "User-data header of 141 octets, at most 140"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodedPdu pdu;
    std::string error;
    const bool ok = encode_sms_deliver(part_message(c.text, c.header, c.coding), pdu, error);
    EXPECT_EQ(ok, std::string(c.error).empty()) << error;
    if (!ok) {
      EXPECT_EQ(error, c.error);
    }
  }
}

}  // namespace
}  // namespace smstest
