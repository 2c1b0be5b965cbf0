// sms_campaign --push: the runs of the campaign go into a result store
// (store/store.h) as they end.  A thread of its own pushes, so that a slow
// or absent store never holds up a run; when the store can't be reached the
// runs wait in runs.jsonl, and the next push (after each run, and every few
// seconds while the store is away) catches up from the file.  A resumed
// campaign's earlier runs go in first; the store's key keeps every run
// once.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace smstest {

class RunsPusher;

class CampaignPush {
 public:
  // Pushes OUT/runs.jsonl (`dir`) to `url` under `probe`; messages go to
  // `out` (the final count) and `err` (the store going away and coming
  // back), each beginning "sms_campaign: ".
  CampaignPush(const std::string& url, const std::string& probe, const std::string& dir,
               std::FILE* out, std::FILE* err);
  ~CampaignPush();
  CampaignPush(const CampaignPush&) = delete;
  CampaignPush& operator=(const CampaignPush&) = delete;

  // Starts the thread, which pushes what runs.jsonl holds already.
  void start();
  // A run's line is in runs.jsonl: push it.  Returns at once.
  void run_logged();
  // Makes a last push of what is left and ends the thread; says how many
  // runs went in, or, when the store is still away, how to push the rest.
  // True when everything went in.
  bool finish();

  // Seconds between two tries while the store can't be reached.
  static constexpr double kRetrySeconds = 2.0;

 private:
  void loop();
  // One catch-up, with a line on `err` when the store goes away or comes
  // back; false when it could not be reached.
  bool push_once();

  std::string url_;
  std::string probe_;
  std::string dir_;
  std::FILE* out_;
  std::FILE* err_;
  std::unique_ptr<RunsPusher> pusher_;  // used by the thread only
  bool reachable_ = true;               // as the last push found it (under mutex_)

  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = true;  // lines to push
  bool finishing_ = false;
  std::thread thread_;
};

}  // namespace smstest
