// Feeding a campaign's runs.jsonl into a store: what `sms_store push` does
// once per campaign directory, and what `sms_campaign --push` does after
// every run.  The pusher remembers how far the file has gone into the
// store; a store that can't be reached leaves the rest for the next call,
// which catches up from the file (the key makes a line pushed twice count
// once).  Only whole lines are read: a last line without its line end is
// being written, or was cut by a crash, and waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/store.h"

namespace smstest {

class RunsPusher {
 public:
  // `dir` is the campaign directory (or its runs.jsonl); its last path
  // component names the campaign in the store.
  RunsPusher(std::string url, std::string probe, const std::string& dir);
  ~RunsPusher();
  RunsPusher(const RunsPusher&) = delete;
  RunsPusher& operator=(const RunsPusher&) = delete;

  // Pushes the whole lines of runs.jsonl not pushed yet, opening the store
  // when it is not open.  False, with the reason in `lastError` ("URL:
  // REASON" when the store can't be opened, "cannot read FILE: REASON"),
  // when some lines are left; what went in before stays in.  A missing
  // runs.jsonl is a campaign without runs: true.
  bool catch_up();

  const std::string& campaign() const { return campaign_; }
  const std::string& file() const { return file_; }
  long long added() const { return added_; }      // rows the store did not have
  long long already() const { return already_; }  // lines whose run was stored before
  // Of those, the ones stored with another record (StoreAdded::differing).
  long long differing() const { return differing_; }
  long long skipped() const { return skipped_; }  // lines that are no run record
  long long first_skipped_line() const { return firstSkipped_; }
  // Whether the file ended in a line without its line end at the last call.
  bool partial_line() const { return partial_; }

  std::string lastError;

 private:
  std::string url_;
  std::string probe_;
  std::string campaign_;
  std::string file_;
  std::unique_ptr<Store> store_;
  uint64_t offset_ = 0;  // bytes of the file in the store
  long long line_ = 0;   // lines of the file in the store
  long long added_ = 0;
  long long already_ = 0;
  long long differing_ = 0;
  long long skipped_ = 0;
  long long firstSkipped_ = 0;
  bool partial_ = false;
};

// The name this machine goes by: the default probe name.  "unknown" when
// the system does not say.
std::string host_name();

}  // namespace smstest
