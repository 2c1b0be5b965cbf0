#include "driver/test_result.h"

#include <cstdio>

#include "common/clock.h"
#include "common/files.h"
#include "common/result_line.h"
#include "common/text.h"
#include "driver/platform.h"

namespace smstest {

SmsTestResult::SmsTestResult(std::string statusPath, Clock& clock) {
  if (!clock.read_counter_frequency(counterFrequency)) {
    fail_test(statusPath, *this, "cannot get clock frequency");
  }
}

int SmsTestResult::result_status() const {
  if (sendTime == kNotMeasured) return 2;
  if (deliveryTime == kNotMeasured) return 2;
  if (!requireReplyTime) return 0;
  return replyTime == kNotMeasured ? 2 : 0;
}

std::string SmsTestResult::result_line() const {
  ResultValues values;
  values.recordType = recordType;
  values.testName = testName;
  values.dataTime = dataTime;
  values.latLong = latLong;
  values.status = result_status();
  values.sendTime = sendTime;
  values.deliveryTime = deliveryTime;
  values.replyTime = replyTime;
  values.totalTime = totalTime;
  values.accuracy = accuracy;
  return format_result_line(values);
}

bool SmsTestResult::write_result() {
  notes.resultLineWritten = append_line(resultPath, result_line());
  if (!notes.resultLineWritten) {
    show_message_box("Could not open log file for writing. Operation Failed.");
    return false;
  }
  return true;
}

FileWrite write_status_file(const char* path, const char* text, int code) {
  FileWrite outcome = replace_file(path, format("%i %s\n", code, text));
  if (outcome == FileWrite::kIncomplete) {
    std::fprintf(stderr, "Cannot write status file %s\n", path);
    std::fflush(stderr);
  }
  return outcome;
}

bool write_status(const char* path, const char* text, int code) {
  return write_status_file(path, text, code) == FileWrite::kWritten;
}

void fail_test(std::string statusPath, SmsTestResult& result, const char* message) {
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  result.notes.note_status(2, message, write_status_file(statusPath.c_str(), message, 2));
  result.write_result();
}

}  // namespace smstest
