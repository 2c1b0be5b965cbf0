#include "pdu/unicode_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "pdu/gsm7_encode.h"

namespace smstest {
namespace {

std::string hex(const std::vector<unsigned char>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

TEST(UnicodeToGsm7, Table) {
  struct Case {
    char32_t code;
    std::vector<unsigned char> septets;  // empty: no 7-bit form
  } cases[] = {
      {U'A', {0x41}},
      {U'@', {0x00}},
      {U'$', {0x02}},
      {U'\u00E9', {0x05}},        // é
      {U'\u0394', {0x10}},        // Δ
      {U'\u03A3', {0x18}},        // Σ
      {U'\u039E', {0x1A}},        // Ξ
      {U'\u00A4', {0x24}},        // currency sign: default alphabet
      {U'\u20AC', {0x1B, 0x65}},  // euro sign: extension
      {U'[', {0x1B, 0x3C}},
      {U'|', {0x1B, 0x40}},
      {U'\f', {0x1B, 0x0A}},
      {U'`', {}},
      {U'\u03B1', {}},      // small alpha: not in the alphabet
      {U'\u0416', {}},      // Ж
      {U'\U0001F600', {}},  // emoji
      {0x1B, {}},           // the escape is no character
      {0xFFFF, {}},
  };
  for (const Case& c : cases) {
    unsigned char septets[2] = {0xEE, 0xEE};
    const int n = unicode_to_gsm7(c.code, septets);
    EXPECT_EQ(std::vector<unsigned char>(septets, septets + n), c.septets)
        << "U+" << std::hex << static_cast<unsigned long>(c.code);
  }
}

// Every ISO-8859-1 byte with a 7-bit form maps to the same septets as its
// code point does here, so a Latin-1 text and its UTF-8 form go out alike.
TEST(UnicodeToGsm7, AgreesWithLatin1Mapping) {
  for (int b = 0; b < 256; ++b) {
    unsigned char latin1[2] = {0, 0};
    unsigned char unicode[2] = {0, 0};
    const int n = latin1_to_gsm7(static_cast<unsigned char>(b), latin1);
    const int m = unicode_to_gsm7(static_cast<char32_t>(b), unicode);
    ASSERT_EQ(n, m) << "byte " << b;
    EXPECT_EQ(std::vector<unsigned char>(latin1, latin1 + n),
              std::vector<unsigned char>(unicode, unicode + m))
        << "byte " << b;
  }
}

TEST(Utf8Texts, SeptetsAndUtf16RoundTrip) {
  struct Case {
    std::string text;
    bool gsm7;            // whether it has a 7-bit form
    std::string septets;  // hex, when gsm7
    std::string utf16;    // hex
  } cases[] = {
      {"", true, "", ""},
      {"Hi", true, "4869", "00480069"},
      {"\xE2\x82\xAC"
       "5",
       true, "1B6535", "20AC0035"},                             // €5
      {"[\xCE\xA9]", true, "1B3C151B3E", "005B03A9005D"},       // [Ω]
      {"caf\xC3\xA9", true, "63616605", "00630061006600E9"},    // café
      {"\xD0\x9F\xD1\x80\xD0\xB8", false, "", "041F04400438"},  // При
      {"\xF0\x9F\x98\x80", false, "", "D83DDE00"},              // 😀
      {"a\xF0\x9F\x98\x80"
       "b",
       false, "", "0061D83DDE000062"},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> septets = {0x99};
    EXPECT_EQ(utf8_to_septets(c.text, septets), c.gsm7) << c.text;
    if (c.gsm7) {
      EXPECT_EQ(hex(septets), c.septets) << c.text;
      EXPECT_EQ(septets_to_utf8(septets), c.text);
    } else {
      EXPECT_EQ(septets, std::vector<unsigned char>{0x99}) << "left alone: " << c.text;
    }
    std::vector<unsigned char> utf16;
    ASSERT_TRUE(utf8_to_utf16(c.text, utf16)) << c.text;
    EXPECT_EQ(hex(utf16), c.utf16) << c.text;
    EXPECT_EQ(utf16_to_utf8(utf16.data(), static_cast<int>(utf16.size())), c.text);
  }
}

TEST(Utf8Texts, InvalidUtf8IsRefused) {
  for (const std::string& text : {std::string("\xE9"), std::string("a\xC3"),
                                  std::string("\xED\xA0\x80"), std::string("\xC0\x80")}) {
    std::vector<unsigned char> out = {0x42};
    EXPECT_FALSE(utf8_to_septets(text, out));
    EXPECT_FALSE(utf8_to_utf16(text, out));
    EXPECT_EQ(out, std::vector<unsigned char>{0x42});
    std::vector<char32_t> codes;
    EXPECT_FALSE(utf8_code_points(text, codes));
  }
}

TEST(Utf8Texts, DecodingOddInput) {
  struct Case {
    std::vector<unsigned char> data;
    std::string text;
  } utf16[] = {
      {{0xD8, 0x3D}, "\xEF\xBF\xBD"},  // high surrogate alone
      {{0xDE, 0x00, 0x00, 0x41},
       "\xEF\xBF\xBD"
       "A"},  // low surrogate first
      {{0xD8, 0x3D, 0x00, 0x41},
       "\xEF\xBF\xBD"
       "A"},                      // high then no low
      {{0x00, 0x41, 0x00}, "A"},  // odd last octet ignored
  };
  for (const Case& c : utf16) {
    EXPECT_EQ(utf16_to_utf8(c.data.data(), static_cast<int>(c.data.size())), c.text);
  }
  Case septets[] = {
      {{0x41, 0x1B}, "A?"},                          // trailing escape
      {{0x1B, 0x41}, "?"},                           // extension code the table lacks
      {{0x80, 0x41}, "?A"},                          // not a septet
      {{0x1B, 0x65, 0x24}, "\xE2\x82\xAC\xC2\xA4"},  // € ¤
  };
  for (const Case& c : septets) EXPECT_EQ(septets_to_utf8(c.data), c.text);
}

}  // namespace
}  // namespace smstest

namespace smstest {
namespace {

// UCS2 hex as the character set "UCS2" writes text, both ways.
TEST(UnicodeText, Ucs2Hex) {
  const struct {
    const char* hex;
    bool ok;
    std::string text;
  } rows[] = {
      {"", true, ""},
      {"0041", true, "A"},
      {"20ac0041", true,
       "\xE2\x82\xAC"
       "A"},                                   // either case
      {"D83DDE00", true, "\xF0\x9F\x98\x80"},  // a surrogate pair: one character
      {"004", false, ""},
      {"00G1", false, ""},
      {"0041 ", false, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hex);
    std::string text = "untouched";
    EXPECT_EQ(utf8_of_ucs2_hex(row.hex, text), row.ok);
    if (!row.ok) continue;
    EXPECT_EQ(text, row.text);
    std::vector<unsigned char> units;
    ASSERT_TRUE(utf8_to_utf16(text, units));
    std::string upper = row.hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(upper_hex(units), upper);
  }
}

}  // namespace
}  // namespace smstest
