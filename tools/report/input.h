// The inputs of a report: result files (lines beginning "SMS_TEST,") and
// campaigns (a directory holding campaign.csv, or that file itself).  Each
// input is opened and identified first, then streamed line by line into a
// callback, so that no input is held in memory.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/report/campaign_file.h"
#include "tools/report/line_reader.h"
#include "tools/report/run_record.h"

namespace smstest {

enum class InputKind { kResults, kCampaign, kRecords };

// "results", "campaign" or "records" (run records, JSON Lines: runs.jsonl
// of a campaign, or SMS_TEST's record= file).
const char* input_kind_name(InputKind kind);

class InputReader {
 public:
  // Opens `path` and finds out what it is: a directory is read through its
  // runs.jsonl when it holds one that is not empty (the campaign's run
  // records), else it must hold campaign.csv, whose first line must be a
  // campaign header (an empty one is a campaign without runs); a file whose first line is a
  // campaign header is a campaign, any other file a result file.  False, with one line in
  // `lastError`, when it can't be read: "cannot read FILE: REASON", "DIR: no campaign.csv in this
  // directory", "FILE: the first line is not a campaign header", "FILE: campaign header has no
  // column NAME", "FILE: not a regular file" (a device or a FIFO, which would never end or block).
  // A UTF-8 byte-order mark before the first line is passed over.
  bool open(const std::string& path);

  // Calls `sink` with every usable run, in file order.  Lines that are
  // neither (blank lines and, in a result file, lines of record types other
  // than 1 are passed over without a count) are counted in `skipped()`.  False, with the reason in
  // `lastError`, when reading fails part way; the runs passed to `sink` until then stay passed.
  bool read(const std::function<void(const RunRecord&)>& sink);

  const std::string& path() const { return path_; }  // as given
  const std::string& file() const { return file_; }  // the file read
  InputKind kind() const { return kind_; }
  // Whether every run of this input carries a latLong or a cmdFile.
  bool has_lat_long() const;
  bool has_cmd_file() const {
    return kind_ == InputKind::kCampaign || (kind_ == InputKind::kRecords && recordsHaveCmdFile_);
  }

  long long runs() const { return runs_; }
  long long skipped() const { return skipped_; }
  long long first_skipped_line() const { return firstSkipped_; }

  // The warning for the skipped lines, "" when none was skipped:
  // "FILE: N lines skipped (not readable result lines), the first at line L",
  // then, when some of them had the right columns but a measure that does
  // not read (negative, not finite, above 1e9), "; M with a measure out of
  // range, the first at line L2 (COLUMN PROBLEM)".
  std::string skipped_warning() const;

  std::string lastError;

 private:
  void note_bad_measure(std::string_view line, bool overlong, long long number);
  void take(std::string_view line, bool overlong, long long number,
            const std::function<void(const RunRecord&)>& sink);

  std::string path_;
  std::string file_;
  InputKind kind_ = InputKind::kResults;
  LineReader reader_;
  CampaignColumns columns_;
  std::string firstLine_;  // a result file's first line, read by open()
  bool hasFirstLine_ = false;
  bool firstOverlong_ = false;
  bool recordsHaveCmdFile_ = false;
  RunRecord run_;
  std::vector<std::string> fields_;
  long long runs_ = 0;
  long long skipped_ = 0;
  long long firstSkipped_ = 0;
  long long badMeasures_ = 0;
  long long firstBadMeasure_ = 0;
  std::string badMeasureText_;  // "deliveryTime negative"
};

}  // namespace smstest
