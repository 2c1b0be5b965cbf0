// The result record of a run and the two report files.
//
// The result file collects one comma-separated line per run, the result
// line of common/result_line.h:
//   SMS_TEST,recordType,testName,dataTime,latLong,status,
//   sendTime,deliveryTime,replyTime,totalTime,accuracy,pass
// The status file holds one line "%i %s\n" (code and text) that tells the
// caller how this run ended; every run overwrites it.
#pragma once

#include <cstdint>
#include <string>

#include "common/clock.h"
#include "common/files.h"
#include "common/result_line.h"
#include "driver/run_notes.h"

namespace smstest {

class SmsTestResult {
 public:
  // Obtains the counter frequency from `clock`; when that fails the failure
  // is reported through fail_test with "cannot get clock frequency" and the
  // record stays usable.
  explicit SmsTestResult(std::string statusPath, Clock& clock = system_clock());

  // 0 when the send and the delivery were measured (and the reply time, when
  // required), else 2.
  int result_status() const;

  // The result line, line end included, exactly as write_result appends it.
  std::string result_line() const;

  // Appends the result line to resultPath, whole or not at all
  // (append_line).  When the file can't be opened or the line can't be
  // written in full, shows "Could not open log file for writing. Operation
  // Failed." and returns false.
  bool write_result();

  std::string resultPath;
  std::string dataTime;
  std::string latLong;
  std::string testName;
  std::string sendTime = kNotMeasured;
  std::string deliveryTime = kNotMeasured;
  std::string replyTime = kNotMeasured;
  std::string totalTime = kNotMeasured;
  std::string accuracy = kNotMeasured;
  // The message was found before its send was confirmed: deliveryTime is
  // 0, not an interval that was measured.
  bool deliveredBeforeConfirmation = false;
  int recordType = 1;
  bool requireReplyTime = false;
  int64_t counterFrequency = 0;
  RunNotes notes;  // for the run record (run_record.h)
};

// Overwrites the status file at `path` with "%i %s\n" (replace_file).  When
// it was opened but could not be written in full (a full disk), "Cannot
// write status file %s\n" with the path goes to the error stream, the file
// is left empty and the result is FileWrite::kIncomplete: the caller's
// channel for this run's outcome is gone.  A file that can't be opened is
// skipped without a word (FileWrite::kNotOpened).
FileWrite write_status_file(const char* path, const char* text, int code);

// write_status_file; true when the status file was written.
bool write_status(const char* path, const char* text, int code);

// Reports a failure after start-up: `message` and a line end on the error
// stream, the status file with code 2 and the message (skipped silently when
// it can't be written), then the result line with whatever the record holds.
void fail_test(std::string statusPath, SmsTestResult& result, const char* message);

}  // namespace smstest
