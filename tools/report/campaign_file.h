// Reading of a campaign's run log, `campaign.csv`: a header line, then one
// CSV row per run with the columns
//
//   run,cmdFile,testName,start,end,exitCode,statusCode,statusText,
//   sendTime,deliveryTime,replyTime,totalTime,accuracy,mode
//
// times in ISO 8601 UTC, statusText quoted, mode "round-trip" or
// "reflector".  Columns are found by their names in the header, so a log
// with more columns (a latLong or dataTime column, say) reads too, and
// those two are used when present, as are partsSent and partsReceived.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/report/run_record.h"

namespace smstest {

// True when the fields of a first line look like a campaign header: they
// name the columns "run", "cmdFile" and "mode".
bool is_campaign_header(const std::vector<std::string>& fields);

// Seconds since 1970-01-01T00:00:00Z of "YYYY-MM-DDThh:mm:ss" with optional
// fraction and "Z" or "+00:00"; false for any other text.
bool read_utc_time(std::string_view text, double* seconds);

class CampaignColumns {
 public:
  // Takes the header's fields.  False, with "no column NAME" in
  // `lastError`, when a column the report needs is missing.
  bool read_header(const std::vector<std::string>& fields);

  // Number of columns every row must have.
  size_t width() const { return width_; }
  bool has_lat_long() const { return latLong_ >= 0; }

  // Fills `run` from a row's fields.  False when the row has another number
  // of columns than the header, a mode other than "round-trip" or
  // "reflector", or a measure that is neither empty, "-Infinity" nor a
  // number.
  bool parse_row(const std::vector<std::string>& fields, RunRecord* run) const;

  // The first measure column of a row of the header's width whose value
  // does not read (measure_problem), with the problem in `problem`;
  // nullptr when there is none.
  const char* bad_measure(const std::vector<std::string>& fields, const char** problem) const;

  std::string lastError;

 private:
  size_t width_ = 0;
  int run_ = -1, cmdFile_ = -1, testName_ = -1, start_ = -1, exitCode_ = -1, statusCode_ = -1,
      statusText_ = -1, sendTime_ = -1, deliveryTime_ = -1, replyTime_ = -1, totalTime_ = -1,
      accuracy_ = -1, mode_ = -1, latLong_ = -1, dataTime_ = -1, partsSent_ = -1,
      partsReceived_ = -1;
};

}  // namespace smstest
