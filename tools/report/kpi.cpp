#include "tools/report/kpi.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/text.h"
#include "tools/report/position.h"

namespace smstest {

namespace {

// Points per CDF curve, bins of the delivery histogram.
constexpr size_t kCdfPoints = 256;

const std::string& sender_model(const RunRecord& run) {
  static const std::string kNone;
  for (const RunModem& m : run.modems) {
    if (m.sends) return m.model;
  }
  return kNone;
}

const std::string& key_of(const RunRecord& run, GroupBy by) {
  switch (by) {
    case GroupBy::kLatLong:
      return run.latLong;
    case GroupBy::kCmdFile:
      return run.cmdFile;
    case GroupBy::kTechnology:
      return run.sendRadio.technology;
    case GroupBy::kOperator:
      return run.sendRadio.operatorCode;
    case GroupBy::kModel:
      return sender_model(run);
    case GroupBy::kTestName:
      break;
  }
  return run.testName;
}

// Whether the network accepted the send of a round trip.
bool send_accepted(const RunRecord& run) {
  return run.hasSendConfirmed ? run.sendConfirmed : run.sendTime.taken;
}

// A final report arrived: delivered or failed, either way the confirmation.
bool report_received(const std::string& reportClass) {
  return reportClass == "delivered" || reportClass == "failed-permanent" ||
         reportClass == "failed-temporary";
}

// The start of the failure text of a message still missing parts.
const char kIncompleteMessage[] = "Incomplete message: ";

const GroupBy kAllGroupings[] = {GroupBy::kTestName,   GroupBy::kLatLong,  GroupBy::kCmdFile,
                                 GroupBy::kTechnology, GroupBy::kOperator, GroupBy::kModel};

std::optional<double> percent(long long part, long long whole) {
  if (whole == 0) return std::nullopt;
  return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

// Counts a run under `key`, adding the key while there are fewer than
// kSetupEntries.
void count_entry(std::map<std::string, long long, std::less<>>* entries, const std::string& key,
                 bool* capped) {
  auto it = entries->find(key);
  if (it != entries->end()) {
    ++it->second;
  } else if (entries->size() < kSetupEntries) {
    entries->emplace(key, 1);
  } else {
    *capped = true;
  }
}

// Appends `from` to `to` and frees `from`.
void move_into(std::vector<double>* to, std::vector<double>* from) {
  to->insert(to->end(), from->begin(), from->end());
  std::vector<double>().swap(*from);
}

}  // namespace

const char* group_by_name(GroupBy by) {
  switch (by) {
    case GroupBy::kLatLong:
      return "latLong";
    case GroupBy::kCmdFile:
      return "cmdFile";
    case GroupBy::kTechnology:
      return "technology";
    case GroupBy::kOperator:
      return "operator";
    case GroupBy::kModel:
      return "model";
    case GroupBy::kTestName:
      break;
  }
  return "testName";
}

bool group_by_needs_records(GroupBy by) {
  return by == GroupBy::kTechnology || by == GroupBy::kOperator || by == GroupBy::kModel;
}

bool read_group_by(const std::string& name, GroupBy* by) {
  for (GroupBy b : kAllGroupings) {
    if (name == group_by_name(b)) {
      *by = b;
      return true;
    }
  }
  return false;
}

Outcome classify(const RunRecord& run) {
  // A message still missing parts at the deadline was offered and taken:
  // the network failed to complete it, whatever phase the run names.
  if (run.mode == RunMode::kRoundTrip && run.sendTime.taken &&
      run.statusText.rfind(kIncompleteMessage, 0) == 0) {
    return Outcome::kCompletionFailure;
  }
  // Samples that say nothing of the service: the test system failed, or
  // the network was not offered to the sender.
  if (run.hasFailurePhase && run.failurePhase == "setup") return Outcome::kTestSystemFailure;
  if (run.mode == RunMode::kRoundTrip && run.hasRegisteredAtSend && !run.registeredAtSend) {
    return Outcome::kNotOffered;
  }
  if (run.mode == RunMode::kReflector) {
    return run.replyTime.taken ? Outcome::kReply : Outcome::kNoReply;
  }
  // A run record says where the run failed: before the network took the
  // message (access) or after (completion).
  if (run.hasFailurePhase) {
    const std::string& phase = run.failurePhase;
    if (phase == "open" || phase == "send") return Outcome::kAccessFailure;
    if ((phase == "receive" || phase == "check") && run.sendTime.taken) {
      return Outcome::kCompletionFailure;
    }
  }
  if (!run.sendTime.taken) return Outcome::kAccessFailure;
  if (!run.deliveryTime.taken || !run.accuracy.taken || run.accuracy.value != 100) {
    return Outcome::kCompletionFailure;
  }
  return Outcome::kCompleted;
}

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::kAccessFailure:
      return "accessFailure";
    case Outcome::kCompletionFailure:
      return "completionFailure";
    case Outcome::kCompleted:
      return "completed";
    case Outcome::kReply:
      return "reply";
    case Outcome::kNoReply:
      return "noReply";
    case Outcome::kTestSystemFailure:
      return "testSystemFailure";
    case Outcome::kNotOffered:
      return "notOffered";
  }
  return "";
}

