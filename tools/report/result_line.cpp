#include "tools/report/result_line.h"

namespace smstest {

bool parse_result_line(std::string_view line, RunRecord* run) {
  constexpr std::string_view kTag = "SMS_TEST,";
  if (line.substr(0, kTag.size()) != kTag) return false;
  std::string_view column[kResultColumns];
  int count = 0;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    if (count == kResultColumns) return false;  // more columns than a result line has
    column[count++] = line.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (count != kResultColumns) return false;

  if (!read_measure(column[6], false, &run->sendTime) ||
      !read_measure(column[7], false, &run->deliveryTime) ||
      !read_measure(column[8], false, &run->replyTime) ||
      !read_measure(column[9], false, &run->totalTime) ||
      !read_measure(column[10], false, &run->accuracy)) {
    return false;
  }
  run->testName.assign(column[2]);
  run->dataTime.assign(column[3]);
  run->latLong.assign(column[4]);
  run->hasDataTime = true;
  run->hasLatLong = true;
  run->hasCmdFile = false;
  run->cmdFile.clear();
  run->hasResultStatus = read_integer(column[5], &run->resultStatus);
  run->mode = run->replyTime.taken ? RunMode::kReflector : RunMode::kRoundTrip;

  run->fromCampaign = false;
  run->hasStatusCode = false;
  run->statusText.clear();
  run->hasExitCode = false;
  run->hasStart = false;
  run->run.clear();
  return true;
}

}  // namespace smstest
