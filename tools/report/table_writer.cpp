#include "tools/report/table_writer.h"

#include <algorithm>

#include "common/text.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

struct Column {
  const char* title;
  bool left;
};

const Column kColumns[] = {
    {"group", true},         {"runs", false},         {"attempts", false},
    {"non-acc %", false},    {"compl-fail %", false}, {"access p50", false},
    {"delivery p50", false}, {"delivery p95", false}, {"e2e p50", false},
    {"e2e p95", false},      {"replies", false},      {"reply p50", false},
};
constexpr size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

std::string seconds(const Distribution& d, double Distribution::*statistic) {
  return d.n == 0 ? "-" : format("%.3f", d.*statistic);
}

std::string percent(const std::optional<double>& p) { return p ? format("%.2f", *p) : "-"; }

std::vector<std::string> cells(const std::string& label, const GroupReport& g) {
  const RoundTripKpis& rt = g.roundTrips;
  return {label,
          std::to_string(g.runs),
          std::to_string(rt.attempts),
          percent(rt.nonAccessibilityPercent),
          percent(rt.completionFailureRatioPercent),
          seconds(rt.accessDelay, &Distribution::median),
          seconds(rt.deliveryTime, &Distribution::median),
          seconds(rt.deliveryTime, &Distribution::p95),
          seconds(rt.endToEndTime, &Distribution::median),
          seconds(rt.endToEndTime, &Distribution::p95),
          std::to_string(g.reflector.replies),
          seconds(g.reflector.replyTime, &Distribution::median)};
}

std::string terminal_text(const std::string& bytes) {
  std::string out = to_utf8(bytes);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

// The runs counted apart and the delivery reports, for all runs; nothing
// when there are none.
std::string apart_and_reports(const GroupReport& all) {
  std::string out;
  if (all.testSystemFailures > 0) {
    out += format("test system failures: %lld run%s (failurePhase setup), outside every KPI\n",
                  all.testSystemFailures, all.testSystemFailures == 1 ? "" : "s");
  }
  if (all.roundTrips.notOffered > 0) {
    out += format(
        "not offered: %lld round trip%s (sending modem not registered at the send), outside "
        "every KPI\n",
        all.roundTrips.notOffered, all.roundTrips.notOffered == 1 ? "" : "s");
  }
  const ConfirmationKpis& c = all.confirmations;
  if (c.requested == 0) return out;
  out += format("delivery reports: %lld round trips asked for one, %lld of them sent\n",
                c.requested, c.accepted);
  const RatioEstimate& e = c.failureRatio;
  out += "  SMS Receive Confirmation Failure Ratio: ";
  out += e.status == IntervalStatus::kOk
             ? format("%.2f %% (%lld of %lld; 95 %% interval %.2f-%.2f)\n", e.ratio * 100,
                      c.failures, c.accepted, e.interval.low * 100, e.interval.high * 100)
             : std::string("-\n");
  const Distribution& t = c.confirmTime;
  out += "  SMS Receive Confirmation Time: ";
  out += t.n == 0 ? std::string("-\n")
                  : format("n %llu, median %.3f s, p95 %.3f s, max %.3f s\n",
                           static_cast<unsigned long long>(t.n), t.median, t.p95, t.max);
  if (c.centreDelivery.n > 0) {
    out += format("  centreDelivery median %.3f s (n %llu), deliveryTime median %s\n",
                  c.centreDelivery.median, static_cast<unsigned long long>(c.centreDelivery.n),
                  seconds(all.roundTrips.deliveryTime, &Distribution::median).c_str());
  }
  out += "  report classes:";
  for (const CountedText& k : c.classes) {
    out += format(" %s %lld", terminal_text(k.text).c_str(), k.count);
  }
  if (!c.statuses.empty()) {
    out += "; final statuses:";
    for (const auto& k : c.statuses) out += format(" %d (%lld)", k.first, k.second);
  }
  return out + "\n";
}

// A distribution's median and p95 with their intervals, or "-".
std::string with_intervals(const Distribution& d) {
  if (d.n == 0) return "-";
  auto percentile = [](const char* name, double value, const QuantileInterval& q) {
    return q.status == IntervalStatus::kOk
               ? format("%s %.3f s (95 %% interval %.3f-%.3f)", name, value, q.interval.low,
                        q.interval.high)
               : format("%s %.3f s (too few samples for an interval)", name, value);
  };
  return format("n %llu, mean %.3f s, ", static_cast<unsigned long long>(d.n), d.mean) +
         percentile("median", d.median, d.medianInterval) + ", " +
         percentile("p95", d.p95, d.p95Interval) + format(", max %.3f s", d.max);
}

std::string ratio_text(const RatioEstimate& e, long long events, long long trials) {
  return e.status == IntervalStatus::kOk
             ? format("%.2f %% (%lld of %lld; 95 %% interval %.2f-%.2f)", e.ratio * 100, events,
                      trials, e.interval.low * 100, e.interval.high * 100)
             : std::string("-");
}

// The concatenated messages of all runs; nothing when no round trip went
// in parts.
std::string concatenated(const ConcatKpis& c) {
  if (c.attempts == 0) return "";
  const long long sent = c.attempts - c.accessFailures;
  std::string out = format(
      "concatenated messages: %lld round trip%s, %lld not sent whole, %lld complete, "
      "%lld incomplete\n",
      c.attempts, c.attempts == 1 ? "" : "s", c.accessFailures, c.complete, c.incomplete);
  out += "  incomplete ratio: " + ratio_text(c.incompleteRatio, c.incomplete, sent) + "\n";
  out +=
      format("  parts: %lld sent, %lld received, %lld lost, %lld duplicated, %lld out of order\n",
             c.partsSent, c.partsReceived, c.partsLost, c.partsDuplicated, c.partsOutOfOrder);
  out += "  part loss ratio: " + ratio_text(c.partLossRatio, c.partsLost, c.partsSent) + "\n";
  out += "  delivery time of complete messages: " + with_intervals(c.deliveryTime) + "\n";
  const Distribution& s = c.partSpread;
  out += "  part spread (first part found to last): ";
  out += s.n == 0 ? std::string("-\n")
                  : format(
                        "n %llu, min %.3f s, median %.3f s, p90 %.3f s, p95 %.3f s, "
                        "p98 %.3f s, max %.3f s\n",
                        static_cast<unsigned long long>(s.n), s.min, s.median, s.p90, s.p95, s.p98,
                        s.max);
  return out;
}

}  // namespace

