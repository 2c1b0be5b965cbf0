#include "driver/sms_run.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/clock.h"
#include "common/files.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "common/version.h"
#include "driver/command_file.h"
#include "driver/message_length.h"
#include "driver/message_text.h"
#include "driver/platform.h"
#include "driver/radio_conditions.h"
#include "driver/run_record.h"
#include "driver/test_result.h"
#include "driver/test_sequences.h"
#include "modem/sms_session.h"
#include "modem/text_format.h"
#include "pdu/concatenation.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

int start_up_failure(const std::string& message) {
  std::fputs(message.c_str(), stderr);
  std::fflush(stderr);
  return 2;
}

bool has_line_end(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// The debug log of the modem on `port`: "<testName>.<port>.debug.log" in the
// current directory.
std::string debug_log_name(const std::string& testName, int port) {
  return format("%s.%d.%s", testName.c_str(), port, "debug.log");
}

// Why a run can't go on with the command file `cmdFile`, or "" when it can:
// the checks of every run before it opens a port, made by the check mode
// too.  Reads the file into `command`, the command set into `commandSet`,
// and puts the message text in the form the command set sends; `utf8Text`
// says it stayed UTF-8 (a character beyond U+00FF).  A line end in the test
// name would forge result lines of its own, and one in the message would
// split the send command.
std::string command_file_refusal(const char* cmdFile, CommandFile& command, CommandSet& commandSet,
                                 bool& utf8Text) {
  std::string error;
  if (!read_command_file(cmdFile, command, error)) return error;
  SmsTestParams& params = command.params;
  if (params.fromPort < 1) return "From COM port must be > 0\n";
  if (!command_set_from_name(params.commandSet, commandSet)) {
    return format("Unknown command set %s (valid: %s)\n", params.commandSet.c_str(),
                  command_set_choices());
  }
  if (has_line_end(params.testName)) {
    return format("The testName field in %s holds a line end (CR or LF)\n", cmdFile);
  }
  if (has_line_end(params.messageText)) {
    return format("The messageText field in %s holds a line end (CR or LF)\n", cmdFile);
  }
  // The standard sets carry characters (ISO-8859-1 ones, or UTF-8 for a
  // text beyond them); the proprietary set the bytes as they are.
  utf8Text = false;
  if (commandSet != CommandSet::kProprietary) {
    MessageText text;
    if (!read_message_text(params.messageText, command.options.charset, text, error)) {
      return format("The messageText field in %s %s\n", cmdFile, error.c_str());
    }
    params.messageText = text.text;
    utf8Text = text.utf8;
  }
  return "";
}

// Why the run can't go on with these arguments, or "": a line end in a text
// of the result line would forge lines of its own.
std::string refused_texts(const char* dataTime, const SmsTestResult& result,
                          const std::string& statusPath, const char* statusArg) {
  if (has_line_end(dataTime)) {
    return "The dataTime argument holds a line end (CR or LF)\n";
  }
  if (has_line_end(result.latLong)) {
    return "The latLong argument holds a line end (CR or LF)\n";
  }
  // The status file would overwrite the result lines of every earlier run.
  if (same_file(statusPath, result.resultPath)) {
    return format("The status file %s is the result file\n", statusArg);
  }
  return "";
}

// The run's sessions: the sending one, and the receiving one when the run
// has a second modem.  Both debug logs exist before either port is opened,
// so that each log holds its modem's whole dialogue.  With `utf8Texts`
// both carry texts as UTF-8.
void make_sessions(CommandSet commandSet, const SmsTestParams& params, bool utf8Texts,
                   const std::string& fromLogName, Clock& clock,
                   std::unique_ptr<SmsSession>& fromSession,
                   std::unique_ptr<SmsSession>& toSession) {
  fromSession = make_sms_session(commandSet, make_serial_device(), clock);
  if (utf8Texts) fromSession->want_utf8_texts();
  fromSession->open_log(fromLogName.c_str());
  const bool oneModem =
      params.reflectMode != 0 || params.toPort == params.fromPort || params.toPort == 0;
  if (!oneModem) {
    toSession = make_sms_session(commandSet, make_serial_device(), clock);
    if (utf8Texts) toSession->want_utf8_texts();
    toSession->open_log(debug_log_name(params.testName, params.toPort).c_str());
  }
}

// SMS_TEST --check cmdFile: the command file read and checked as a run
// would, then every port the run would open opened and its modem set up as
// the run would, and closed again.  One verdict line: on standard output
// when the run could go on (exit 0), on standard error when not (exit 2).
int check_command_file(const char* cmdFile, Clock& clock) {
  CommandFile command;
  CommandSet commandSet = CommandSet::kProprietary;
  bool utf8Text = false;
  std::string refusal = command_file_refusal(cmdFile, command, commandSet, utf8Text);
  const SmsTestParams& params = command.params;
  std::string ports;
  if (refusal.empty()) {
    const bool oneModem =
        params.reflectMode != 0 || params.toPort == params.fromPort || params.toPort == 0;
    const int count = oneModem ? 1 : 2;
    for (int i = 0; i < count && refusal.empty(); ++i) {
      const int port = i == 0 ? params.fromPort : params.toPort;
      const int baud = i == 0 ? params.fromBaud : params.toBaud;
      std::unique_ptr<SmsSession> session =
          make_sms_session(commandSet, make_serial_device(), clock);
      if (utf8Text) session->want_utf8_texts();
      if (session->open(port, baud, params.testTimeout, clock.steady_seconds())) {
        ports += format("%sCOM%d", ports.empty() ? "" : " and ", port);
      } else {
        refusal = format("COM%d: %s", port, session->last_error().c_str());
        if (!has_line_end(refusal)) refusal += "\n";
      }
      session->close_port();
    }
  }
  if (!refusal.empty()) {
    std::fprintf(stderr, "%s: not ready: %s", cmdFile, refusal.c_str());
    std::fflush(stderr);
    return 2;
  }
  std::printf("%s: ready: a modem answers on %s\n", cmdFile, ports.c_str());
  std::fflush(stdout);
  return 0;
}

// Fills the marked message text to the option length=, and says why the
// round trip can't send it, or "": a length the marked text exceeds, a
// length in the proprietary set, a text longer than one message in text
// mode, more parts than maxParts in the pdu command set.  A reflector's
// reply is only known when it is sent.
std::string long_text_refusal(const CommandOptions& options, CommandSet commandSet, bool utf8,
                              SmsTestParams& params) {
  if (options.length >= 0) {
    if (commandSet == CommandSet::kProprietary) {
      return "Option length needs the text or pdu command set\n";
    }
    std::string filled, why;
    if (!fill_to_length(params.messageText, options.length, utf8, filled, why)) {
      return why + "\n";
    }
    params.messageText = filled;
  }
  if (params.reflectMode != 0) return "";
  if (commandSet == CommandSet::kText) {
    const std::string why = text_mode_too_long(params.messageText, utf8);
    return why.empty() ? why : why + "\n";
  }
  if (commandSet == CommandSet::kPdu) {
    ConcatOptions concat;
    concat.referenceBits = options.referenceBits;
    concat.maxParts = options.maxParts;
    concat.submit.utf8 = utf8;
    std::vector<EncodedPdu> parts;
    std::string why;
    // Only the part count is looked at here: a bad number is the send's to
    // report.
    if (!encode_concatenated_submit("0", params.messageText, 0, parts, why, concat) &&
        why.rfind("Message text too long", 0) == 0) {
      return "Cannot send the message in PDU mode: " + why + "\n";
    }
  }
  return "";
}

}  // namespace

