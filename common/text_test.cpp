#include "common/text.h"

#include <gtest/gtest.h>

namespace smstest {

namespace {

TEST(FindText, Table) {
  struct Case {
    const char* text;
    const char* pattern;
    int expected;
  } cases[] = {
      {"abc", "ERROR", -1},
      {"anything", "", 0},
      {"", "", 0},
      {"\r\nOK\r\n", "OK", 2},
      {"\r\nERROR\r\n", "ERROR", 2},
      {"OKOK", "OK", 0},
      {"xxOK", "OK", 2},
      {"xxO", "OK", -1},
      {"ok", "OK", -1},
      {"", "x", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_text(c.text, c.pattern), c.expected)
        << "text=" << c.text << " pattern=" << c.pattern;
  }
}

TEST(Format, GrowsPastTheSmallBuffer) {
  std::string long_text(1000, 'x');
  std::string out = format("<%s>%d", long_text.c_str(), 42);
  EXPECT_EQ(out, "<" + long_text + ">42");
  EXPECT_EQ(format("%i %s\n", 2, "Cannot send SMS\n"), "2 Cannot send SMS\n\n");
}

TEST(TrimText, CLocaleWhiteSpaceOnly) {
  EXPECT_EQ(trim_text(" \t\r\n\v\fabc \r\n"), "abc");
  EXPECT_EQ(trim_text("   "), "");
  EXPECT_EQ(trim_text("\xa0x\xa0"), "\xa0x\xa0");  // 0xA0 is not C-locale white space
}

TEST(Split, KeepsEveryPiece) {
  struct Case {
    const char* text;
    char delimiter;
    std::vector<std::string> parts;
  } cases[] = {
      {"", ',', {""}},
      {"a", ',', {"a"}},
      {"a,b", ',', {"a", "b"}},
      {",", ',', {"", ""}},
      {"a,,b,", ',', {"a", "", "b", ""}},
      {"a,b", '|', {"a,b"}},
      {"line 1\nline 2\n", '\n', {"line 1", "line 2", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(split(c.text, c.delimiter), c.parts) << c.text;
}

}  // namespace

}  // namespace smstest
