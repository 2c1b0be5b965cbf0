#include "tools/report/store_input.h"

#include <memory>

#include "common/text.h"
#include "store/store.h"
#include "tools/report/campaign_file.h"
#include "tools/report/record_line.h"

namespace smstest {

bool read_report_time(const std::string& text, double* seconds) {
  if (text.size() == 10 && read_utc_time(text + "T00:00:00Z", seconds)) return true;
  return read_utc_time(text, seconds);
}

struct StoreRunSource::Impl {
  std::unique_ptr<Store> store;
  StoreQuery query;
};

StoreRunSource::StoreRunSource() = default;
StoreRunSource::~StoreRunSource() = default;

bool StoreRunSource::open(const std::string& url, const std::string& since,
                          const std::string& until) {
  url_ = url;
  impl_ = std::make_unique<Impl>();
  const std::pair<const char*, const std::string*> bounds[] = {{"--since", &since},
                                                               {"--until", &until}};
  for (const auto& bound : bounds) {
    if (bound.second->empty()) continue;
    double* seconds = bound.second == &since ? &impl_->query.since : &impl_->query.until;
    if (!read_report_time(*bound.second, seconds)) {
      lastError = format("%s %s: not a time (YYYY-MM-DD or YYYY-MM-DDThh:mm:ssZ)", bound.first,
                         bound.second->c_str());
      return false;
    }
  }
  impl_->query.hasSince = !since.empty();
  impl_->query.hasUntil = !until.empty();
  std::string error;
  impl_->store = open_store(url, &error);
  if (!impl_->store) {
    lastError = error;
    return false;
  }
  return true;
}

std::string StoreRunSource::name() const { return display_url(url_); }

bool StoreRunSource::read(const std::function<void(const RunRecord&, const std::string&)>& sink) {
  if (!impl_ || !impl_->store) {
    lastError = format("%s: not open", name().c_str());
    return false;
  }
  RunRecord run;
  std::string input;
  const bool ok = impl_->store->read(impl_->query, [&](const StoredRecord& r) {
    input.assign(r.probe);
    input += '/';
    input.append(r.campaign);
    if (!parse_record_line(r.record, &run)) {
      if (skipped_++ == 0) firstSkipped_ = format("%s run %lld", input.c_str(), r.run);
      return true;
    }
    run.lineNumber = r.line;
    ++runs_;
    sink(run, input);
    return true;
  });
  if (!ok) lastError = format("%s: %s", name().c_str(), impl_->store->lastError.c_str());
  return ok;
}

std::string StoreRunSource::skipped_warning() const {
  if (skipped_ == 0) return "";
  return format("%s: %lld row%s skipped (not run records), the first %s", name().c_str(), skipped_,
                skipped_ == 1 ? "" : "s", firstSkipped_.c_str());
}

}  // namespace smstest