bool run_failed(const RunRecord& run) {
  return run.fromCampaign && !(run.hasStatusCode && run.statusCode == 0);
}

std::string failure_cause(const RunRecord& run) {
  std::string text = trim_text(run.statusText);
  if (!text.empty()) return text;
  if (run.hasExitCode) return format("no status text (exit code %d)", run.exitCode);
  return "no status text";
}

ReportBuilder::ReportBuilder(GroupBy by, bool keepCharts) : by_(by), keepCharts_(keepCharts) {}

ReportBuilder::Group& ReportBuilder::group_of(const RunRecord& run) {
  const std::string& key = key_of(run, by_);
  // Runs of one test usually come one after another.
  if (last_ != nullptr && key == lastKey_) return *last_;
  auto it = groups_.find(key);
  if (it == groups_.end()) {
    it = groups_.emplace(key, Group()).first;
    it->second.id = static_cast<uint32_t>(groups_.size() - 1);
  }
  lastKey_ = key;
  last_ = &it->second;
  return *last_;
}

void ReportBuilder::add_to(Group* g, const RunRecord& run, Outcome outcome) {
  ++g->runs;
  switch (outcome) {
    case Outcome::kAccessFailure:
      ++g->attempts;
      ++g->accessFailures;
      break;
    case Outcome::kCompletionFailure:
      ++g->attempts;
      ++g->completionFailures;
      g->accessDelay.push_back(run.sendTime.value);
      break;
    case Outcome::kCompleted:
      ++g->attempts;
      g->accessDelay.push_back(run.sendTime.value);
      g->deliveryTime.push_back(run.deliveryTime.value);
      g->endToEndTime.push_back(run.sendTime.value + run.deliveryTime.value);
      break;
    case Outcome::kReply:
      ++g->replies;
      g->replyTime.push_back(run.replyTime.value);
      break;
    case Outcome::kNoReply:
      break;
    case Outcome::kTestSystemFailure:
      ++g->testSystemFailures;
      break;
    case Outcome::kNotOffered:
      ++g->notOffered;
      break;
  }
  if (run_failed(run)) ++g->causes[failure_cause(run)];
  add_report(g, run, outcome);
  add_parts(g, run, outcome);
}

