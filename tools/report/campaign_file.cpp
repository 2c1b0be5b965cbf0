#include "tools/report/campaign_file.h"

#include <cstdint>
#include <utility>

namespace smstest {

namespace {

int find_column(const std::vector<std::string>& fields, const char* name) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == name) return static_cast<int>(i);
  }
  return -1;
}

bool digits(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

bool is_campaign_header(const std::vector<std::string>& fields) {
  return find_column(fields, "run") >= 0 && find_column(fields, "cmdFile") >= 0 &&
         find_column(fields, "mode") >= 0;
}

bool read_utc_time(std::string_view text, double* seconds) {
  int year, month, day, hour, minute, second;
  if (!digits(text, 0, 4, &year) || text.size() < 19 || text[4] != '-' ||
      !digits(text, 5, 2, &month) || text[7] != '-' || !digits(text, 8, 2, &day) ||
      (text[10] != 'T' && text[10] != ' ') || !digits(text, 11, 2, &hour) || text[13] != ':' ||
      !digits(text, 14, 2, &minute) || text[16] != ':' || !digits(text, 17, 2, &second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return false;
  }
  size_t i = 19;
  double fraction = 0;
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
      fraction += (text[i] - '0') * scale;
    }
  }
  std::string_view zone = text.substr(i);
  if (zone != "Z" && zone != "+00:00") return false;
  *seconds = static_cast<double>(days_from_civil(year, month, day) * 86400 + hour * 3600 +
                                 minute * 60 + second) +
             fraction;
  return true;
}

bool CampaignColumns::read_header(const std::vector<std::string>& fields) {
  struct Wanted {
    const char* name;
    int* index;
  };
  const Wanted wanted[] = {
      {"run", &run_},
      {"cmdFile", &cmdFile_},
      {"testName", &testName_},
      {"start", &start_},
      {"exitCode", &exitCode_},
      {"statusCode", &statusCode_},
      {"statusText", &statusText_},
      {"sendTime", &sendTime_},
      {"deliveryTime", &deliveryTime_},
      {"replyTime", &replyTime_},
      {"totalTime", &totalTime_},
      {"accuracy", &accuracy_},
      {"mode", &mode_},
  };
  for (const Wanted& w : wanted) {
    *w.index = find_column(fields, w.name);
    if (*w.index < 0) {
      lastError = std::string("no column ") + w.name;
      return false;
    }
  }
  latLong_ = find_column(fields, "latLong");
  dataTime_ = find_column(fields, "dataTime");
  partsSent_ = find_column(fields, "partsSent");
  partsReceived_ = find_column(fields, "partsReceived");
  width_ = fields.size();
  return true;
}

const char* CampaignColumns::bad_measure(const std::vector<std::string>& f,
                                         const char** problem) const {
  if (f.size() != width_) return nullptr;
  const std::pair<const char*, int> measures[] = {{"sendTime", sendTime_},
                                                  {"deliveryTime", deliveryTime_},
                                                  {"replyTime", replyTime_},
                                                  {"totalTime", totalTime_},
                                                  {"accuracy", accuracy_}};
  for (const auto& m : measures) {
    *problem = measure_problem(f[m.second], true);
    if (*problem != nullptr) return m.first;
  }
  return nullptr;
}

bool CampaignColumns::parse_row(const std::vector<std::string>& f, RunRecord* run) const {
  if (f.size() != width_) return false;
  const std::string& mode = f[mode_];
  if (mode == "round-trip") {
    run->mode = RunMode::kRoundTrip;
  } else if (mode == "reflector") {
    run->mode = RunMode::kReflector;
  } else {
    return false;
  }
  if (!read_measure(f[sendTime_], true, &run->sendTime) ||
      !read_measure(f[deliveryTime_], true, &run->deliveryTime) ||
      !read_measure(f[replyTime_], true, &run->replyTime) ||
      !read_measure(f[totalTime_], true, &run->totalTime) ||
      !read_measure(f[accuracy_], true, &run->accuracy)) {
    return false;
  }
  run->run = f[run_];
  run->cmdFile = f[cmdFile_];
  run->hasCmdFile = true;
  run->testName = f[testName_];
  run->hasLatLong = latLong_ >= 0;
  run->latLong = run->hasLatLong ? f[latLong_] : std::string();
  run->hasDataTime = dataTime_ >= 0;
  run->dataTime = run->hasDataTime ? f[dataTime_] : std::string();
  run->hasResultStatus = false;

  run->fromCampaign = true;
  run->hasStatusCode = read_integer(f[statusCode_], &run->statusCode);
  run->statusText = f[statusText_];
  run->hasExitCode = read_integer(f[exitCode_], &run->exitCode);
  run->hasStart = read_utc_time(f[start_], &run->startSeconds);
  // The part counts are left out when empty or no count.
  run->hasPartsSent =
      partsSent_ >= 0 && read_integer(f[partsSent_], &run->partsSent) && run->partsSent >= 0;
  run->hasPartsReceived = partsReceived_ >= 0 &&
                          read_integer(f[partsReceived_], &run->partsReceived) &&
                          run->partsReceived >= 0;
  return true;
}

}  // namespace smstest
