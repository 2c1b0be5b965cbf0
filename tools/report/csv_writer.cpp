#include "tools/report/csv_writer.h"

#include <nlohmann/json.hpp>

#include "tools/report/csv_reader.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

const char* const kDistributions[] = {"accessDelay", "deliveryTime", "endToEndTime", "replyTime"};
const char* const kStatistics[] = {"n", "mean", "min", "median", "p90", "p95", "p98", "max"};
const char* const kPercentiles[] = {"median", "p90", "p95", "p98"};
const char* const kRatios[] = {"successRatePercent", "nonAccessibilityPercent",
                               "completionFailureRatioPercent"};

// Numbers as the JSON output writes them (shortest form that reads back).
std::string number(double value) { return nlohmann::json(micro_rounded(value)).dump(); }
std::string number(long long value) { return std::to_string(value); }

std::string ratio(const std::optional<double>& percent) {
  return percent ? number(*percent) : std::string();
}

void add_distribution(std::string* row, const Distribution& d) {
  *row += ',' + std::to_string(d.n);
  const double values[] = {d.mean, d.min, d.median, d.p90, d.p95, d.p98, d.max};
  for (double v : values) *row += ',' + (d.n == 0 ? std::string() : number(v));
}

void add_estimate(std::string* row, const RatioEstimate& e) {
  const bool ok = e.status == IntervalStatus::kOk;
  *row += ',' + (ok ? number(e.interval.low * 100) : std::string());
  *row += ',' + (ok ? number(e.interval.high * 100) : std::string());
}

// The percentiles' interval bounds, empty where there is no interval.
void add_intervals(std::string* row, const Distribution& d) {
  for (const QuantileInterval* q :
       {&d.medianInterval, &d.p90Interval, &d.p95Interval, &d.p98Interval}) {
    const bool ok = d.n > 0 && q->status == IntervalStatus::kOk;
    *row += ',' + (ok ? number(q->interval.low) : std::string());
    *row += ',' + (ok ? number(q->interval.high) : std::string());
  }
}

std::string row_of(const char* scope, const GroupReport& g) {
  const RoundTripKpis& rt = g.roundTrips;
  std::string row = std::string(scope) + ',' + csv_field(to_utf8(g.key));
  row += ',' + number(g.runs);
  row += ',' + number(rt.attempts);
  row += ',' + number(rt.accessFailures);
  row += ',' + ratio(rt.nonAccessibilityPercent);
  row += ',' + number(rt.accessible);
  row += ',' + number(rt.completionFailures);
  row += ',' + ratio(rt.completionFailureRatioPercent);
  add_distribution(&row, rt.accessDelay);
  add_distribution(&row, rt.deliveryTime);
  add_distribution(&row, rt.endToEndTime);
  row += ',' + number(g.reflector.replies);
  add_distribution(&row, g.reflector.replyTime);
  // The columns added with the intervals, after all the others.
  row += ',' + number(rt.completed);
  row += ',' + ratio(rt.successRatePercent);
  add_estimate(&row, rt.successRate);
  add_estimate(&row, rt.nonAccessibility);
  add_estimate(&row, rt.completionFailureRatio);
  add_intervals(&row, rt.accessDelay);
  add_intervals(&row, rt.deliveryTime);
  add_intervals(&row, rt.endToEndTime);
  add_intervals(&row, g.reflector.replyTime);
  // The runs counted apart and the delivery reports, after those.
  const ConfirmationKpis& c = g.confirmations;
  row += ',' + number(g.testSystemFailures);
  row += ',' + number(rt.notOffered);
  row += ',' + number(c.requested);
  row += ',' + number(c.accepted);
  row += ',' + number(c.failures);
  row += ',' + ratio(c.failureRatioPercent);
  add_estimate(&row, c.failureRatio);
  add_distribution(&row, c.confirmTime);
  add_intervals(&row, c.confirmTime);
  add_distribution(&row, c.centreDelivery);
  std::string classes;
  for (const CountedText& e : c.classes) {
    classes += (classes.empty() ? "" : ";") + to_utf8(e.text) + ':' + number(e.count);
  }
  std::string statuses;
  for (const auto& e : c.statuses) {
    statuses += (statuses.empty() ? "" : ";") + std::to_string(e.first) + ':' + number(e.second);
  }
  row += ',' + csv_field(classes) + ',' + csv_field(statuses);
  return row + '\n';
}

}  // namespace

std::string report_csv(const Report& report) {
  std::string out =
      "scope,key,runs,attempts,accessFailures,nonAccessibilityPercent,accessible,"
      "completionFailures,completionFailureRatioPercent";
  for (const char* d : kDistributions) {
    if (std::string(d) == "replyTime") out += ",replies";
    for (const char* s : kStatistics) out += std::string(",") + d + '.' + s;
  }
  out += ",completed,successRatePercent";
  for (const char* r : kRatios) out += std::string(",") + r + ".low," + r + ".high";
  for (const char* d : kDistributions) {
    for (const char* p : kPercentiles) {
      out += std::string(",") + d + '.' + p + ".low," + d + '.' + p + ".high";
    }
  }
  out +=
      ",testSystemFailures,notOffered,reportsRequested,reportsAccepted,confirmationFailures,"
      "receiveConfirmationFailureRatioPercent,receiveConfirmationFailureRatioPercent.low,"
      "receiveConfirmationFailureRatioPercent.high";
  for (const char* s : kStatistics) out += std::string(",receiveConfirmationTime.") + s;
  for (const char* p : kPercentiles) {
    out += std::string(",receiveConfirmationTime.") + p + ".low,receiveConfirmationTime." + p +
           ".high";
  }
  for (const char* s : kStatistics) out += std::string(",centreDelivery.") + s;
  out += ",reportClasses,reportStatuses\n";
  out += row_of("all", report.all);
  for (const GroupReport& g : report.groups) out += row_of("group", g);
  return out;
}

}  // namespace smstest
