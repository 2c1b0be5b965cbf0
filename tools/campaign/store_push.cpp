#include "tools/campaign/store_push.h"

#include <chrono>

#include "store/runs_pusher.h"
#include "store/store.h"

namespace smstest {

CampaignPush::CampaignPush(const std::string& url, const std::string& probe, const std::string& dir,
                           std::FILE* out, std::FILE* err)
    : url_(url),
      probe_(probe),
      dir_(dir),
      out_(out),
      err_(err),
      pusher_(std::make_unique<RunsPusher>(url, probe, dir)) {}

CampaignPush::~CampaignPush() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
}

void CampaignPush::start() {
  thread_ = std::thread([this] { loop(); });
}

void CampaignPush::run_logged() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = true;
  }
  changed_.notify_all();
}

void CampaignPush::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!finishing_) {
    if (pending_) {
      pending_ = false;
      lock.unlock();
      const bool ok = push_once();
      lock.lock();
      reachable_ = ok;
      // While the store is away, try again now and then even when no run
      // ends (a long run, the last one).
      if (!reachable_) pending_ = true;
    }
    const auto wait = std::chrono::duration<double>(reachable_ ? 3600.0 : kRetrySeconds);
    changed_.wait_for(lock, wait, [this] { return finishing_ || (pending_ && reachable_); });
  }
}

bool CampaignPush::push_once() {
  bool reachable = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reachable = reachable_;
  }
  const bool ok = pusher_->catch_up();
  if (!ok && reachable) {
    std::fprintf(err_,
                 "sms_campaign: cannot push to the store: %s; the runs wait in runs.jsonl until "
                 "it is back\n",
                 pusher_->lastError.c_str());
    std::fflush(err_);
  } else if (ok && !reachable) {
    std::fprintf(err_, "sms_campaign: the store %s is back; runs caught up from runs.jsonl\n",
                 display_url(url_).c_str());
    std::fflush(err_);
  }
  return ok;
}

bool CampaignPush::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  reachable_ = push_once();
  const std::string shown = display_url(url_);
  if (!reachable_) {
    std::fprintf(err_,
                 "sms_campaign: runs not pushed to %s; push them when it is back: sms_store push "
                 "--probe %s %s %s\n",
                 shown.c_str(), probe_.c_str(), shown.c_str(), dir_.c_str());
    return false;
  }
  std::fprintf(out_,
               "sms_campaign: %lld runs pushed to %s (probe %s, campaign %s), %lld there before\n",
               pusher_->added(), shown.c_str(), probe_.c_str(), pusher_->campaign().c_str(),
               pusher_->already());
  return true;
}

}  // namespace smstest
