// The run's performance-counter and clock-frequency failures, on the fake
// clock: at start-up, in the result record, and at the end of each
// sequence, with sessions on the scripted fake device.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/files.h"
#include "driver/sms_run.h"
#include "driver/test_result.h"
#include "driver/test_sequences.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/temp_path.h"

namespace smstest {

namespace {

const char kNoCounter[] = "Cannot use performance counter on this PC\n";
const std::string kOk = "\r\nOK\r\n";

TEST(StartUpCounter, EitherFailedReadingEndsTheRun) {
  for (int failing : {0, 1}) {
    FakeClock clock;
    clock.fail_counter_read(failing);
    const char* argv[] = {"SMS_TEST", "cmd.txt", "status.txt", "20240101", "45N73W"};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run_sms_test(5, const_cast<char**>(argv), clock), 2) << failing;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), kNoCounter) << failing;
    EXPECT_EQ(clock.counter_reads(), failing + 1);
  }
  // With a working counter the run gets as far as the command line.
  FakeClock clock;
  const char* argv[] = {"SMS_TEST"};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(run_sms_test(1, const_cast<char**>(argv), clock), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n");
}

TEST(ResultFrequency, FailureIsReportedAndTheRecordStaysUsable) {
  const std::string status = test_temp_path("status.txt");
  std::remove(status.c_str());
  FakeClock clock;
  clock.fail_frequency();
  ::testing::internal::CaptureStderr();
  SmsTestResult result(status, clock);
  // No result file is known yet, so the result line can't be written.
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "cannot get clock frequency\n"
            "Could not open log file for writing. Operation Failed.\n");
  EXPECT_EQ(read_file(status), "2 cannot get clock frequency\n");
  EXPECT_EQ(result.counterFrequency, 0);
  EXPECT_EQ(result.result_line(),
            "SMS_TEST,1,,,,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
  std::remove(status.c_str());

  FakeClock working;
  working.set_counter_frequency(3579545);
  SmsTestResult measured(status, working);
  EXPECT_EQ(measured.counterFrequency, 3579545);
}

// One session on a fake modem that confirms every send, holds `body` from
// 5550100 and confirms the delete; the run's files in the test folder.
class SequenceTest : public ::testing::Test {
 protected:
  SequenceTest() {
    std::unique_ptr<FakeSerialDevice> owned(new FakeSerialDevice(clock_));
    device_ = owned.get();
    session_.reset(new SmsModem(std::move(owned), clock_));
  }

  void SetUp() override {
    std::remove(status_.c_str());
    std::remove(results_.c_str());
    device_->answer_handshake()
        .on_write("AT!DASMS\r", {kOk})
        .on_write("AT!SSMS", {kOk}, 0, -1)
        .on_write("AT!GSMS?2,0\r", {"\r\nAddress: 5550100\rMsg Body: tImE1Thello\r\nOK\r\n"})
        .on_write("AT!DSMS=3,0\r", {kOk});
    ASSERT_TRUE(session_->open(3, 115200, 60, clock_.calendar_seconds()));
    params_.testTimeout = 60;
    params_.toNumber = "5550100";
    params_.messageText = "tImE1Thello";
    result_.resultPath = results_;
  }
  void TearDown() override {
    std::remove(status_.c_str());
    std::remove(results_.c_str());
  }

  // Runs the round trip (or the reflector) with the counter read `failing`
  // counter reads from now made to fail (-1: none).
  int run(bool reflector, int failing) {
    if (failing >= 0) clock_.fail_counter_read(failing);
    TestRun run{params_, result_, status_, "tImE1T", 0, clock_};
    ::testing::internal::CaptureStderr();
    int code =
        reflector ? run_reflector(run, *session_) : run_round_trip(run, *session_, *session_);
    stderr_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  FakeClock clock_;
  FakeSerialDevice* device_ = nullptr;  // owned by the session's port
  std::unique_ptr<SmsModem> session_;
  SmsTestParams params_;
  SmsTestResult result_{"/nonexistent/status", clock_};
  std::string status_ = test_temp_path("status.txt");
  std::string results_ = test_temp_path("results.csv");
  std::string stderr_;
};

// The readings of a round trip: send start, send end, message found, end.
TEST_F(SequenceTest, RoundTripEndsWhenTheLastReadingFails) {
  EXPECT_EQ(run(false, 3), 2);
  EXPECT_EQ(read_file(status_), std::string("2 ") + kNoCounter + "\n");
  EXPECT_EQ(stderr_.substr(stderr_.size() - sizeof kNoCounter), std::string(kNoCounter) + "\n")
      << stderr_;
  EXPECT_EQ(clock_.counter_reads(), 4);
  // The result line has what was measured before, but no total time.
  const std::string line = read_file(results_);
  EXPECT_EQ(line.rfind("SMS_TEST,1,,,,0,0.000000,0.", 0), 0u) << line;
  EXPECT_NE(line.find(",-Infinity,-Infinity,100,100\n"), std::string::npos) << line;
}

TEST_F(SequenceTest, RoundTripSucceedsWithAWorkingCounter) {
  EXPECT_EQ(run(false, -1), 0) << stderr_;
  EXPECT_EQ(read_file(status_), "0 SUCCESS\n");
}

// The readings of a reflection: message found, send start, send end, end.
TEST_F(SequenceTest, ReflectorEndsWhenTheLastReadingFails) {
  EXPECT_EQ(run(true, 3), 2);
  EXPECT_EQ(read_file(status_), std::string("2 ") + kNoCounter + "\n");
  EXPECT_EQ(clock_.counter_reads(), 4);
  EXPECT_EQ(device_->writes().back().rfind("AT!SSMS=0,5550100,5550100,\"rEfLeCt", 0), 0u);
}

TEST_F(SequenceTest, ReflectorSucceedsWithAWorkingCounter) {
  EXPECT_EQ(run(true, -1), 0) << stderr_;
  EXPECT_EQ(read_file(status_), "0 SUCCESS\n");
  // The reply carries the fake calendar clock.
  EXPECT_NE(device_->written().find("rEfLeCt1700000000TtImE1Thello"), std::string::npos)
      << device_->written();
}

}  // namespace

}  // namespace smstest
