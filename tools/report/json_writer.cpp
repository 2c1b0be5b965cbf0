#include "tools/report/json_writer.h"

#include <nlohmann/json.hpp>

#include "common/version.h"
#include "tools/report/comparison.h"
#include "tools/report/html_writer.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

// A percentile's interval: its bounds and ranks, or why there is none.
Json quantile_json(const QuantileInterval& q) {
  Json out{{"status", interval_status_name(q.status)}};
  if (q.status == IntervalStatus::kOk) {
    out["low"] = micro_rounded(q.interval.low);
    out["high"] = micro_rounded(q.interval.high);
    out["lowRank"] = q.ranks.low;
    out["highRank"] = q.ranks.high;
    out["coverage"] = micro_rounded(q.ranks.coverage);
  } else {
    out["minSamples"] = q.minSamples;
  }
  return out;
}

// A ratio's counts and interval, in percent like the ratios themselves.
Json estimate_json(const RatioEstimate& e) {
  Json out{
      {"status", interval_status_name(e.status)}, {"events", e.successes}, {"trials", e.trials}};
  if (e.status == IntervalStatus::kOk) {
    out["percent"] = micro_rounded(e.ratio * 100);
    out["lowPercent"] = micro_rounded(e.interval.low * 100);
    out["highPercent"] = micro_rounded(e.interval.high * 100);
  }
  return out;
}

Json distribution_json(const Distribution& d) {
  if (d.n == 0) return nullptr;
  return Json{{"n", d.n},
              {"mean", micro_rounded(d.mean)},
              {"min", micro_rounded(d.min)},
              {"median", micro_rounded(d.median)},
              {"p90", micro_rounded(d.p90)},
              {"p95", micro_rounded(d.p95)},
              {"p98", micro_rounded(d.p98)},
              {"max", micro_rounded(d.max)},
              {"intervals", Json{{"median", quantile_json(d.medianInterval)},
                                 {"p90", quantile_json(d.p90Interval)},
                                 {"p95", quantile_json(d.p95Interval)},
                                 {"p98", quantile_json(d.p98Interval)}}}};
}

Json ratio_json(const std::optional<double>& percent) {
  if (!percent) return nullptr;
  return micro_rounded(*percent);
}

// The delivery reports' KPIs, under their E.804 names.
Json confirmations_json(const ConfirmationKpis& c) {
  Json classes = Json::array();
  for (const CountedText& e : c.classes) {
    classes.push_back(Json{{"class", to_utf8(e.text)}, {"count", e.count}});
  }
  Json statuses = Json::array();
  for (const auto& e : c.statuses)
    statuses.push_back(Json{{"status", e.first}, {"count", e.second}});
  return Json{{"requested", c.requested},
              {"accepted", c.accepted},
              {"failures", c.failures},
              {"receiveConfirmationFailureRatioPercent", ratio_json(c.failureRatioPercent)},
              {"receiveConfirmationFailureRatio", estimate_json(c.failureRatio)},
              {"receiveConfirmationTime", distribution_json(c.confirmTime)},
              {"centreDelivery", distribution_json(c.centreDelivery)},
              {"classes", std::move(classes)},
              {"statuses", std::move(statuses)}};
}

// The concatenated messages: completion per message and per part, the
// delivery time of the complete ones and the spread of their parts.
Json concatenated_json(const ConcatKpis& c) {
  return Json{{"attempts", c.attempts},
              {"accessFailures", c.accessFailures},
              {"complete", c.complete},
              {"incomplete", c.incomplete},
              {"incompleteRatio", estimate_json(c.incompleteRatio)},
              {"partsSent", c.partsSent},
              {"partsReceived", c.partsReceived},
              {"partsLost", c.partsLost},
              {"partsDuplicated", c.partsDuplicated},
              {"partsOutOfOrder", c.partsOutOfOrder},
              {"partLossRatio", estimate_json(c.partLossRatio)},
              {"deliveryTime", distribution_json(c.deliveryTime)},
              {"partSpread", distribution_json(c.partSpread)}};
}

