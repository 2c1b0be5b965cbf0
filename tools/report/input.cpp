#include "tools/report/input.h"

#include <filesystem>
#include <system_error>

#include "common/result_line.h"
#include "common/text.h"
#include "tools/report/csv_reader.h"
#include "tools/report/record_line.h"
#include "tools/report/result_line.h"

namespace smstest {

const char* input_kind_name(InputKind kind) {
  if (kind == InputKind::kRecords) return "records";
  return kind == InputKind::kCampaign ? "campaign" : "results";
}

bool InputReader::open(const std::string& path) {
  path_ = path;
  file_ = path;
  std::error_code ec;
  const bool directory = std::filesystem::is_directory(std::filesystem::path(path), ec);
  if (directory) {
    if (!file_.empty() && file_.back() != '/' && file_.back() != '\\') file_ += '/';
    // The run records of the campaign say more than its campaign.csv
    // (positions, modems, reports) and give the same KPIs.
    const std::string records = file_ + "runs.jsonl";
    const bool hasRecords = std::filesystem::is_regular_file(std::filesystem::path(records), ec) &&
                            std::filesystem::file_size(std::filesystem::path(records), ec) > 0;
    file_ += hasRecords ? "runs.jsonl" : "campaign.csv";
    if (!std::filesystem::exists(std::filesystem::path(file_), ec)) {
      lastError = format("%s: no campaign.csv in this directory", path.c_str());
      return false;
    }
  }
  // A device such as /dev/zero never ends and a FIFO blocks: only regular
  // files are read.
  if (std::filesystem::exists(std::filesystem::path(file_), ec) &&
      !std::filesystem::is_regular_file(std::filesystem::path(file_), ec)) {
    lastError = format("%s: not a regular file", file_.c_str());
    return false;
  }
  if (!reader_.open(file_)) {
    lastError = reader_.lastError;
    return false;
  }
  // The first line says what the file is.  A result file's first line is
  // kept for read(), so that an input is read once (a pipe can be an input).
  std::string_view first;
  bool overlong = false;
  if (!reader_.next(&first, &overlong)) {
    if (reader_.failed()) {
      lastError = reader_.lastError;
      return false;
    }
    // Empty: a result file without lines, or a campaign not yet begun.
    if (directory) kind_ = InputKind::kCampaign;
    return true;
  }
  // Spreadsheet programs and editors may start the file with a UTF-8
  // byte-order mark.
  if (first.substr(0, 3) == "\xEF\xBB\xBF") first.remove_prefix(3);
  std::vector<std::string> fields;
  if (!overlong && split_csv_record(first, &fields) && is_campaign_header(fields)) {
    kind_ = InputKind::kCampaign;
    if (!columns_.read_header(fields)) {
      lastError = format("%s: campaign header has %s", file_.c_str(), columns_.lastError.c_str());
      return false;
    }
  } else if (!overlong && is_record_line_start(first)) {
    kind_ = InputKind::kRecords;
    recordsHaveCmdFile_ = record_line_has_cmd_file(first);
    firstLine_.assign(first);
    hasFirstLine_ = true;
  } else if (directory) {
    lastError = format("%s: the first line is not a campaign header", file_.c_str());
    return false;
  } else {
    firstLine_.assign(first);
    firstOverlong_ = overlong;
    hasFirstLine_ = true;
  }
  return true;
}

bool InputReader::has_lat_long() const {
  return kind_ == InputKind::kResults || kind_ == InputKind::kRecords || columns_.has_lat_long();
}

void InputReader::note_bad_measure(std::string_view line, bool overlong, long long number) {
  if (overlong) return;
  const char* column = nullptr;
  const char* problem = nullptr;
  if (kind_ == InputKind::kResults) {
    // Only a record of type 1 whose columns stand where they belong: the
    // measures in columns 7 to 11.
    static const char* const kNames[] = {"sendTime", "deliveryTime", "replyTime", "totalTime",
                                         "accuracy"};
    const std::vector<std::string> all = result_columns(line);
    if (all.size() < result_column::kCount || all[result_column::kTag] != kResultTag ||
        all[result_column::kType] != "1") {
      return;
    }
    const std::string_view columns[] = {all[result_column::kSend], all[result_column::kDelivery],
                                        all[result_column::kReply], all[result_column::kTotal],
                                        all[result_column::kAccuracy]};
    for (size_t i = 0; i < 5 && column == nullptr; ++i) {
      problem = measure_problem(columns[i], false);
      if (problem != nullptr) column = kNames[i];
    }
  } else if (split_csv_record(line, &fields_)) {
    column = columns_.bad_measure(fields_, &problem);
  }
  if (column == nullptr) return;
  if (badMeasures_++ == 0) {
    firstBadMeasure_ = number;
    badMeasureText_ = format("%s %s", column, problem);
  }
}

void InputReader::take(std::string_view line, bool overlong, long long number,
                       const std::function<void(const RunRecord&)>& sink) {
  if (line.empty() && !overlong) return;
  bool usable = false;
  if (!overlong) {
    if (kind_ == InputKind::kResults) {
      bool otherRecord = false;
      usable = parse_result_line(line, &run_, &otherRecord);
      if (otherRecord) return;  // not a run, and no fault of the file
    } else if (kind_ == InputKind::kRecords) {
      usable = parse_record_line(line, &run_);
    } else {
      usable = split_csv_record(line, &fields_) && columns_.parse_row(fields_, &run_);
    }
  }
  if (!usable) {
    if (skipped_++ == 0) firstSkipped_ = number;
    note_bad_measure(line, overlong, number);
    return;
  }
  run_.lineNumber = number;
  ++runs_;
  sink(run_);
}

bool InputReader::read(const std::function<void(const RunRecord&)>& sink) {
  if (hasFirstLine_) {
    take(firstLine_, firstOverlong_, 1, sink);
    hasFirstLine_ = false;
    std::string().swap(firstLine_);
  }
  std::string_view line;
  bool overlong = false;
  while (reader_.next(&line, &overlong)) take(line, overlong, reader_.line_number(), sink);
  if (reader_.failed()) {
    lastError = reader_.lastError;
    return false;
  }
  return true;
}

std::string InputReader::skipped_warning() const {
  if (skipped_ == 0) return "";
  std::string what = kind_ == InputKind::kResults
                         ? std::string("not readable result lines")
                         : "not campaign rows of " + std::to_string(columns_.width()) +
                               " columns with readable values";
  if (kind_ == InputKind::kRecords) what = "not run records";
  std::string warning =
      format("%s: %lld line%s skipped (%s), the first at line %lld", file_.c_str(), skipped_,
             skipped_ == 1 ? "" : "s", what.c_str(), firstSkipped_);
  if (badMeasures_ > 0)
    warning += format("; %lld with a measure out of range, the first at line %lld (%s)",
                      badMeasures_, firstBadMeasure_, badMeasureText_.c_str());
  return warning;
}

}  // namespace smstest
