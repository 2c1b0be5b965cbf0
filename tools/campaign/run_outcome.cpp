#include "tools/campaign/run_outcome.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "common/clock.h"
#include "common/result_line.h"
#include "common/text.h"
#include "tools/campaign/runs_jsonl.h"

namespace smstest {

namespace {

const char* signal_name(int signal) {
  switch (signal) {
    case 1:
      return " (SIGHUP)";
    case 2:
      return " (SIGINT)";
    case 6:
      return " (SIGABRT)";
    case 9:
      return " (SIGKILL)";
    case 11:
      return " (SIGSEGV)";
    case 15:
      return " (SIGTERM)";
    default:
      return "";
  }
}

}  // namespace

UtcTime utc_of(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (the proleptic Gregorian calendar in eras
  // of 400 years, each 146097 days, counted from 0000-03-01).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  UtcTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

std::string iso_utc(int64_t seconds) {
  UtcTime t = utc_of(seconds);
  return format("%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

std::string data_time(int64_t campaignStart, int run) {
  UtcTime t = utc_of(campaignStart);
  return format("%04d%02d%02d%02d%02d%02d%06d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                run);
}

std::string one_line(const std::string& text) {
  std::string out;
  bool pendingBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      pendingBreak = true;
      continue;
    }
    if (pendingBreak && !out.empty()) out += ' ';
    pendingBreak = false;
    out += c;
  }
  return out;
}

bool parse_status(const std::string& content, std::string& code, std::string& text) {
  size_t i = 0;
  if (i < content.size() && content[i] == '-') ++i;
  size_t digits = i;
  while (i < content.size() && content[i] >= '0' && content[i] <= '9') ++i;
  if (i == digits) return false;
  code = content.substr(0, i);
  if (i < content.size() && content[i] == ' ') ++i;
  text = one_line(content.substr(i));
  return true;
}

bool find_result_measures(const std::string& results, const std::string& dataTime,
                          std::vector<std::string>& measures) {
  bool found = false;
  ResultLine line;
  size_t start = 0;
  while (start < results.size()) {
    size_t end = results.find('\n', start);
    if (end == std::string::npos) end = results.size();
    const std::string_view text = std::string_view(results).substr(start, end - start);
    start = end + 1;
    if (text.find(dataTime) == std::string_view::npos) continue;
    read_result_line(text, line);
    if (!carries_data_time(line, dataTime)) continue;
    measures.assign({std::string(line.sendTime), std::string(line.deliveryTime),
                     std::string(line.replyTime), std::string(line.totalTime),
                     std::string(line.accuracy)});
    found = true;
  }
  return found;
}

std::string last_line(const std::string& text) {
  std::string last;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!trim_text(line).empty()) last = line;
  }
  return last;
}

std::string find_data_time_of_run(const std::string& results, int run) {
  const std::string number = format("%06d", run);
  std::string found;
  size_t start = 0;
  while (start < results.size()) {
    size_t end = results.find('\n', start);
    if (end == std::string::npos) end = results.size();
    const std::string line = results.substr(start, end - start);
    start = end + 1;
    // The dataTime is among the texts of a record of type 1 (a comma in a
    // text may have shifted it).
    ResultLine read;
    const ResultLineKind kind = read_result_line(line, read);
    if (kind != ResultLineKind::kMeasures && kind != ResultLineKind::kShiftedTexts) continue;
    for (const std::string& f : split(std::string(read.texts), ',')) {
      if (f.size() != 14 + number.size() || f.compare(14, number.size(), number) != 0) continue;
      if (f.find_first_not_of("0123456789") == std::string::npos) found = f;
    }
  }
  return found;
}

bool read_file_tail(const std::string& path, uint64_t offset, uint64_t maxBytes,
                    std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0) return false;
  const uint64_t size = static_cast<uint64_t>(end);
  if (size < offset) offset = 0;
  if (size - offset > maxBytes) offset = size - maxBytes;
  in.seekg(static_cast<std::streamoff>(offset));
  text.assign(static_cast<size_t>(size - offset), '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return true;
}

int64_t file_written_at(const std::string& path, int64_t fallback) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_time_type written = fs::last_write_time(path, ec);
  if (ec) return fallback;
  // The file clock's epoch is not the calendar's in C++17: counted back
  // from now on both clocks.
  const auto age = fs::file_time_type::clock::now() - written;
  return calendar_seconds() - std::chrono::duration_cast<std::chrono::seconds>(age).count();
}

CampaignLine describe_run(const RunFacts& facts) {
  CampaignLine line;
  line.run = facts.run;
  line.cmdFile = facts.cmdFile;
  line.testName = facts.testName;
  line.start = iso_utc(facts.start);
  line.end = iso_utc(facts.end);
  line.exitCode = facts.exitKnown ? std::to_string(facts.exitCode) : std::string();
  line.mode = facts.reflector ? "reflector" : "round-trip";

  std::string code, text;
  const bool status = facts.statusFound && parse_status(facts.status, code, text);
  std::vector<std::string> measures;
  const bool result =
      (facts.recordFound && record_measures(facts.record, measures)) ||
      (!facts.dataTime.empty() && find_result_measures(facts.results, facts.dataTime, measures));

  std::string how;
  if (facts.killedAfter > 0) {
    how = format("SMS_TEST killed after %d s", facts.killedAfter);
  } else if (!facts.exitKnown) {
    how = "SMS_TEST's exit code unknown (its campaign was gone before it ended)";
  } else if (facts.signal != 0) {
    how = format("SMS_TEST ended by signal %d%s", facts.signal, signal_name(facts.signal));
  } else {
    how = format("SMS_TEST exited with %d", facts.exitCode);
    std::string said = last_line(facts.output);
    if (!said.empty()) how += ": " + said;
  }
  if (status) {
    line.statusCode = code;
    line.statusText = text;
    if (!result) line.statusText += format(" (no result line in %s)", facts.resultName.c_str());
    if (facts.killedAfter > 0) line.statusText += format(" (killed after %d s)", facts.killedAfter);
  } else {
    line.statusText = facts.statusFound ? "unreadable status file" : "no status file";
    if (!result) line.statusText += " and no result line";
    line.statusText += ": " + how;
  }
  if (facts.recordFound) record_radio(facts.record, line);
  if (result) {
    line.sendTime = measures[0];
    line.deliveryTime = measures[1];
    line.replyTime = measures[2];
    line.totalTime = measures[3];
    line.accuracy = measures[4];
  }
  if (facts.recordFound) record_report(facts.record, line.confirmTime, line.reportStatus);
  if (facts.recordFound) record_parts(facts.record, line);
  line.statusText = one_line(line.statusText);
  return line;
}

}  // namespace smstest
