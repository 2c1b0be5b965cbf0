// What one run of a campaign left behind, turned into its campaign.csv
// line: the run's tag (dataTime), its times in ISO 8601, its status file
// and its line in the result file.  Pure functions over texts, so that every
// way a run can end is tested without starting one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/campaign/campaign_log.h"

namespace smstest {

// A calendar time split into its UTC fields.
struct UtcTime {
  int year, month, day, hour, minute, second;
};
UtcTime utc_of(int64_t seconds);

// "2026-12-08T10:15:00Z" for `seconds` since 1970-01-01 00:00 UTC.
std::string iso_utc(int64_t seconds);

// The dataTime of run `run` of a campaign started at `campaignStart`
// (seconds since 1970, UTC): YYYYMMDDhhmmss of the start, then the run number
// with at least six digits, digits only (20261208101500000007).  Run numbers
// never repeat within a campaign, resumed parts included, so neither does
// the dataTime.
std::string data_time(int64_t campaignStart, int run);

// `text` on one line: line ends at its end removed, every run of line ends
// inside it replaced by one blank.
std::string one_line(const std::string& text);

// Reads a status file's content, "<code> <text>".  False when it holds no
// code (empty, or not starting with a number).
bool parse_status(const std::string& content, std::string& code, std::string& text);

// The five measures (sendTime, deliveryTime, replyTime, totalTime, accuracy)
// of the last record of type 1 in `results` that carries `dataTime`, as
// written (read_result_line, carries_data_time): found also when commas in
// testName or latLong (which the result file does not quote) shift its
// columns; extra columns after the pass figure and lines of other record
// types are passed over.  False when no such line carries `dataTime`.
bool find_result_measures(const std::string& results, const std::string& dataTime,
                          std::vector<std::string>& measures);

// The last line of `text` that holds more than blanks, without its line end.
std::string last_line(const std::string& text);

// Everything known about one finished run.
struct RunFacts {
  int run = 0;
  std::string cmdFile;
  std::string testName;
  bool reflector = false;
  int64_t start = 0;  // calendar seconds
  int64_t end = 0;
  int exitCode = 0;
  int signal = 0;            // the signal that ended SMS_TEST, 0 when it exited
  bool statusFound = false;  // the run's status file could be read
  std::string status;        // its content
  std::string resultName;    // the result file, as line 2 of the command file names it
  std::string results;       // what the result file got during the run
  std::string dataTime;
  std::string output;  // what SMS_TEST wrote to its output streams (its end)
  // False for a run of an earlier campaign process that was killed while
  // the run went on: its exit code was never seen.
  bool exitKnown = true;
  // Seconds after which the campaign's watchdog stopped the run; 0 when it
  // did not.
  int killedAfter = 0;
  bool recordFound = false;  // the run's record file could be read
  std::string record;        // its content (runs_jsonl.h)
  std::string recordOption;  // the command file's own record= file, "" when none
  // The "gps" member of its runs.jsonl object as JSON text
  // (gps_record_json), "" without --gps.
  std::string gps;
};

// The dataTime that run `run` of a campaign gave its result line in
// `results`: a 20-digit dataTime ending in the run number as six digits.
// "" when no result line carries one.
std::string find_data_time_of_run(const std::string& results, int run);

// Reads at most the last `maxBytes` of the file at `path` into `text`, from
// `offset` on when the file is longer than `offset` (from its start when it
// is now shorter).  False when it can't be read.
bool read_file_tail(const std::string& path, uint64_t offset, uint64_t maxBytes, std::string& text);

// When the file at `path` was last written, in calendar seconds;
// `fallback` when that can't be told.
int64_t file_written_at(const std::string& path, int64_t fallback);

// The campaign.csv line of a run.  Without a status file the status columns
// are empty and statusText says why (the signal, or the exit code and
// SMS_TEST's last message).  The measures come from the run's record; from
// its result line when it left no record; without either they are empty
// and statusText says so as well.
CampaignLine describe_run(const RunFacts& facts);

}  // namespace smstest