// `withParts`: the report has concatenated messages, so every group says
// what it has of them.
Json group_json(const GroupReport& g, bool withKey, bool causesKnown, bool withParts) {
  Json out = Json::object();
  if (withKey) out["key"] = to_utf8(g.key);
  out["runs"] = g.runs;
  const RoundTripKpis& rt = g.roundTrips;
  out["roundTrips"] = Json{
      {"attempts", rt.attempts},
      {"accessFailures", rt.accessFailures},
      {"nonAccessibilityPercent", ratio_json(rt.nonAccessibilityPercent)},
      {"accessible", rt.accessible},
      {"completionFailures", rt.completionFailures},
      {"completionFailureRatioPercent", ratio_json(rt.completionFailureRatioPercent)},
      {"accessDelay", distribution_json(rt.accessDelay)},
      {"deliveryTime", distribution_json(rt.deliveryTime)},
      {"endToEndTime", distribution_json(rt.endToEndTime)},
      {"completed", rt.completed},
      {"successRatePercent", ratio_json(rt.successRatePercent)},
      {"intervals", Json{{"successRate", estimate_json(rt.successRate)},
                         {"nonAccessibility", estimate_json(rt.nonAccessibility)},
                         {"completionFailureRatio", estimate_json(rt.completionFailureRatio)}}},
      {"notOffered", rt.notOffered}};
  out["reflector"] = Json{{"replies", g.reflector.replies},
                          {"replyTime", distribution_json(g.reflector.replyTime)}};
  if (causesKnown) {
    Json causes = Json::array();
    for (const FailureCause& c : g.failureCauses) {
      causes.push_back(Json{{"text", to_utf8(c.text)}, {"count", c.count}});
    }
    out["failureCauses"] = std::move(causes);
  } else {
    out["failureCauses"] = nullptr;
  }
  out["testSystemFailures"] = g.testSystemFailures;
  out["confirmations"] = confirmations_json(g.confirmations);
  if (withParts) out["concatenated"] = concatenated_json(g.concatenated);
  return out;
}

Json entries_json(const std::map<std::string, long long, std::less<>>& entries, bool masked) {
  Json out = Json::array();
  for (const auto& e : entries) {
    const std::string text = to_utf8(e.first);
    out.push_back(Json{{"text", masked ? mask_long_numbers(text) : text}, {"runs", e.second}});
  }
  return out;
}

Json text_or_null(const std::string& bytes) {
  return bytes.empty() ? Json(nullptr) : Json(to_utf8(bytes));
}

Json settings_json(const Report& report) {
  Json out = Json::array();
  for (const auto& e : report.settings) {
    const CommandSettings& c = e.second;
    Json options = Json::array();
    for (const auto& o : c.options) {
      options.push_back(Json{{"name", to_utf8(o.first)}, {"value", to_utf8(o.second)}});
    }
    out.push_back(Json{{"cmdFile", mask_long_numbers(to_utf8(e.first))},
                       {"source", to_utf8(c.source)},
                       {"run", text_or_null(c.run)},
                       {"testName", to_utf8(c.testName)},
                       {"mode", c.reflector ? "reflector" : "round-trip"},
                       {"commandSet", c.commandSet.empty() ? "proprietary" : to_utf8(c.commandSet)},
                       {"fromPort", c.fromPort},
                       {"fromBaud", c.fromBaud},
                       {"toPort", c.toPort},
                       {"toBaud", c.toBaud},
                       {"toNumber", to_utf8(c.toNumber)},
                       {"testTimeout", c.fromCopy ? Json(c.testTimeout) : Json(nullptr)},
                       {"options", c.fromCopy ? std::move(options) : Json(nullptr)}});
  }
  return out;
}

