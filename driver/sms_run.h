// One test run of SMS_TEST, from the command line to the exit code.
//
//   SMS_TEST cmdFile errFile dataTime latLong
//
// Exit codes: 0 when a test sequence ran to its end, 1 when the application
// framework can't start, 2 for every other failure.  Failures before the
// modem sessions exist print one line on the error stream and write no file;
// every later failure goes through fail_test (status file and result line).
#pragma once

namespace smstest {

int run_sms_test(int argc, char** argv);

}  // namespace smstest
