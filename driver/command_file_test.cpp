#include "driver/command_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testsupport/temp_path.h"

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
  // One file per test: tests of this binary may run at once (ctest -j).
  std::string path_ = test_temp_path("cmd.txt");
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

TEST_F(CommandFileTest, MissingOrEmptyLinesTwoAndThreeAreRefused) {
  const std::string two = "Missing result file name (line 2) in " + path_ + "\n";
  const std::string three = "Missing parameter line (line 3) in " + path_ + "\n";
  struct Case {
    const char* content;
    const std::string& message;
  } cases[] = {
      {"SMS_TEST\n", two},
      {"SMS_TEST|5|3\n", two},  // line 1 no longer stands in for lines 2 and 3
      {"SMS_TEST\n\nT|1|2\n", two},
      {"SMS_TEST\r\n\r\nT|1|2\r\n", two},
      {"SMS_TEST\rr.csv\r\r", three},  // lone CRs end the lines
      {"SMS_TEST\nresults.csv", three},
      {"SMS_TEST\nresults.csv\n", three},
      {"SMS_TEST\nresults.csv\n\nT|1|2\n", three},
  };
  for (const Case& c : cases) {
    write(c.content);
    CommandFile cf;
    std::string error;
    EXPECT_FALSE(read_command_file(path_.c_str(), cf, error)) << c.content;
    EXPECT_EQ(error, c.message) << c.content;
  }
  // A line 3 without its line end is whole.
  write("SMS_TEST\nresults.csv\nT|1|2");
  CommandFile cf;
  std::string error;
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error)) << error;
  EXPECT_EQ(cf.resultName, "results.csv");
  EXPECT_EQ(cf.params.testName, "T");
  EXPECT_EQ(cf.params.fromPort, 2);
}

TEST_F(CommandFileTest, ByteOrderMarkBeforeLineOneIsSkipped) {
  write("\xEF\xBB\xBFSMS_TEST\r\nresults.csv\r\nT|1|2\r\n");
  CommandFile cf;
  std::string error;
  ASSERT_TRUE(read_command_file(path_.c_str(), cf, error)) << error;
  EXPECT_EQ(cf.resultName, "results.csv");
  EXPECT_EQ(cf.params.fromPort, 2);
  // Only one mark, and only at the start.
  for (const char* content :
       {"\xEF\xBB\xBF\xEF\xBB\xBFSMS_TEST\nr\nT|1|2\n", "\xEF\xBBSMS_TEST\nr\nT|1|2\n",
        " \xEF\xBB\xBFSMS_TEST\nr\nT|1|2\n"}) {
    write(content);
    EXPECT_FALSE(read_command_file(path_.c_str(), cf, error)) << content;
  }
}

TEST_F(CommandFileTest, CommandSetOptionAgreesWithTheFieldWhateverTheCase) {
  write("SMS_TEST\nr\nT|1|2|5|m|0|0|9600|0|0|0|TEXT\ncommandSet=text\n");
  CommandFile cf;
  std::string error;
  EXPECT_TRUE(read_command_file(path_.c_str(), cf, error)) << error;
  write("SMS_TEST\nr\nT|1|2|5|m|0|0|9600|0|0|0|pdu\ncommandSet=Text\n");
  EXPECT_FALSE(read_command_file(path_.c_str(), cf, error));
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
