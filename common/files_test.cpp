#include "common/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/clock.h"

namespace smstest {

namespace {

TEST(Files, WriteThenReadGivesTheSameBytes) {
  const std::string path = testing::TempDir() + "common_files_test.bin";
  const std::string bytes("line\r\n\0\xff end", 12);
  ASSERT_TRUE(write_file(path, bytes));
  EXPECT_EQ(read_file(path), bytes);
  // Writing again truncates.
  ASSERT_TRUE(write_file(path, "x"));
  EXPECT_EQ(read_file(path), "x");
  ASSERT_TRUE(write_file(path, ""));
  EXPECT_EQ(read_file(path), "");
  std::remove(path.c_str());
}

TEST(Files, MissingFilesReadEmptyAndCannotBeWritten) {
  EXPECT_EQ(read_file("/nonexistent/folder/file"), "");
  EXPECT_FALSE(write_file("/nonexistent/folder/file", "x"));
}

TEST(MonotonicSeconds, IsTheCounterInSeconds) {
  int64_t frequency = 0;
  int64_t before = 0;
  int64_t after = 0;
  ASSERT_TRUE(read_counter_frequency(frequency));
  ASSERT_TRUE(read_performance_counter(before));
  const double seconds = monotonic_seconds();
  ASSERT_TRUE(read_performance_counter(after));
  const double f = static_cast<double>(frequency);
  EXPECT_GE(seconds, static_cast<double>(before) / f - 1e-9);
  EXPECT_LE(seconds, static_cast<double>(after) / f + 1e-9);
  EXPECT_LE(seconds, monotonic_seconds());
}

}  // namespace

}  // namespace smstest
