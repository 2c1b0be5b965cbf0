#include "tools/report/utf8_text.h"

#include <gtest/gtest.h>

namespace smstest {
namespace {

TEST(Utf8Text, TellsWellFormedUtf8FromOtherBytes) {
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"", true},
      {"T1 plain", true},
      {"caf\xC3\xA9", true},           // é
      {"\xE2\x82\xAC", true},          // €
      {"\xF0\x9F\x93\xB1", true},      // U+1F4F1
      {"caf\xE9", false},              // Latin-1 é
      {"\xC3", false},                 // cut short
      {"\xC0\xAF", false},             // overlong '/'
      {"\xE0\x80\xAF", false},         // overlong three-byte form
      {"\xED\xA0\x80", false},         // a surrogate
      {"\xF4\x90\x80\x80", false},     // beyond U+10FFFF
      {"\x80", false},                 // a lone continuation byte
      {std::string("a\0b", 3), true},  // NUL is a character
  };
  for (const Case& c : cases) EXPECT_EQ(is_utf8(c.bytes), c.utf8) << c.bytes;
}

TEST(Utf8Text, ReadsAnythingElseAsLatin1) {
  EXPECT_EQ(to_utf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(to_utf8("caf\xE9"), "caf\xC3\xA9");
  // One bad byte makes the whole text Latin-1: the valid pair is not kept.
  EXPECT_EQ(to_utf8("\xC3\xA9\xFF"), "\xC3\x83\xC2\xA9\xC3\xBF");
  EXPECT_EQ(to_utf8("\x80"), "\xC2\x80");
  EXPECT_TRUE(is_utf8(to_utf8("\xC0\xC1\xF5\xFE\xFF")));
}

TEST(Utf8Text, CountsAndCutsByCodePoint) {
  EXPECT_EQ(utf8_length("caf\xC3\xA9"), 4u);
  EXPECT_EQ(utf8_prefix("caf\xC3\xA9", 4), "caf\xC3\xA9");
  EXPECT_EQ(utf8_prefix("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xE2\x80\xA6");
  EXPECT_EQ(utf8_length(utf8_prefix("abcdefgh", 5)), 5u);
  EXPECT_EQ(utf8_prefix("abc", 0), "");
}

}  // namespace
}  // namespace smstest
