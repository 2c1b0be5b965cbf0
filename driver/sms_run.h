// One test run of SMS_TEST, from the command line to the exit code.
//
//   SMS_TEST cmdFile errFile dataTime latLong
//   SMS_TEST --version
//   SMS_TEST --check cmdFile   (the command file, its ports and modems checked
//                               as a run would, nothing sent: exit 0 or 2)
//
// Exit codes: 0 when a test sequence ran to its end, 1 when the application
// framework can't start, 128 + the signal number when SIGINT, SIGTERM or
// SIGHUP ended the run, 2 for every other failure.  Failures before the
// modem sessions exist (start-up refusals) print one line on the error stream
// and write no status or result file, only the run record when the
// environment or the command file read by then names one (failure phase
// "setup"); every later failure goes through fail_test (status file and
// result line).
#pragma once

namespace smstest {

class Clock;

// The run on the system clock, in a process prepared for it
// (prepare_process, driver/platform.h).
int run_sms_test(int argc, char** argv);

// The run with every counter, calendar and steady reading, the sessions' included,
// taken from `clock`.
int run_sms_test(int argc, char** argv, Clock& clock);

}  // namespace smstest
