// How the standard command sets read the bytes of a message text: UTF-8
// when it is valid UTF-8, ISO-8859-1 otherwise, or as the option says; a
// UTF-8 text beyond U+00FF stays UTF-8.
#include "driver/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace smstest {

namespace {

TEST(MessageText, Utf8OrLatin1AsTheBytesAndTheOptionSay) {
  using M = MessageCharset;
  const char* const kEuro = "1 \xE2\x82\xAC";
  const char* const kPolish =
      "\xC5\x81\xC3\xB3"
      "d\xC5\xBA";
  const char* const kEmoji = "\xF0\x9F\x93\xB1";
  struct Case {
    std::string text;
    M charset;
    const char* out;  // nullptr: refused
    bool utf8;        // `out` stayed UTF-8
    size_t length;    // characters of `out`
    const char* why;
  } cases[] = {
      {"plain", M::kAuto, "plain", false, 5, ""},
      {"", M::kUtf8, "", false, 0, ""},
      {"caf\xC3\xA9", M::kAuto, "caf\xE9", false, 4, ""},        // one e acute, not two
      {"caf\xC3\xA9", M::kUtf8, "caf\xE9", false, 4, ""},        //
      {"caf\xC3\xA9", M::kLatin1, "caf\xC3\xA9", false, 5, ""},  // two characters, as asked
      {"caf\xE9", M::kAuto, "caf\xE9", false, 4, ""},            // not UTF-8: ISO-8859-1
      {"caf\xE9", M::kLatin1, "caf\xE9", false, 4, ""},          //
      {"\xC3\xBF\xC2\xA0\xC2\x80", M::kAuto, "\xFF\xA0\x80", false, 3, ""},  // top of the range
      {"\xC3\xA9\xE9", M::kAuto, "\xC3\xA9\xE9", false, 3, ""},  // one bad byte: the whole text
      {"caf\xE9", M::kUtf8, nullptr, false, 0, "is not valid UTF-8 (option charset=utf-8)"},
      {"\xC0\xA9", M::kUtf8, nullptr, false, 0, "is not valid UTF-8 (option charset=utf-8)"},
      // Beyond U+00FF: the whole text stays UTF-8, its Latin-1 characters too.
      {kEuro, M::kAuto, kEuro, true, 3, ""},
      {"\xC4\x80", M::kAuto, "\xC4\x80", true, 1, ""},  // U+0100, the first one beyond
      {kPolish, M::kUtf8, kPolish, true, 4, ""},
      {kEmoji, M::kAuto, kEmoji, true, 1, ""},
      {kEmoji, M::kLatin1, kEmoji, false, 4, ""},  // four ISO-8859-1 characters, as asked
      {kEuro, M::kLatin1, kEuro, false, 5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MessageText out{"untouched", false};
    std::string why;
    EXPECT_EQ(read_message_text(c.text, c.charset, out, why), c.out != nullptr);
    EXPECT_EQ(out.text, c.out != nullptr ? c.out : "untouched");
    EXPECT_EQ(why, c.why);
    if (c.out == nullptr) continue;
    EXPECT_EQ(out.utf8, c.utf8);
    EXPECT_EQ(message_text_length(out), c.length);
  }
}

}  // namespace

}  // namespace smstest
