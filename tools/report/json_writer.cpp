#include "tools/report/json_writer.h"

#include <nlohmann/json.hpp>

#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

Json distribution_json(const Distribution& d) {
  if (d.n == 0) return nullptr;
  return Json{{"n", d.n},
              {"mean", micro_rounded(d.mean)},
              {"min", micro_rounded(d.min)},
              {"median", micro_rounded(d.median)},
              {"p90", micro_rounded(d.p90)},
              {"p95", micro_rounded(d.p95)},
              {"p98", micro_rounded(d.p98)},
              {"max", micro_rounded(d.max)}};
}

Json ratio_json(const std::optional<double>& percent) {
  if (!percent) return nullptr;
  return micro_rounded(*percent);
}

Json group_json(const GroupReport& g, bool withKey, bool causesKnown) {
  Json out = Json::object();
  if (withKey) out["key"] = to_utf8(g.key);
  out["runs"] = g.runs;
  const RoundTripKpis& rt = g.roundTrips;
  out["roundTrips"] =
      Json{{"attempts", rt.attempts},
           {"accessFailures", rt.accessFailures},
           {"nonAccessibilityPercent", ratio_json(rt.nonAccessibilityPercent)},
           {"accessible", rt.accessible},
           {"completionFailures", rt.completionFailures},
           {"completionFailureRatioPercent", ratio_json(rt.completionFailureRatioPercent)},
           {"accessDelay", distribution_json(rt.accessDelay)},
           {"deliveryTime", distribution_json(rt.deliveryTime)},
           {"endToEndTime", distribution_json(rt.endToEndTime)}};
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
  return out;
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
  Json groups = Json::array();
  for (const GroupReport& g : report.groups) {
    groups.push_back(group_json(g, true, report.campaignInput));
  }
  Json out{{"inputs", std::move(inputs)},
           {"by", group_by_name(report.by)},
           {"skippedLines", report.skippedLines},
           {"positions", Json{{"withPosition", report.withPosition},
                              {"withoutPosition", report.withoutPosition}}},
           {"all", group_json(report.all, false, report.campaignInput)},
           {"groups", std::move(groups)}};
  // Every text went through to_utf8, so the strict handler can't fire; the
  // replacing one keeps a slip from ever becoming an exception.
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace smstest
