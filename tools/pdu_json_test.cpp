#include "tools/pdu_json.h"

#include <gtest/gtest.h>

namespace smstest {

namespace {

TEST(JsonString, Table) {
  struct Case {
    std::string latin1;
    std::string json;
  } cases[] = {
      {"hello", R"("hello")"},
      {"", R"("")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"a\\b", R"("a\\b")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\0\x01\x1F", 3), R"("\u0000\u0001\u001f")"},
      {"\x0B\x0E", R"("\u000b\u000e")"},
      {"\x7F", R"("\u007f")"},
      {"/ <>&'", R"("/ <>&'")"},
      {"\xE9", "\"\xC3\xA9\""},              // e acute
      {"\xA4\xFF", "\"\xC2\xA4\xC3\xBF\""},  // currency sign, y diaeresis
      {"\x80", "\"\xC2\x80\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(json_string(c.latin1), c.json) << "input=" << testing::PrintToString(c.latin1);
  }
}

TEST(Utf8, Latin1RoundTripOverEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string utf8 = latin1_to_utf8(all);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  EXPECT_EQ(utf8.substr(0xE9 + 0x69, 2), "\xC3\xA9");  // after 128 one-byte and 0x69 two-byte ones
  std::string back = "untouched";
  std::string error;
  ASSERT_TRUE(utf8_to_latin1(utf8, back, error)) << error;
  EXPECT_EQ(back, all);
}

TEST(Utf8, RefusesWhatIsNotIso88591) {
  struct Case {
    std::string utf8;
    const char* error;
  } cases[] = {
      {"\xE2\x82\xAC", "U+20AC at byte 0 is not in ISO-8859-1"},  // euro sign
      {"ab\xC4\x80", "U+0100 at byte 2 is not in ISO-8859-1"},
      {"\xF0\x9F\x98\x80", "U+1F600 at byte 0 is not in ISO-8859-1"},
      {"\xE9", "not valid UTF-8 at byte 0"},              // an ISO-8859-1 byte alone
      {"a\xC3", "not valid UTF-8 at byte 1"},             // cut short
      {"\xC3\x28", "not valid UTF-8 at byte 0"},          // no continuation byte
      {"\xC1\xA9", "not valid UTF-8 at byte 0"},          // overlong 'i'
      {"\xE0\x83\xA9", "not valid UTF-8 at byte 0"},      // overlong e acute
      {"\xED\xA0\x80", "not valid UTF-8 at byte 0"},      // a surrogate half
      {"\xF4\x90\x80\x80", "not valid UTF-8 at byte 0"},  // above U+10FFFF
      {"\x80", "not valid UTF-8 at byte 0"},
  };
  for (const Case& c : cases) {
    std::string latin1 = "untouched";
    std::string error;
    EXPECT_FALSE(utf8_to_latin1(c.utf8, latin1, error)) << testing::PrintToString(c.utf8);
    EXPECT_EQ(error, c.error) << testing::PrintToString(c.utf8);
    EXPECT_EQ(latin1, "untouched");
  }
}

TEST(Timestamp, ReadableAndTimeZone) {
  // Values as SmsDeliver holds them: each octet with its nibbles swapped.
  struct Case {
    std::array<int, 7> timestamp;
    std::string readable;
    int quarters;
  } cases[] = {
      {{0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00}, "06/05/04 03:02:01 +00:00", 0},
      // Received zone octet 0x80: digits 0 and 8, sign clear: +8 quarters.
      {{0x13, 0x06, 0x25, 0x16, 0x40, 0x48, 0x08}, "13/06/25 16:40:48 +02:00", 8},
      // Received 0x4A: sign bit 3 set, digits 2 and 4: -24 quarters.
      {{0x99, 0x12, 0x31, 0x23, 0x59, 0x59, 0xA4}, "99/12/31 23:59:59 -06:00", -24},
      // Received 0x21: +12 quarters.
      {{0x18, 0x11, 0x14, 0x09, 0x11, 0x16, 0x12}, "18/11/14 09:11:16 +03:00", 12},
      // Received 0x08: the sign alone on a zero offset.
      {{0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x80}, "00/01/01 00:00:00 +00:00", 0},
      // Odd zones keep their quarter hours; malformed digits show as letters.
      {{0x2F, 0x1A, 0x01, 0x00, 0x00, 0x00, 0x01}, "2F/1A/01 00:00:00 +00:15", 1},
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x93}, "00/00/00 00:00:00 -03:15", -13},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readable_timestamp(c.timestamp), c.readable) << c.readable;
    EXPECT_EQ(time_zone_quarter_hours(c.timestamp[6]), c.quarters) << c.readable;
  }
}

TEST(FailureJson, DropsTheLineEndOnly) {
  EXPECT_EQ(failure_json("00", "Decoder Error: 0 Data Length!\n"),
            R"({"pdu":"00","error":"Decoder Error: 0 Data Length!"})");
  EXPECT_EQ(failure_json("\"", "x"), R"({"pdu":"\"","error":"x"})");
}

}  // namespace

}  // namespace smstest
