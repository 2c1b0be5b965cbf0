#include "tools/report/csv_reader.h"

#include <gtest/gtest.h>

namespace smstest {
namespace {

TEST(CsvReader, SplitsRecords) {
  struct Case {
    std::string line;
    std::vector<std::string> fields;
  } cases[] = {
      {"", {""}},
      {"a", {"a"}},
      {"a,b,c", {"a", "b", "c"}},
      {",", {"", ""}},
      {"a,", {"a", ""}},
      {",,x", {"", "", "x"}},
      {"\"a,b\",c", {"a,b", "c"}},
      {"\"say \"\"hi\"\"\",2", {"say \"hi\"", "2"}},
      {"\"\"", {""}},
      {"\"\",\"\"", {"", ""}},
      {"x,\"\"\"\"", {"x", "\""}},
      {"a\"b,c", {"a\"b", "c"}},  // a quote inside an unquoted field is kept
      {"1,\"Cannot send SMS\",-Infinity", {"1", "Cannot send SMS", "-Infinity"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> fields;
    EXPECT_TRUE(split_csv_record(c.line, &fields)) << c.line;
    EXPECT_EQ(fields, c.fields) << c.line;
  }
}

TEST(CsvReader, RefusesBrokenQuotes) {
  for (const char* line : {"\"open", "a,\"open", "\"a\"b,c", "\"a\" ,c", "x,\"\"\""}) {
    std::vector<std::string> fields;
    EXPECT_FALSE(split_csv_record(line, &fields)) << line;
  }
}

TEST(CsvReader, QuotesFieldsThatNeedIt) {
  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(csv_field(""), "");
  EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csv_field("two\nlines"), "\"two\nlines\"");
  // What csv_field writes, split_csv_record reads back.
  for (const std::string text : {"a,b", "\"", "x\"\",y", ",", "plain"}) {
    std::vector<std::string> fields;
    ASSERT_TRUE(split_csv_record(csv_field(text) + "," + csv_field(text), &fields)) << text;
    EXPECT_EQ(fields, (std::vector<std::string>{text, text})) << text;
  }
}

}  // namespace
}  // namespace smstest
