// The run record: everything a run knows, as one JSON object on one line,
// appended to the file that the command file's `record=` option or, without
// it, the environment variable SMS_TEST_RECORD names.  Every run past
// start-up leaves one (and a start-up refusal too, once it knows the file), failed or not,
// interrupted by a signal or not, with the status file written or not; runs appending to one file
// at once never mix their lines (append_line).  doc/run-record.schema.json describes the fields;
// the README and the manual page list them.
#pragma once

#include <cstdint>
#include <string>

#include "driver/command_file.h"
#include "driver/test_result.h"
#include "modem/sms_session.h"

namespace smstest {

class Clock;
class RunRadio;

// The version of the record's layout, its field "schemaVersion".
constexpr int kRunRecordVersion = 1;

// The record file of a run: the command file's `record=` value when it has
// one, else the value of SMS_TEST_RECORD, else "" (no record).  Relative
// names count from the working directory.
std::string record_path(const CommandOptions& options);

// Gathers the record of one run and appends it at the end.
class RunRecorder {
 public:
  // `startReading` is the counter reading the run's measures count from and
  // `startMicros` the calendar (microseconds since 1970, UTC) read with it:
  // every other reading becomes a calendar time through these two.  The
  // references must outlive the recorder.
  // `radio`, when not null, gives the fields "modems" and
  // "registeredAtSend" (radio_conditions.h), and must outlive the recorder.
  RunRecorder(std::string path, const SmsTestParams& params, CommandSet commandSet,
              const SmsTestResult& result, int64_t startReading, int64_t startMicros, Clock& clock,
              const RunRadio* radio = nullptr);

  // Appends the record of a run that ends with `exitCode` (when the
  // recorder has a path) and returns `exitCode`.  A record that can't be
  // written is reported on the error stream ("Cannot write run record
  // %s\n") and leaves the exit code alone.
  int finish(int exitCode) const;

  // The record, one JSON object and its line end, of a run that ends with
  // `exitCode` at counter reading `endReading`.
  std::string record_line(int exitCode, int64_t endReading) const;

 private:
  int64_t calendar_of(int64_t reading) const;

  std::string path_;
  const SmsTestParams& params_;
  CommandSet commandSet_;
  const SmsTestResult& result_;
  int64_t startReading_;
  int64_t startMicros_;
  Clock& clock_;
  const RunRadio* radio_;
};

// "2026-12-08T10:15:00.123456Z" for `micros` microseconds since 1970, UTC.
std::string iso_utc_microseconds(int64_t micros);

// The modem's error in a failure text: "+CMS ERROR: 330" gives type "CMS"
// and code 330, "+CME ERROR: 14" type "CME" and 14.  False when the text
// holds neither with a number.
bool modem_error_of(const std::string& text, std::string& type, int& code);

}  // namespace smstest