std::string display_key(const std::string& key) { return key.empty() ? "(empty)" : to_utf8(key); }

std::string report_table(const Report& report) {
  std::string out = "inputs:";
  for (size_t i = 0; i < report.inputs.size(); ++i) {
    const InputSummary& in = report.inputs[i];
    out += format("%s %s (%s, %lld runs)", i == 0 ? "" : ",", terminal_text(in.path).c_str(),
                  input_kind_name(in.kind), in.runs);
  }
  out += format("; %lld line%s skipped; by %s\n", report.skippedLines,
                report.skippedLines == 1 ? "" : "s", group_by_name(report.by));

  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header;
  for (const Column& c : kColumns) header.push_back(c.title);
  rows.push_back(header);
  for (const GroupReport& g : report.groups) {
    rows.push_back(cells(terminal_text(display_key(g.key)), g));
  }
  rows.push_back(cells("all", report.all));

  size_t width[kColumnCount] = {};
  for (const auto& row : rows) {
    for (size_t i = 0; i < kColumnCount; ++i) width[i] = std::max(width[i], utf8_length(row[i]));
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < kColumnCount; ++i) {
      std::string pad(width[i] - utf8_length(row[i]), ' ');
      if (i > 0) line += "  ";
      line += kColumns[i].left ? row[i] + pad : pad + row[i];
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + '\n';
  }

  out += apart_and_reports(report.all);
  out += concatenated(report.all.concatenated);
  if (report.campaignInput) {
    const auto& causes = report.all.failureCauses;
    if (causes.empty()) {
      out += "failure causes: none (every campaign run ended with status 0)\n";
    } else {
      out += "failure causes:\n";
      for (size_t i = 0; i < causes.size() && i < kTableCauses; ++i) {
        out += format("%8lld  %s\n", causes[i].count, terminal_text(causes[i].text).c_str());
      }
      if (causes.size() > kTableCauses) {
        out += "          (" + std::to_string(causes.size() - kTableCauses) +
               " more in the JSON output)\n";
      }
    }
  }
  out += format("positions: %lld runs with a readable latLong, %lld without\n", report.withPosition,
                report.withoutPosition);
  return out;
}

}  // namespace smstest
