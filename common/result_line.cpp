#include "common/result_line.h"

#include <charconv>
#include <cmath>

#include "common/text.h"

namespace smstest {

const char kResultTag[] = "SMS_TEST";
const char kNotMeasured[] = "-Infinity";

std::string format_result_line(const ResultValues& v) {
  std::string line = format("%s,%i,%s,%s,%s,%i", kResultTag, v.recordType, v.testName.c_str(),
                            v.dataTime.c_str(), v.latLong.c_str(), v.status);
  line += format(",%s,%s,%s,%s,%s", v.sendTime.c_str(), v.deliveryTime.c_str(), v.replyTime.c_str(),
                 v.totalTime.c_str(), v.accuracy.c_str());
  line += v.status == 0 ? ",100\n" : ",0\n";
  return line;
}

bool is_result_measure(std::string_view text) {
  if (text == kNotMeasured) return true;
  if (text.empty()) return false;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

namespace {

// The columns a line is looked at for: a record of type 1 with commas in
// its texts and many extra columns beyond this is not recognised.
constexpr size_t kMaxColumns = 64;

bool read_int(std::string_view text, int& value) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// True when the status, the five measures and the pass figure of a record
// of type 1 stand at columns `at` to `at` + 6.
bool measures_at(const std::string_view* columns, size_t at) {
  int status = 0;
  if (!read_int(columns[at], status)) return false;
  for (size_t i = at + 1; i <= at + 5; ++i) {
    if (!is_result_measure(columns[i])) return false;
  }
  return columns[at + 6] == (status == 0 ? "100" : "0");
}

// `text` from the start of `first` to the end of `last` (both views into it).
std::string_view span(std::string_view first, std::string_view last) {
  return std::string_view(first.data(),
                          static_cast<size_t>(last.data() + last.size() - first.data()));
}

void fill_measures(const std::string_view* columns, size_t count, size_t at, std::string_view text,
                   ResultLine& line) {
  using namespace result_column;
  const size_t shift = at - kStatus;
  line.texts = span(columns[kName], columns[at - 1]);
  line.status = columns[at];
  line.sendTime = columns[kSend + shift];
  line.deliveryTime = columns[kDelivery + shift];
  line.replyTime = columns[kReply + shift];
  line.totalTime = columns[kTotal + shift];
  line.accuracy = columns[kAccuracy + shift];
  line.pass = columns[kPass + shift];
  const size_t passEnd = static_cast<size_t>(line.pass.data() + line.pass.size() - text.data());
  if (passEnd < text.size()) line.extra = text.substr(passEnd + 1);
  line.extraColumns = count - (kPass + shift + 1);
}

}  // namespace

ResultLineKind read_result_line(std::string_view text, ResultLine& line) {
  using namespace result_column;
  line = ResultLine();
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);

  std::string_view columns[kMaxColumns];
  size_t count = 0;
  for (size_t start = 0;;) {
    const size_t comma = text.find(',', start);
    const std::string_view column =
        text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    if (count < kMaxColumns) columns[count] = column;
    ++count;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (count < 2 || columns[kTag] != kResultTag) return line.kind;
  for (char c : columns[kType]) {
    if (c < '0' || c > '9') return line.kind;
  }
  if (!read_int(columns[kType], line.recordType)) return line.kind;
  if (line.recordType != kMeasuresRecord) return line.kind = ResultLineKind::kOtherRecord;

  const size_t looked = count < kMaxColumns ? count : kMaxColumns;
  if (looked >= kCount && measures_at(columns, kStatus)) {
    line.testName = columns[kName];
    line.dataTime = columns[kDataTime];
    line.latLong = columns[kLatLong];
    fill_measures(columns, count, kStatus, text, line);
    return line.kind = ResultLineKind::kMeasures;
  }
  for (size_t at = kStatus + 1; at + (kPass - kStatus) < looked; ++at) {
    if (!measures_at(columns, at)) continue;
    fill_measures(columns, count, at, text, line);
    return line.kind = ResultLineKind::kShiftedTexts;
  }
  return line.kind;
}

std::vector<std::string> result_columns(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return split(std::string(text), ',');
}

bool carries_data_time(const ResultLine& line, std::string_view dataTime) {
  if (line.kind == ResultLineKind::kMeasures) return line.dataTime == dataTime;
  if (line.kind != ResultLineKind::kShiftedTexts) return false;
  // testName begins the texts and latLong ends them; dataTime stands between.
  size_t start = line.texts.find(',');
  const size_t last = line.texts.rfind(',');
  while (start != last) {
    const size_t next = line.texts.find(',', start + 1);
    if (line.texts.substr(start + 1, next - start - 1) == dataTime) return true;
    start = next;
  }
  return false;
}

}  // namespace smstest