void ReportBuilder::add_parts(Group* g, const RunRecord& run, Outcome outcome) {
  if (run.mode != RunMode::kRoundTrip || !run.concatenated()) return;
  if (outcome != Outcome::kAccessFailure && outcome != Outcome::kCompletionFailure &&
      outcome != Outcome::kCompleted) {
    return;
  }
  ++g->concatAttempts;
  if (outcome == Outcome::kAccessFailure) {
    ++g->concatAccessFailures;
    return;
  }
  const long long sent = run.hasPartsSent ? run.partsSent : 0;
  const long long received = run.hasPartsReceived ? run.partsReceived : 0;
  g->partsSent += sent;
  g->partsReceived += received;
  g->partsLost += std::max(0LL, sent - received);
  if (run.hasPartsDuplicated) g->partsDuplicated += run.partsDuplicated;
  if (run.hasPartsOutOfOrder) g->partsOutOfOrder += run.partsOutOfOrder;
  if (outcome != Outcome::kCompleted) return;
  ++g->concatComplete;
  g->concatDelivery.push_back(run.deliveryTime.value);
  if (run.partSpread.taken) g->partSpread.push_back(run.partSpread.value);
}

void ReportBuilder::add_report(Group* g, const RunRecord& run, Outcome outcome) {
  if (!run.reportRequested || run.mode != RunMode::kRoundTrip) return;
  if (outcome == Outcome::kTestSystemFailure || outcome == Outcome::kNotOffered) return;
  ++g->reportsRequested;
  if (!send_accepted(run)) return;
  ++g->reportsAccepted;
  ++g->reportClasses[run.reportClass.empty() ? "none" : run.reportClass];
  if (run.hasReportStatus) ++g->reportStatuses[run.reportStatus];
  if (!report_received(run.reportClass)) {
    ++g->reportFailures;
    return;
  }
  if (run.confirmTime.taken && run.confirmTime.value >= 0) {
    g->confirmTime.push_back(run.confirmTime.value);
  }
  if (run.centreDelivery.taken) g->centreDelivery.push_back(run.centreDelivery.value);
}

void ReportBuilder::add_modems(const RunRecord& run) {
  for (const RunModem& m : run.modems) {
    if (!m.hasIdentity) continue;
    ModemEntry e;
    e.port = m.port;
    e.manufacturer = m.manufacturer;
    e.model = m.model;
    e.revision = m.revision;
    // Only the last four digits of the IMEI leave the report.
    e.imei = m.imei.size() > 4
                 ? std::string(m.imei.size() - 4, '*') + m.imei.substr(m.imei.size() - 4)
                 : m.imei;
    e.homeNetwork = m.homeNetwork;
    const std::string key = std::to_string(m.port) + '\n' + e.manufacturer + '\n' + e.model + '\n' +
                            e.revision + '\n' + e.imei + '\n' + e.homeNetwork;
    auto it = setup_.modems.find(key);
    if (it != setup_.modems.end()) {
      ++it->second.runs;
    } else if (setup_.modems.size() < kSetupEntries) {
      e.runs = 1;
      setup_.modems.emplace(key, std::move(e));
    } else {
      setup_.modemsCapped = true;
    }
  }
}

void ReportBuilder::add(const RunRecord& run) {
  const Outcome outcome = classify(run);
  Group& group = group_of(run);
  add_to(&group, run, outcome);
  if (run.hasStart) {
    if (!setup_.hasPeriod || run.startSeconds < setup_.firstStart) {
      setup_.firstStart = run.startSeconds;
    }
    if (!setup_.hasPeriod || run.startSeconds > setup_.lastStart) {
      setup_.lastStart = run.startSeconds;
    }
    setup_.hasPeriod = true;
  }
  // "-" is what a run without a position carries: no place.
  if (run.hasLatLong && run.latLong != "-")
    count_entry(&setup_.places, run.latLong, &setup_.placesCapped);
  if (run.hasCmdFile) count_entry(&setup_.cmdFiles, run.cmdFile, &setup_.cmdFilesCapped);
  if (!run.modems.empty()) add_modems(run);
  if (!keepCharts_) return;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double start = run.hasStart ? run.startSeconds : nan;
  Position position;
  if (run.hasLatLong && parse_position(run.latLong, &position)) {
    positions_.push_back({start, position.latitude, position.longitude, outcome,
                          static_cast<uint32_t>(positions_.size())});
  }
  // Runs outside the KPIs are not drawn as round trips.
  if (run.mode == RunMode::kRoundTrip && outcome != Outcome::kTestSystemFailure &&
      outcome != Outcome::kNotOffered) {
    const float nanf = std::numeric_limits<float>::quiet_NaN();
    const Measure signal = run.sendRadio.signalDbm();
    runs_.push_back(
        {start, outcome == Outcome::kCompleted ? static_cast<float>(run.deliveryTime.value) : nanf,
         static_cast<uint32_t>(runs_.size()), group.id,
         signal.taken ? static_cast<float>(signal.value) : nanf});
  }
}

