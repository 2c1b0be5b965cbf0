#include "driver/command_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace smstest {

namespace {

TEST(GetField, Table) {
  struct Case {
    const char* text;
    int index;
    const char* expected;
  } cases[] = {
      {"", 0, ""},       {"", 3, ""},       {"abc", 0, "abc"},   {"abc", 1, ""},
      {"a|b|c", 0, "a"}, {"a|b|c", 1, "b"}, {"a|b|c", 2, "c"},   {"a|b|c", 3, ""},
      {"a||c", 1, ""},   {"a||c", 2, "c"},  {"|", 0, ""},        {"|", 1, ""},
      {"a|b|", 2, ""},   {"a|b", -1, ""},   {"x|1\n", 1, "1\n"}, {" a |b", 0, " a "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(get_field(c.text, c.index, '|'), c.expected)
        << "text=\"" << c.text << "\" index=" << c.index;
  }
  EXPECT_EQ(get_field("ab\rcd", 0, 13), "ab");
}

TEST(ParseInt, ReadsLikeAtoi) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {
      {"", 0},
      {"7", 7},
      {" 7", 7},
      {"\t\n7", 7},
      {"7x", 7},
      {"x7", 0},
      {"-12", -12},
      {"+12", 12},
      {"- 1", 0},
      {"1\n", 1},
      {"2147483647", 2147483647},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
      {"-2147483648", -2147483647 - 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse_int(c.text), c.expected) << "text=\"" << c.text << "\"";
}

TEST(SmsTestParams, ParsesTheExampleRecord) {
  SmsTestParams p;
  p.parse("T1|60|3|5550100|hello|0|0|115200|4|115200|0\n", '|');
  EXPECT_EQ(p.testName, "T1");
  EXPECT_EQ(p.testTimeout, 60);
  EXPECT_EQ(p.fromPort, 3);
  EXPECT_EQ(p.toNumber, "5550100");
  EXPECT_EQ(p.messageText, "hello");
  EXPECT_EQ(p.fromBaud, 115200);
  EXPECT_EQ(p.toPort, 4);
  EXPECT_EQ(p.toBaud, 115200);
  EXPECT_EQ(p.reflectMode, 0);
}

TEST(SmsTestParams, FewerMoreAndOddFields) {
  SmsTestParams p;
  p.parse("T2 |30|3||hi there\n", '|');
  EXPECT_EQ(p.testName, "T2 ");  // blanks stay in text fields
  EXPECT_EQ(p.toNumber, "");
  EXPECT_EQ(p.messageText, "hi there\n");  // the last field keeps the line end
  EXPECT_EQ(p.fromBaud, 0);
  EXPECT_EQ(p.reflectMode, 0);

  p.parse("N|10|2|5|m|0|0| 7|7x|x7|1\n", '|');
  EXPECT_EQ(p.fromBaud, 7);
  EXPECT_EQ(p.toPort, 7);
  EXPECT_EQ(p.toBaud, 0);
  EXPECT_EQ(p.reflectMode, 1);  // "1\n" reads 1

  p.parse("N|10|2|5|m|0|0|9600|4|9600|1|extra|more", '|');
  EXPECT_EQ(p.reflectMode, 1);  // everything from the eleventh '|' on is ignored
  EXPECT_EQ(p.toBaud, 9600);
}

class CommandFileTest : public ::testing::Test {
 protected:
  std::string path_ = ::testing::TempDir() + "cmdfile_test.txt";
  void write(const std::string& content) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  void TearDown() override { std::remove(path_.c_str()); }
};

TEST_F(CommandFileTest, ReadsThreeLines) {
  write(
      "SMS_TEST anything "
      "here\nresults.csv\nT1|60|3|5550100|hello|0|0|115200|4|115200|0\nignored\n");
  CommandFile cf;
  std::string error;
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error));
  EXPECT_EQ(cf.resultName, "results.csv");
  EXPECT_EQ(cf.params.testName, "T1");
  EXPECT_EQ(cf.params.toPort, 4);
}

TEST_F(CommandFileTest, CrLfReadsAsLf) {
  write("SMS_TEST\r\nresults.csv\r\nT1|60|3|5550100|hello\r\n");
  CommandFile cf;
  std::string error;
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error));
  EXPECT_EQ(cf.resultName, "results.csv");
  EXPECT_EQ(cf.params.messageText, "hello\n");
}

TEST_F(CommandFileTest, WrongFirstLine) {
  struct Case {
    const char* content;
    const char* message;
  } cases[] = {
      {"sms_test\nr\nT|1|1\n", "Expected SMS_TEST in the cmd file sms_test\n\n"},
      {" SMS_TEST\nr\nT|1|1\n", "Expected SMS_TEST in the cmd file  SMS_TEST\n\n"},
      {"", "Expected SMS_TEST in the cmd file \n"},
      {"SMS_TES", "Expected SMS_TEST in the cmd file SMS_TES\n"},
  };
  for (const Case& c : cases) {
    write(c.content);
    CommandFile cf;
    std::string error;
    EXPECT_FALSE(read_command_file(path_.c_str(), cf, error)) << c.content;
    EXPECT_EQ(error, c.message);
  }
}

TEST_F(CommandFileTest, MissingFile) {
  CommandFile cf;
  std::string error;
  EXPECT_FALSE(read_command_file("/nonexistent/dir/cmd.txt", cf, error));
  EXPECT_EQ(error, "Cannot open /nonexistent/dir/cmd.txt\n");
}

TEST_F(CommandFileTest, ShortFilesReuseTheLastLineRead) {
  CommandFile cf;
  std::string error;
  // Line 2 without a line end loses its last real character; line 3 missing
  // makes the parse see line 2 as read.
  write("SMS_TEST\nresults.csv");
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error));
  EXPECT_EQ(cf.resultName, "results.cs");
  EXPECT_EQ(cf.params.testName, "results.csv");

  // Line 2 missing: the result file is named after line 1 less its last
  // character, and line 1 also serves as line 3.
  CommandFile cf2;
  write("SMS_TEST|5|3\n");
  ASSERT_TRUE(read_command_file(path_.c_str(), cf2, error));
  EXPECT_EQ(cf2.resultName, "SMS_TEST|5|3");
  EXPECT_EQ(cf2.params.testName, "SMS_TEST");
  EXPECT_EQ(cf2.params.fromPort, 3);

  CommandFile cf3;
  write("SMS_TEST\n\nT|1|2\n");
  ASSERT_TRUE(read_command_file(path_.c_str(), cf3, error));
  EXPECT_EQ(cf3.resultName, "");  // an empty line 2 names no file
}

TEST_F(CommandFileTest, LongLinesAreSplit) {
  std::string name(1500, 'n');
  write("SMS_TEST\n" + name + "\nT|1|2\n");
  CommandFile cf;
  std::string error;
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error));
  EXPECT_EQ(cf.resultName, std::string(1022, 'n'));             // 1023 read, last removed
  EXPECT_EQ(cf.params.testName, std::string(477, 'n') + "\n");  // the remainder is line 3
}

}  // namespace

}  // namespace smstest
