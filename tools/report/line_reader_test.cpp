#include "tools/report/line_reader.h"

#include <gtest/gtest.h>

#include "testsupport/run_process.h"

namespace smstest {
namespace {

struct Line {
  std::string text;
  bool overlong;
  long long number;
};

std::vector<Line> read_all(const std::string& content) {
  const std::string path = make_temp_dir("lines") + "/f";
  EXPECT_TRUE(write_file(path, content));
  LineReader reader;
  EXPECT_TRUE(reader.open(path)) << reader.lastError;
  std::vector<Line> lines;
  std::string_view line;
  bool overlong;
  while (reader.next(&line, &overlong)) {
    lines.push_back({std::string(line), overlong, reader.line_number()});
  }
  EXPECT_FALSE(reader.failed()) << reader.lastError;
  return lines;
}

std::vector<std::string> texts(const std::vector<Line>& lines) {
  std::vector<std::string> out;
  for (const Line& l : lines) out.push_back(l.text);
  return out;
}

TEST(LineReader, SplitsAtLineEndsOfBothKinds) {
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb\r", {"a", "", "b"}},
      {"a\rb\n", {"a\rb"}},  // a CR inside a line is kept
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(texts(read_all(c.content)), c.lines) << c.content;
}

TEST(LineReader, ReadsLinesAcrossBlocksAndNumbersThem) {
  // Lines of varied length over several 1 MiB blocks, so that some cross a
  // block boundary.
  std::string content;
  std::vector<std::string> expected;
  for (int i = 0; i < 60000; ++i) {
    std::string line = "SMS_TEST,1,T" + std::to_string(i) + std::string(i % 97, 'x');
    expected.push_back(line);
    content += line + (i % 3 == 0 ? "\r\n" : "\n");
  }
  std::vector<Line> lines = read_all(content);
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].text, expected[i]) << "line " << i + 1;
    ASSERT_EQ(lines[i].number, static_cast<long long>(i + 1));
    ASSERT_FALSE(lines[i].overlong);
  }
}

TEST(LineReader, GivesUpOnOverlongLinesButNotOnTheLinesAfter) {
  const std::string huge(LineReader::kMaxLine + 10, 'z');
  const std::string longer(3 * LineReader::kMaxLine + 5, 'q');  // several blocks
  std::vector<Line> lines = read_all("first\n" + huge + "\nmiddle\n" + longer + "\nlast");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].text, "first");
  EXPECT_TRUE(lines[1].overlong);
  EXPECT_EQ(lines[1].text, "");
  EXPECT_EQ(lines[2].text, "middle");
  EXPECT_FALSE(lines[2].overlong);
  EXPECT_TRUE(lines[3].overlong);
  EXPECT_EQ(lines[4].text, "last");
  EXPECT_EQ(lines[4].number, 5);
  // A line of exactly the limit is still a line.
  std::vector<Line> edge = read_all(std::string(LineReader::kMaxLine, 'e') + "\nnext\n");
  ASSERT_EQ(edge.size(), 2u);
  EXPECT_FALSE(edge[0].overlong);
  EXPECT_EQ(edge[0].text.size(), LineReader::kMaxLine);
}

TEST(LineReader, SaysWhyAFileCantBeOpened) {
  LineReader reader;
  const std::string path = make_temp_dir("lines") + "/missing.csv";
  EXPECT_FALSE(reader.open(path));
  EXPECT_EQ(reader.lastError, "cannot read " + path + ": No such file or directory");
}

TEST(LineReader, ReportsAReadErrorOfADirectory) {
  // Opening a directory succeeds on Linux; reading it fails.
  LineReader reader;
  const std::string dir = make_temp_dir("lines");
  if (!reader.open(dir)) GTEST_SKIP() << "this system refuses to open a directory";
  std::string_view line;
  bool overlong;
  EXPECT_FALSE(reader.next(&line, &overlong));
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.lastError, "cannot read " + dir + ": Is a directory");
}

}  // namespace
}  // namespace smstest
