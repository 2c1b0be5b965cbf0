#include "driver/sms_test.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/command_file.h"
#include "driver/platform.h"
#include "driver/test_result.h"
#include "serial/clock.h"
#include "serial/text.h"

namespace {

int start_up_failure(const std::string& message) {
  std::fputs(message.c_str(), stderr);
  std::fflush(stderr);
  return 2;
}

}  // namespace

int run_sms_test(int argc, char** argv) {
  if (!init_framework()) {
    std::fputs("Fatal Error: MFC initialization failed\n", stdout);
    std::fflush(stdout);
    return 1;
  }

  std::string workingDir;
  std::string cwdError;
  if (!working_directory(workingDir, cwdError)) {
    return start_up_failure(format("Cannot read the working directory: %s\n", cwdError.c_str()));
  }

  int64_t runStartReading = 0;
  if (!read_performance_counter(runStartReading)) {
    return start_up_failure("Cannot use performance counter on this PC\n");
  }
  const int64_t runStartTime = calendar_seconds();
  int64_t secondReading = 0;
  if (!read_performance_counter(secondReading)) {
    return start_up_failure("Cannot use performance counter on this PC\n");
  }

  if (argc != 5) {
    return start_up_failure("SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n");
  }
  const char* cmdFile = argv[1];
  const std::string statusPath = join_path(workingDir, argv[2]);
  const char* dataTime = argv[3];

  SmsTestResult result(statusPath);
  result.dataTime = dataTime;
  result.latLong = argv[4];
  const std::string timeMarker = format("tImE%sT", dataTime);

  CommandFile command;
  std::string error;
  if (!read_command_file(cmdFile, command, error)) return start_up_failure(error);
  result.resultPath = join_path(workingDir, command.resultName);
  SmsTestParams& params = command.params;

  const std::string fromLogName = format("%s.%d.%s", params.testName.c_str(), params.fromPort, "debug.log");
  if (params.fromPort < 1) return start_up_failure("From COM port must be > 0\n");
  result.testName = params.testName;

  // ---- The modem sessions and the test sequences are not built yet. ----
  // The run stops here, after its start-up checks, without opening a port or
  // writing a report.
  (void)runStartTime;
  (void)timeMarker;
  (void)fromLogName;
  return start_up_failure("SMS_TEST: modem sessions are not available in this build\n");
}