GroupReport ReportBuilder::report_of(const std::string& key, Group* g) {
  GroupReport r;
  r.key = key;
  r.runs = g->runs;
  RoundTripKpis& rt = r.roundTrips;
  rt.attempts = g->attempts;
  rt.accessFailures = g->accessFailures;
  rt.accessible = g->attempts - g->accessFailures;
  rt.completionFailures = g->completionFailures;
  rt.nonAccessibilityPercent = percent(rt.accessFailures, rt.attempts);
  rt.completionFailureRatioPercent = percent(rt.completionFailures, rt.accessible);
  rt.completed = rt.accessible - rt.completionFailures;
  rt.successRatePercent = percent(rt.completed, rt.attempts);
  rt.nonAccessibility = estimate_ratio(rt.accessFailures, rt.attempts);
  rt.completionFailureRatio = estimate_ratio(rt.completionFailures, rt.accessible);
  rt.successRate = estimate_ratio(rt.completed, rt.attempts);
  rt.accessDelay = summarize(&g->accessDelay);
  rt.deliveryTime = summarize(&g->deliveryTime);
  rt.endToEndTime = summarize(&g->endToEndTime);
  if (keepCharts_) r.endToEndCdf = cdf_points(g->endToEndTime, kCdfPoints);
  r.reflector.replies = g->replies;
  r.reflector.replyTime = summarize(&g->replyTime);
  r.testSystemFailures = g->testSystemFailures;
  rt.notOffered = g->notOffered;
  ConfirmationKpis& c = r.confirmations;
  c.requested = g->reportsRequested;
  c.accepted = g->reportsAccepted;
  c.failures = g->reportFailures;
  c.failureRatioPercent = percent(c.failures, c.accepted);
  c.failureRatio = estimate_ratio(c.failures, c.accepted);
  c.confirmTime = summarize(&g->confirmTime);
  c.centreDelivery = summarize(&g->centreDelivery);
  for (const auto& e : g->reportClasses) c.classes.push_back({e.first, e.second});
  for (const auto& e : g->reportStatuses) c.statuses.emplace_back(e.first, e.second);
  ConcatKpis& p = r.concatenated;
  p.attempts = g->concatAttempts;
  p.accessFailures = g->concatAccessFailures;
  p.complete = g->concatComplete;
  p.incomplete = p.attempts - p.accessFailures - p.complete;
  p.incompleteRatio = estimate_ratio(p.incomplete, p.attempts - p.accessFailures);
  p.partsSent = g->partsSent;
  p.partsReceived = g->partsReceived;
  p.partsLost = g->partsLost;
  p.partsDuplicated = g->partsDuplicated;
  p.partsOutOfOrder = g->partsOutOfOrder;
  p.partLossRatio = estimate_ratio(p.partsLost, p.partsSent);
  p.deliveryTime = summarize(&g->concatDelivery);
  p.partSpread = summarize(&g->partSpread);
  for (const auto& cause : g->causes) r.failureCauses.push_back({cause.first, cause.second});
  std::stable_sort(r.failureCauses.begin(), r.failureCauses.end(),
                   [](const FailureCause& a, const FailureCause& b) { return a.count > b.count; });
  return r;
}