int run_sms_test(int argc, char** argv) {
  prepare_process();
  return run_sms_test(argc, argv, system_clock());
}

int run_sms_test(int argc, char** argv, Clock& clock) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("SMS_TEST %s\n", kVersion);
    return 0;
  }
  if (!init_framework()) {
    std::fputs("Fatal Error: MFC initialization failed\n", stdout);
    std::fflush(stdout);
    return 1;
  }

  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return check_command_file(argv[2], clock);

  std::string workingDir;
  std::string cwdError;
  if (!working_directory(workingDir, cwdError)) {
    return start_up_failure(format("Cannot read the working directory: %s\n", cwdError.c_str()));
  }

  int64_t runStartReading = 0;
  if (!clock.read_performance_counter(runStartReading)) {
    return start_up_failure("Cannot use performance counter on this PC\n");
  }
  const int64_t runStartMicros = clock.calendar_microseconds();
  // The limits of the run count on the steady clock, from here.
  const int64_t runStartTime = clock.steady_seconds();
  int64_t secondReading = 0;
  if (!clock.read_performance_counter(secondReading)) {
    return start_up_failure("Cannot use performance counter on this PC\n");
  }

  if (argc != 5) {
    return start_up_failure("SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n");
  }
  const char* cmdFile = argv[1];
  const std::string statusPath = join_path(workingDir, argv[2]);
  const char* dataTime = argv[3];

  SmsTestResult result(statusPath, clock);
  result.dataTime = dataTime;
  result.latLong = argv[4];
  const std::string timeMarker = format("tImE%sT", dataTime);

  CommandFile command;
  SmsTestParams& params = command.params;
  CommandSet commandSet = CommandSet::kProprietary;
  // A refusal prints its message; it leaves a run record too when the run
  // knows where one goes by then (the environment, or the command file's
  // option once the file has been read), failed in the set-up.
  auto refuse = [&](const std::string& message) {
    const int code = start_up_failure(message);
    result.notes.note_refusal(message);
    const RunRecorder recorder(record_path(command.options), params, commandSet, result,
                               runStartReading, runStartMicros, clock);
    return recorder.finish(code);
  };
  bool utf8Text = false;
  const std::string fileRefusal = command_file_refusal(cmdFile, command, commandSet, utf8Text);
  result.notes.utf8Text = utf8Text;
  if (!command.resultName.empty()) result.resultPath = join_path(workingDir, command.resultName);
  result.testName = params.testName;
  if (!fileRefusal.empty()) return refuse(fileRefusal);
  const std::string refusal = refused_texts(dataTime, result, statusPath, argv[2]);
  if (!refusal.empty()) return refuse(refusal);
  const std::string fromLogName = debug_log_name(params.testName, params.fromPort);

  // From here on the round trip sends, and looks for, the marked text.
  params.messageText = timeMarker + params.messageText;
  const std::string lengthRefusal =
      long_text_refusal(command.options, commandSet, utf8Text, params);
  if (!lengthRefusal.empty()) return refuse(lengthRefusal);
  // Past start-up: every way out leaves a run record when one is asked for.
  RunRadio radio(radio_wanted(commandSet, command.options.radio));
  const RunRecorder recorder(record_path(command.options), params, commandSet, result,
                             runStartReading, runStartMicros, clock, &radio);

  std::unique_ptr<SmsSession> fromSession;
  std::unique_ptr<SmsSession> toSession;
  make_sessions(commandSet, params, utf8Text, fromLogName, clock, fromSession, toSession);
  // A reflector's reply asks for a report with report=1; wait=report is a
  // round trip's.
  const bool reports =
      command.options.report || (command.options.waitReport && params.reflectMode == 0);
  if (reports) fromSession->want_reports();

  // A run that a signal interrupted ends through the failure path with the
  // interruption's text, and exits with 128 + the signal number.  A port
  // that did not open, or a modem that did not answer, failed in the set-up:
  // the test system's failure, not the network's.
  auto failed = [&](const SmsSession& session) {
    if (!session.modem_answered() && interrupt_signal() == 0) {
      result.notes.phase = RunPhase::kSetup;
    }
    fail_test(statusPath, result,
              interrupt_signal() != 0 ? interrupt_text().c_str() : session.last_error().c_str());
    return interrupt_signal() != 0 ? 128 + interrupt_signal() : 2;
  };
  if (!fromSession->open(params.fromPort, params.fromBaud, params.testTimeout, runStartTime)) {
    return recorder.finish(failed(*fromSession));
  }
  if (toSession &&
      !toSession->open(params.toPort, params.toBaud, params.testTimeout, runStartTime)) {
    return recorder.finish(failed(*toSession));
  }

  // Identity and radio at open, each modem once, in its roles.
  radio.add(*fromSession, params.fromPort, "from");
  if (params.reflectMode != 0) {
    radio.add(*fromSession, params.fromPort, "to");
  } else if (toSession) {
    radio.add(*toSession, params.toPort, "to");
  } else {
    radio.add(*fromSession, params.fromPort, "to");
  }
  radio.at_open();

  TestRun run{params, result, statusPath, timeMarker, runStartReading, clock};
  run.report = command.options.report;
  run.waitReport = command.options.waitReport;
  run.radio = &radio;
  run.referenceBits = command.options.referenceBits;
  run.maxParts = command.options.maxParts;
  run.checkReplyText = commandSet != CommandSet::kPdu;
  const int code = params.reflectMode != 0
                       ? run_reflector(run, *fromSession)
                       : run_round_trip(run, *fromSession, toSession ? *toSession : *fromSession);
  return recorder.finish(code != 0 && interrupt_signal() != 0 ? 128 + interrupt_signal() : code);
}

}  // namespace smstest
