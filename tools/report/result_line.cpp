#include "tools/report/result_line.h"

#include "common/result_line.h"

namespace smstest {

bool parse_result_line(std::string_view text, RunRecord* run, bool* otherRecord) {
  ResultLine line;
  const ResultLineKind kind = read_result_line(text, line);
  if (otherRecord != nullptr) *otherRecord = kind == ResultLineKind::kOtherRecord;
  if (kind != ResultLineKind::kMeasures) return false;

  if (!read_measure(line.sendTime, false, &run->sendTime) ||
      !read_measure(line.deliveryTime, false, &run->deliveryTime) ||
      !read_measure(line.replyTime, false, &run->replyTime) ||
      !read_measure(line.totalTime, false, &run->totalTime) ||
      !read_measure(line.accuracy, false, &run->accuracy)) {
    return false;
  }
  run->testName.assign(line.testName);
  run->dataTime.assign(line.dataTime);
  run->latLong.assign(line.latLong);
  run->hasDataTime = true;
  run->hasLatLong = true;
  run->hasCmdFile = false;
  run->cmdFile.clear();
  run->hasResultStatus = read_integer(line.status, &run->resultStatus);
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
