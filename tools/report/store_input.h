// sms_report --from URL: the runs of a result store (store/store.h) as one
// input of the report, streamed row by row in the store's order (probe,
// campaign, line of runs.jsonl), each read as its runs.jsonl line would be
// (record_line.h).  --since and --until select runs by their start.
#pragma once

#include <memory>
#include <string>

#include "tools/report/run_source.h"

namespace smstest {

// A --since / --until value: "YYYY-MM-DDThh:mm:ss[.f][Z]" (UTC) or a date
// "YYYY-MM-DD" (its midnight, UTC).  False for anything else.
bool read_report_time(const std::string& text, double* seconds);

class StoreRunSource : public RunSource {
 public:
  // Opens the store at `url` and takes the window: runs whose start is at
  // or after `since` and before `until` ("" for no bound).  False, with one
  // line in `lastError`, when a time does not read ("--since TEXT: not a
  // time (YYYY-MM-DD or YYYY-MM-DDThh:mm:ssZ)") or the store can't be opened
  // (open_store's reason).
  bool open(const std::string& url, const std::string& since, const std::string& until);

  std::string name() const override;
  bool has_cmd_file() const override { return true; }   // runs.jsonl carries it
  bool has_lat_long() const override { return false; }  // as runs.jsonl read as a file
  bool read(const std::function<void(const RunRecord&, const std::string&)>& sink) override;
  long long runs() const override { return runs_; }
  long long skipped() const override { return skipped_; }
  std::string skipped_warning() const override;

  StoreRunSource();
  ~StoreRunSource() override;
  StoreRunSource(const StoreRunSource&) = delete;
  StoreRunSource& operator=(const StoreRunSource&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string url_;
  long long runs_ = 0;
  long long skipped_ = 0;
  std::string firstSkipped_;  // "probe/campaign run N"
};

}  // namespace smstest
