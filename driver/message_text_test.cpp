// How the standard command sets read the bytes of a message text: UTF-8
// when it is valid UTF-8, ISO-8859-1 otherwise, or as the option says.
#include "driver/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace smstest {

namespace {

TEST(MessageText, Utf8OrLatin1AsTheBytesAndTheOptionSay) {
  using M = MessageCharset;
  struct Case {
    std::string text;
    M charset;
    const char* latin1;  // nullptr: refused
    const char* why;
  } cases[] = {
      {"plain", M::kAuto, "plain", ""},
      {"", M::kUtf8, "", ""},
      {"caf\xC3\xA9", M::kAuto, "caf\xE9", ""},                    // one e acute, not two
      {"caf\xC3\xA9", M::kUtf8, "caf\xE9", ""},                    //
      {"caf\xC3\xA9", M::kLatin1, "caf\xC3\xA9", ""},              // two characters, as asked
      {"caf\xE9", M::kAuto, "caf\xE9", ""},                        // not UTF-8: ISO-8859-1
      {"caf\xE9", M::kLatin1, "caf\xE9", ""},                      //
      {"\xC3\xBF\xC2\xA0\xC2\x80", M::kAuto, "\xFF\xA0\x80", ""},  // the top of the range
      {"\xC3\xA9\xE9", M::kAuto, "\xC3\xA9\xE9", ""},              // one bad byte: the whole text
      {"caf\xE9", M::kUtf8, nullptr, "is not valid UTF-8 (option charset=utf-8)"},
      {"\xC0\xA9", M::kUtf8, nullptr, "is not valid UTF-8 (option charset=utf-8)"},  // overlong
      {"1 \xE2\x82\xAC", M::kAuto, nullptr, "holds U+20AC, which"},                  // euro sign
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       M::kUtf8, nullptr, "holds U+0141, which"},
      {"\xF0\x9F\x93\xB1", M::kAuto, nullptr, "holds U+1F4F1, which"},
      {"\xF0\x9F\x93\xB1", M::kLatin1, "\xF0\x9F\x93\xB1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string latin1 = "untouched";
    std::string why;
    EXPECT_EQ(message_text_latin1(c.text, c.charset, latin1, why), c.latin1 != nullptr);
    EXPECT_EQ(latin1, c.latin1 != nullptr ? c.latin1 : "untouched");
    EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
  }
}

}  // namespace

}  // namespace smstest