namespace {

// Earlier start first, runs without a start time before all others, then
// reading order.
template <typename Point>
bool earlier(const Point& a, const Point& b) {
  const bool aKnown = !std::isnan(a.start);
  const bool bKnown = !std::isnan(b.start);
  if (aKnown != bKnown) return bKnown;
  if (aKnown && a.start != b.start) return a.start < b.start;
  return a.sequence < b.sequence;
}

}  // namespace

void ReportBuilder::finish_charts(const std::vector<double>& sortedDelivery,
                                  const std::vector<uint32_t>& indexOfId, size_t groupCount,
                                  ChartData* charts) {
  DeliveryBins& bins = charts->deliveryBins;
  bins.binning = bin_edges(sortedDelivery);
  bins.all = bin_counts(sortedDelivery, bins.binning.edges);
  for (RunPoint& r : runs_) r.group = indexOfId[r.group];
  // Each group's delivery times once more, one group at a time.
  bins.groups.resize(groupCount);
  std::vector<double> values;
  for (size_t g = 0; g < groupCount; ++g) {
    values.clear();
    for (const RunPoint& r : runs_) {
      if (r.group == g && !std::isnan(r.delivery)) values.push_back(r.delivery);
    }
    std::sort(values.begin(), values.end());
    bins.groups[g] = bin_counts(values, bins.binning.edges);
  }
  // In place: a stable sort would need a second copy of the points.
  std::sort(runs_.begin(), runs_.end(), earlier<RunPoint>);
  std::sort(positions_.begin(), positions_.end(), earlier<PositionPoint>);
  charts->runs = std::move(runs_);
  charts->positions = std::move(positions_);
}

ReportBuilder::Result ReportBuilder::finish() {
  Result result;
  Group all;
  std::vector<uint32_t> indexOfId(groups_.size());
  for (auto& entry : groups_) {
    Group& g = entry.second;
    indexOfId[g.id] = static_cast<uint32_t>(result.groups.size());
    result.groups.push_back(report_of(entry.first, &g));
    all.runs += g.runs;
    all.attempts += g.attempts;
    all.accessFailures += g.accessFailures;
    all.completionFailures += g.completionFailures;
    all.replies += g.replies;
    all.testSystemFailures += g.testSystemFailures;
    all.notOffered += g.notOffered;
    all.reportsRequested += g.reportsRequested;
    all.reportsAccepted += g.reportsAccepted;
    all.reportFailures += g.reportFailures;
    all.concatAttempts += g.concatAttempts;
    all.concatAccessFailures += g.concatAccessFailures;
    all.concatComplete += g.concatComplete;
    all.partsSent += g.partsSent;
    all.partsReceived += g.partsReceived;
    all.partsLost += g.partsLost;
    all.partsDuplicated += g.partsDuplicated;
    all.partsOutOfOrder += g.partsOutOfOrder;
    for (const auto& cause : g.causes) all.causes[cause.first] += cause.second;
    for (const auto& e : g.reportClasses) all.reportClasses[e.first] += e.second;
    for (const auto& e : g.reportStatuses) all.reportStatuses[e.first] += e.second;
  }
  // Each group's values move into the whole set, and each group's copy is
  // freed as it goes, so that the values exist about once at any moment.
  std::vector<double> Group::*measures[] = {
      &Group::accessDelay, &Group::deliveryTime,   &Group::endToEndTime,   &Group::replyTime,
      &Group::confirmTime, &Group::centreDelivery, &Group::concatDelivery, &Group::partSpread};
  for (auto measure : measures) {
    size_t total = 0;
    for (auto& entry : groups_) total += (entry.second.*measure).size();
    (all.*measure).reserve(total);
    for (auto& entry : groups_) move_into(&(all.*measure), &(entry.second.*measure));
  }
  groups_.clear();
  last_ = nullptr;
  result.all = report_of("", &all);
  if (keepCharts_) {
    finish_charts(all.deliveryTime, indexOfId, result.groups.size(), &result.charts);
  }
  runs_.clear();
  positions_.clear();
  result.setup = std::move(setup_);
  setup_ = RunsSetup();
  return result;
}

}  // namespace smstest
