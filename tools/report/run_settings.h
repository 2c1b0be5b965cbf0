// The settings the runs were made with, for the head of the report: per
// command file its command set, mode, ports and baud rates, the number sent
// to (masked to its last four digits) and its options.  They come from the
// copy of the command file that sms_campaign keeps for each run
// (OUT/status/<stem>.<run>.cmd, beside the campaign.csv or runs.jsonl read)
// or, without one, from the run record's own fields.  Only the first run of
// each command file is looked at, so a report reads one small file per
// command file, whatever the number of runs.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/report/run_record.h"

namespace smstest {

struct CommandSettings {
  std::string source;  // the command file copy read (digits masked), or "run record"
  std::string run;     // the run it belongs to, "" when not known
  bool fromCopy = false;
  std::string testName;
  int testTimeout = 0;  // known only from a copy
  bool reflector = false;
  std::string commandSet;  // "proprietary", "text" or "pdu", as given
  int fromPort = 0, fromBaud = 0, toPort = 0, toBaud = 0;
  std::string toNumber;  // masked
  // The option lines (name=value) in file order, values masked.
  std::vector<std::pair<std::string, std::string>> options;
};

// Reads the command file at `path`: line 1 must begin with SMS_TEST (after
// a UTF-8 byte-order mark), line 3 is the parameter record, the lines after
// it that read name=value are the options (all of them, known to this
// version or not).  False with the reason in `error` otherwise.
bool read_command_settings(const std::string& path, CommandSettings* settings, std::string* error);

// The settings a run record gives (hasSettings).
CommandSettings record_settings(const RunRecord& run);

// OUT/status/<stem>.<run>.cmd for the input file OUT/campaign.csv (or
// OUT/runs.jsonl), the command file `cmdFile` and the run number `run`;
// "" when `run` is no run number.
std::string command_file_copy(const std::string& inputFile, const std::string& cmdFile,
                              const std::string& run);

// "round trip, command set text, COM3 (115200 baud) to COM4 (115200 baud),
// to ***0104, time limit 10 s; options: record=x.jsonl".
std::string settings_text(const CommandSettings& settings);

// Gathers the settings of each command file (a record without one: each
// test name) from the first run that has them; at most kSetupEntries.
class SettingsCollector {
 public:
  void add(const RunRecord& run, const std::string& inputFile);
  // Keyed by the command file as the runs name it ("test NAME" for record
  // runs without one).
  std::map<std::string, CommandSettings, std::less<>> take();
  bool capped() const { return capped_; }

 private:
  std::map<std::string, CommandSettings, std::less<>> settings_;
  std::map<std::string, bool, std::less<>> looked_;  // keys tried without result
  bool capped_ = false;
};

}  // namespace smstest