Json modems_json(const RunsSetup& s) {
  Json out = Json::array();
  for (const auto& e : s.modems) {
    const ModemEntry& m = e.second;
    out.push_back(Json{{"port", m.port},
                       {"manufacturer", text_or_null(m.manufacturer)},
                       {"model", text_or_null(m.model)},
                       {"revision", text_or_null(m.revision)},
                       {"imei", text_or_null(m.imei)},
                       {"homeNetwork", text_or_null(m.homeNetwork)},
                       {"runs", m.runs}});
  }
  return out;
}

Json setup_json(const Report& report) {
  const RunsSetup& s = report.setup;
  return Json{{"firstStart", s.hasPeriod ? Json(utc_text(s.firstStart)) : Json(nullptr)},
              {"lastStart", s.hasPeriod ? Json(utc_text(s.lastStart)) : Json(nullptr)},
              {"places", entries_json(s.places, false)},
              {"placesCapped", s.placesCapped},
              {"cmdFiles", entries_json(s.cmdFiles, true)},
              {"cmdFilesCapped", s.cmdFilesCapped},
              {"toolVersion", kVersion},
              {"commandSettings", settings_json(report)},
              {"commandSettingsCapped", report.settingsCapped},
              {"modems", modems_json(s)},
              {"modemsCapped", s.modemsCapped}};
}

Json statistics_json() {
  return Json{{"confidence", kReportConfidence},
              {"ratioMethod", kRatioIntervalMethod},
              {"ratioCitation", kRatioIntervalCitation},
              {"percentileMethod", kPercentileIntervalMethod},
              {"percentileCitation", kPercentileIntervalCitation},
              {"differenceMethod", kDifferenceIntervalMethod},
              {"differenceCitation", kDifferenceIntervalCitation}};
}

Json comparison_json(const std::vector<GroupReport>& groups) {
  const Comparisons c = compare_groups(groups);
  if (!c.compared) return nullptr;
  Json rows = Json::array();
  for (const GroupComparison& row : c.rows) {
    const RatioDifference& d = row.difference;
    Json r{{"key", to_utf8(groups[row.group].key)},
           {"ratio", compared_ratio_name(row.ratio)},
           {"status", interval_status_name(d.status)}};
    if (d.status == IntervalStatus::kOk) {
      r["differencePercent"] = micro_rounded(d.difference * 100);
      r["lowPercent"] = micro_rounded(d.interval.low * 100);
      r["highPercent"] = micro_rounded(d.interval.high * 100);
      r["differs"] = d.differs;
      r["intervalsOverlap"] = d.intervalsOverlap;
    }
    rows.push_back(std::move(r));
  }
  return Json{{"reference", to_utf8(groups[c.reference].key)}, {"rows", std::move(rows)}};
}

}  // namespace

std::string report_json(const Report& report) {
  Json inputs = Json::array();
  for (const InputSummary& in : report.inputs) {
    inputs.push_back(Json{{"path", to_utf8(in.path)},
                          {"file", to_utf8(in.file)},
                          {"kind", input_kind_name(in.kind)},
                          {"runs", in.runs},
                          {"skippedLines", in.skippedLines}});
  }
  const bool withParts = report.all.concatenated.attempts > 0;
  Json groups = Json::array();
  for (const GroupReport& g : report.groups) {
    groups.push_back(group_json(g, true, report.campaignInput, withParts));
  }
  Json out{{"inputs", std::move(inputs)},
           {"by", group_by_name(report.by)},
           {"skippedLines", report.skippedLines},
           {"positions", Json{{"withPosition", report.withPosition},
                              {"withoutPosition", report.withoutPosition}}},
           {"all", group_json(report.all, false, report.campaignInput, withParts)},
           {"groups", std::move(groups)},
           {"setup", setup_json(report)},
           {"statistics", statistics_json()},
           {"comparison", comparison_json(report.groups)}};
  // Every text went through to_utf8, so the strict handler can't fire; the
  // replacing one keeps a slip from ever becoming an exception.
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace smstest
