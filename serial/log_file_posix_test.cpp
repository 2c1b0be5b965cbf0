// open_debug_log on real files: a log held by another open debug log is not
// opened (and not emptied), a FIFO is never waited for.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "serial/com_port.h"
#include "serial/log_file.h"

namespace smstest {

namespace {

std::string temp_path(const char* name) {
  return ::testing::TempDir() + "log_file_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(OpenDebugLog, AHeldLogIsNeitherOpenedNorEmptied) {
  const std::string path = temp_path("held.log");
  std::remove(path.c_str());
  FILE* first = open_debug_log(path.c_str());
  ASSERT_NE(first, nullptr);
  std::fputs("first run\n", first);
  std::fflush(first);
  EXPECT_EQ(open_debug_log(path.c_str()), nullptr);
  EXPECT_EQ(slurp(path), "first run\n");
  std::fclose(first);
  // Let go: the next run's log starts empty.
  FILE* next = open_debug_log(path.c_str());
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(slurp(path), "");
  std::fclose(next);
  std::remove(path.c_str());
}

TEST(OpenDebugLog, TheSecondPortReportsTheLogItCannotOpen) {
  const std::string path = temp_path("port.log");
  std::remove(path.c_str());
  ComPort first;
  first.open_log(path.c_str());
  ASSERT_TRUE(first.logOn);
  ComPort second;
  ::testing::internal::CaptureStderr();
  second.open_log(path.c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot open log file " + path + "\n");
  EXPECT_FALSE(second.logOn);
  std::remove(path.c_str());
}

TEST(OpenDebugLog, AFifoIsNotWaitedFor) {
  const std::string path = temp_path("fifo.log");
  std::remove(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  EXPECT_EQ(open_debug_log(path.c_str()), nullptr);
  std::remove(path.c_str());
}

}  // namespace

}  // namespace smstest
