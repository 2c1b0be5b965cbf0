#include "driver/test_result.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace smstest {

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// ctest runs each test in a process of its own, several at once: files of
// their own for each.
std::string own_name(const char* suffix) {
  return std::to_string(getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}

class ResultTest : public ::testing::Test {
 protected:
  std::string dir_ = ::testing::TempDir();
  std::string results_ = dir_ + "result_test_" + own_name(".csv");
  std::string status_ = dir_ + "status_test_" + own_name(".txt");
  void SetUp() override {
    std::remove(results_.c_str());
    std::remove(status_.c_str());
  }
  void TearDown() override { SetUp(); }
};

TEST_F(ResultTest, FreshRecordWrittenAtOnce) {
  SmsTestResult r(status_);
  EXPECT_EQ(r.counterFrequency, 1000000000);
  r.resultPath = results_;
  ASSERT_TRUE(r.write_result());
  EXPECT_EQ(slurp(results_),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

TEST_F(ResultTest, SuccessfulRoundTripLine) {
  SmsTestResult r(status_);
  r.resultPath = results_;
  r.testName = "T1";
  r.dataTime = "20070301";
  r.latLong = "45.5N73.6W";
  r.sendTime = "2.312000";
  r.deliveryTime = "7.950000";
  r.totalTime = "11.020000";
  r.accuracy = "100";
  ASSERT_TRUE(r.write_result());
  ASSERT_TRUE(write_status(status_.c_str(), "SUCCESS", 0));
  EXPECT_EQ(slurp(results_),
            "SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100\n");
  EXPECT_EQ(slurp(status_), "0 SUCCESS\n");
}

TEST(ResultStatus, Rule) {
  struct Case {
    const char* send;
    const char* delivery;
    const char* reply;
    bool requireReply;
    int expected;
  } cases[] = {
      {"-Infinity", "1.0", "1.0", false, 2},
      {"1.0", "-Infinity", "1.0", false, 2},
      {"1.0", "2.0", "-Infinity", false, 0},
      {"1.0", "2.0", "-Infinity", true, 2},
      {"1.0", "2.0", "3.0", true, 0},
      {"garbage", "-infinity", "x", false, 0},  // any text but "-Infinity" counts as measured
  };
  for (const Case& c : cases) {
    SmsTestResult r("/nonexistent/status");
    r.sendTime = c.send;
    r.deliveryTime = c.delivery;
    r.replyTime = c.reply;
    r.requireReplyTime = c.requireReply;
    EXPECT_EQ(r.result_status(), c.expected) << c.send << "," << c.delivery << "," << c.reply;
    std::string line = r.result_line();
    EXPECT_EQ(line.substr(line.rfind(',')), c.expected == 0 ? ",100\n" : ",0\n");
  }
}

TEST_F(ResultTest, AccuracyBelowHundredStillPasses) {
  SmsTestResult r(status_);
  r.resultPath = results_;
  r.sendTime = "1.000000";
  r.deliveryTime = "2.000000";
  r.accuracy = "80";
  EXPECT_EQ(r.result_line(), "SMS_TEST,1,,,,0,1.000000,2.000000,-Infinity,-Infinity,80,100\n");
}

TEST_F(ResultTest, FailTestWritesStatusAndLine) {
  SmsTestResult r(status_);
  r.resultPath = results_;
  r.testName = "T9";
  r.sendTime = "0.500000";
  ::testing::internal::CaptureStderr();
  fail_test(status_, r, "Cannot send SMS\n");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Cannot send SMS\n\n");
  EXPECT_EQ(slurp(status_), "2 Cannot send SMS\n\n");
  EXPECT_EQ(slurp(results_),
            "SMS_TEST,1,T9,,,2,0.500000,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

TEST_F(ResultTest, UnwritableFilesDoNotStopTheOther) {
  SmsTestResult r(status_);
  r.resultPath = dir_;  // a directory: the result file can't be opened
  ::testing::internal::CaptureStderr();
  fail_test(status_, r, "Modem returned an error");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "Modem returned an error\nCould not open log file for writing. Operation Failed.\n");
  EXPECT_EQ(slurp(status_), "2 Modem returned an error\n");

  SmsTestResult r2("/nonexistent/dir/status.txt");
  r2.resultPath = results_;
  ::testing::internal::CaptureStderr();
  fail_test("/nonexistent/dir/status.txt", r2, "x");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "x\n");
  EXPECT_EQ(slurp(results_),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
  EXPECT_FALSE(write_status("/nonexistent/dir/status.txt", "x", 2));
}

TEST_F(ResultTest, RunsAppendAndStatusOverwrites) {
  for (const char* name : {"A", "B"}) {
    SmsTestResult r(status_);
    r.resultPath = results_;
    r.testName = name;
    r.write_result();
    write_status(status_.c_str(), name, 2);
  }
  EXPECT_EQ(slurp(results_),
            "SMS_TEST,1,A,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n"
            "SMS_TEST,1,B,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
  EXPECT_EQ(slurp(status_), "2 B\n");
}

// Many processes appending long lines at the same moment: every line must
// come out whole.
TEST_F(ResultTest, ConcurrentAppendsNeverTear) {
  const int kWriters = 16;
  const int kLinesEach = 50;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SmsTestResult r("/nonexistent/status");
      r.resultPath = results_;
      r.testName = std::string(3000, static_cast<char>('a' + w));
      for (int i = 0; i < kLinesEach; ++i) r.write_result();
      _exit(0);
    }
  }
  for (int w = 0; w < kWriters; ++w) {
    int status = 0;
    wait(&status);
  }
  std::istringstream in(slurp(results_));
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    ASSERT_EQ(line.size(), 3000u + 67u) << "torn line " << count;
    char c = line[11];
    EXPECT_EQ(line.substr(11, 3000), std::string(3000, c));
  }
  EXPECT_EQ(count, kWriters * kLinesEach);
}

}  // namespace

}  // namespace smstest
