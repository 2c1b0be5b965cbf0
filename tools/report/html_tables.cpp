#include "tools/report/html_tables.h"

#include "common/text.h"
#include "tools/report/charts.h"
#include "tools/report/comparison.h"
#include "tools/report/svg.h"
#include "tools/report/table_writer.h"

namespace smstest {

namespace {

std::string cell(const std::string& text) { return "<td>" + xml_text(text) + "</td>"; }

std::string count(long long n) { return cell(std::to_string(n)); }

std::string swatch(const char* colour) {
  return std::string("<span class=\"sw\" style=\"background:") + colour + "\"></span>";
}

std::string key_cell(const std::string& label, const char* colour) {
  return "<td class=\"key\">" + swatch(colour) + xml_text(label) + "</td>";
}

// A ratio in percent with its interval below it.
std::string ratio_cell(const RatioEstimate& e) {
  if (e.status != IntervalStatus::kOk) return cell("-");
  return format("<td>%.2f<span class=\"ci\">%.2f&#8211;%.2f</span></td>", e.ratio * 100,
                e.interval.low * 100, e.interval.high * 100);
}

// A percentile in seconds with its interval; "too few samples" in place of
// both when no interval can be had.
std::string percentile_cell(const Distribution& d, double Distribution::*value,
                            QuantileInterval Distribution::*interval) {
  if (d.n == 0) return cell("-");
  const QuantileInterval& q = d.*interval;
  if (q.status != IntervalStatus::kOk) {
    return format(
        "<td class=\"few\" title=\"%.3f s from %llu samples; an interval needs %llu\">"
        "too few samples</td>",
        d.*value, static_cast<unsigned long long>(d.n),
        static_cast<unsigned long long>(q.minSamples));
  }
  return format("<td>%.3f<span class=\"ci\">%.3f&#8211;%.3f</span></td>", d.*value, q.interval.low,
                q.interval.high);
}

std::string seconds(const Distribution& d, double Distribution::*statistic) {
  return cell(d.n == 0 ? "-" : format("%.3f", d.*statistic));
}

// Which columns of runs counted apart the ratio table has: only those that
// any run needs, so that a report without them looks as it always did.
struct ApartColumns {
  bool testSystem = false;
  bool notOffered = false;
};

std::string ratio_row(const std::string& label, const char* colour, const GroupReport& g, bool all,
                      ApartColumns apart) {
  const RoundTripKpis& rt = g.roundTrips;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += key_cell(label, colour) + count(g.runs) + count(rt.attempts) + ratio_cell(rt.successRate) +
         ratio_cell(rt.nonAccessibility) + count(rt.accessFailures) +
         ratio_cell(rt.completionFailureRatio) + count(rt.completionFailures) +
         count(g.reflector.replies);
  if (apart.notOffered) row += count(rt.notOffered);
  if (apart.testSystem) row += count(g.testSystemFailures);
  return row + "</tr>\n";
}

std::string confirmation_row(const std::string& label, const char* colour, const GroupReport& g,
                             bool all) {
  const ConfirmationKpis& c = g.confirmations;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += key_cell(label, colour) + count(c.requested) + count(c.accepted) + count(c.failures) +
         ratio_cell(c.failureRatio) + count(static_cast<long long>(c.confirmTime.n)) +
         percentile_cell(c.confirmTime, &Distribution::median, &Distribution::medianInterval) +
         percentile_cell(c.confirmTime, &Distribution::p95, &Distribution::p95Interval) +
         seconds(c.confirmTime, &Distribution::max) +
         seconds(c.centreDelivery, &Distribution::median) +
         seconds(g.roundTrips.deliveryTime, &Distribution::median);
  return row + "</tr>\n";
}

std::string concatenated_row(const std::string& label, const char* colour, const GroupReport& g,
                             bool all) {
  const ConcatKpis& c = g.concatenated;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += key_cell(label, colour) + count(c.attempts) + count(c.accessFailures) + count(c.complete) +
         count(c.incomplete) + ratio_cell(c.incompleteRatio) + count(c.partsSent) +
         count(c.partsReceived) + count(c.partsLost) + ratio_cell(c.partLossRatio) +
         count(c.partsDuplicated) + count(c.partsOutOfOrder);
  return row + "</tr>\n";
}

std::string concatenated_time_row(const std::string& label, const char* colour,
                                  const GroupReport& g, bool all) {
  const Distribution& dt = g.concatenated.deliveryTime;
  const Distribution& spread = g.concatenated.partSpread;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += key_cell(label, colour) + count(static_cast<long long>(dt.n)) +
         seconds(dt, &Distribution::mean) +
         percentile_cell(dt, &Distribution::median, &Distribution::medianInterval) +
         percentile_cell(dt, &Distribution::p95, &Distribution::p95Interval) +
         seconds(dt, &Distribution::max) + count(static_cast<long long>(spread.n)) +
         percentile_cell(spread, &Distribution::median, &Distribution::medianInterval) +
         percentile_cell(spread, &Distribution::p90, &Distribution::p90Interval) +
         percentile_cell(spread, &Distribution::p95, &Distribution::p95Interval) +
         seconds(spread, &Distribution::max);
  return row + "</tr>\n";
}

std::string time_row(const std::string& label, const char* colour, const GroupReport& g, bool all) {
  const RoundTripKpis& rt = g.roundTrips;
  const Distribution& dt = rt.deliveryTime;
  const Distribution& e2e = rt.endToEndTime;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += key_cell(label, colour) + count(static_cast<long long>(dt.n)) +
         seconds(dt, &Distribution::mean) +
         percentile_cell(dt, &Distribution::median, &Distribution::medianInterval) +
         percentile_cell(dt, &Distribution::p95, &Distribution::p95Interval) +
         seconds(dt, &Distribution::max) +
         percentile_cell(e2e, &Distribution::median, &Distribution::medianInterval) +
         percentile_cell(e2e, &Distribution::p95, &Distribution::p95Interval) +
         seconds(rt.accessDelay, &Distribution::median) +
         seconds(g.reflector.replyTime, &Distribution::median);
  return row + "</tr>\n";
}

std::string head_cell(const char* text) { return std::string("<th>") + text + "</th>"; }

const char* ratio_label(ComparedRatio ratio) {
  switch (ratio) {
    case ComparedRatio::kNonAccessibility:
      return "non-accessibility";
    case ComparedRatio::kCompletionFailureRatio:
      return "completion failure ratio";
    case ComparedRatio::kSuccessRate:
      break;
  }
  return "success rate";
}

}  // namespace

std::string ratio_table(const Report& report) {
  ApartColumns apart;
  apart.testSystem = report.all.testSystemFailures > 0;
  apart.notOffered = report.all.roundTrips.notOffered > 0;
  std::string out = "<table>\n<tr><th>" + xml_text(group_by_name(report.by)) + "</th>" +
                    head_cell("runs") + head_cell("attempts") + head_cell("success rate %") +
                    head_cell("non-access&#173;ibility %") + head_cell("access failures") +
                    head_cell("completion failure ratio %") + head_cell("completion failures") +
                    head_cell("replies");
  if (apart.notOffered) out += head_cell("not offered");
  if (apart.testSystem) out += head_cell("test system failures");
  out += "</tr>\n";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += ratio_row(display_key(report.groups[i].key), group_colour(i), report.groups[i], false,
                     apart);
  }
  out += ratio_row("all", kAllColour, report.all, true, apart);
  out += "</table>\n";
  if (apart.notOffered || apart.testSystem) {
    out +=
        "<p class=\"note\">Counted apart, outside every ratio and time (E.804 leaves such "
        "samples out): not offered, round trips made while the sending modem was not "
        "registered; test system failures, runs that failed before anything was offered to the "
        "network (a port that did not open, a modem that did not answer).</p>\n";
  }
  return out;
}

std::string confirmation_tables(const Report& report) {
  const ConfirmationKpis& all = report.all.confirmations;
  if (all.requested == 0) return "";
  std::string out = "<table>\n<tr><th>" + xml_text(group_by_name(report.by)) + "</th>" +
                    head_cell("reports asked for") + head_cell("sent") + head_cell("no report") +
                    "<th class=\"wide\">SMS Receive Confirmation Failure Ratio %</th>" +
                    head_cell("reports") + head_cell("Confirmation Time median") +
                    head_cell("Confirmation Time p95") + head_cell("Confirmation Time max") +
                    head_cell("centre delivery median") + head_cell("delivery median") + "</tr>\n";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += confirmation_row(display_key(report.groups[i].key), group_colour(i), report.groups[i],
                            false);
  }
  out += confirmation_row("all", kAllColour, report.all, true);
  out += "</table>\n";
  out +=
      "<p class=\"note\">SMS Receive Confirmation Failure Ratio: the sent round trips that asked "
      "for a delivery report and got no final one, in percent, with the 95&#160;% interval. A "
      "report that says the delivery failed is a confirmation received. SMS Receive "
      "Confirmation Time: from the send to the final report, in seconds. Centre delivery: the "
      "network's own delivery time (the report's discharge time less the service centre's "
      "time stamp), beside the delivery time measured between the modems.</p>\n";
  out += "<table>\n<tr><th>report class</th><th>runs</th></tr>\n";
  for (const CountedText& c : all.classes) {
    out += "<tr><td class=\"key\">" + xml_text(c.text) + "</td>" + count(c.count) + "</tr>\n";
  }
  out += "</table>\n";
  if (!all.statuses.empty()) {
    out += "<table>\n<tr><th>final status (TP-ST)</th><th>runs</th></tr>\n";
    for (const auto& st : all.statuses)
      out += "<tr>" + count(st.first) + count(st.second) + "</tr>\n";
    out += "</table>\n";
  }
  return out;
}

std::string concatenated_tables(const Report& report) {
  if (report.all.concatenated.attempts == 0) return "";
  const std::string by = "<th>" + xml_text(group_by_name(report.by)) + "</th>";
  std::string out = "<table>\n<tr>" + by + head_cell("messages") + head_cell("not sent whole") +
                    head_cell("complete") + head_cell("incomplete") +
                    head_cell("incomplete ratio %") + head_cell("parts sent") +
                    head_cell("parts received") + head_cell("parts lost") +
                    head_cell("part loss ratio %") + head_cell("parts duplicated") +
                    head_cell("parts out of order") + "</tr>\n";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += concatenated_row(display_key(report.groups[i].key), group_colour(i), report.groups[i],
                            false);
  }
  out += concatenated_row("all", kAllColour, report.all, true);
  out += "</table>\n<table>\n<tr>" + by + head_cell("complete") + head_cell("delivery mean") +
         head_cell("delivery median") + head_cell("delivery p95") + head_cell("delivery max") +
         head_cell("spreads") + head_cell("spread median") + head_cell("spread p90") +
         head_cell("spread p95") + head_cell("spread max") + "</tr>\n";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += concatenated_time_row(display_key(report.groups[i].key), group_colour(i),
                                 report.groups[i], false);
  }
  out += concatenated_time_row("all", kAllColour, report.all, true);
  out += "</table>\n";
  out +=
      "<p class=\"note\">The round trips whose message went in more than one part. Complete: "
      "received whole and intact; incomplete: sent whole, but a part was still missing at the "
      "deadline or the text came corrupted. Parts, of the messages sent whole: lost is sent "
      "less received, per message; a duplicate is a part taken twice (the second dropped); "
      "out of order, a part found after one of a higher number. Delivery: from the last "
      "part's confirmation to the message complete; spread: from the first part found to the "
      "last, both of the complete messages, in seconds, with the 95&#160;% intervals.</p>\n";
  return out;
}

std::string time_table(const Report& report) {
  std::string out =
      "<table>\n<tr><th>" + xml_text(group_by_name(report.by)) + "</th>" + head_cell("completed") +
      head_cell("delivery mean") + head_cell("delivery median") + head_cell("delivery p95") +
      head_cell("delivery max") + head_cell("end-to-end median") + head_cell("end-to-end p95") +
      head_cell("access delay median") + head_cell("reply median") + "</tr>\n";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += time_row(display_key(report.groups[i].key), group_colour(i), report.groups[i], false);
  }
  out += time_row("all", kAllColour, report.all, true);
  return out + "</table>\n";
}

std::string comparison_table(const Report& report) {
  const Comparisons c = compare_groups(report.groups);
  if (!c.compared) return "";
  const GroupReport& ref = report.groups[c.reference];
  std::string out = "<p>Each group against " + swatch(group_colour(c.reference)) + "<b>" +
                    xml_text(display_key(ref.key)) +
                    "</b>, the group with the most attempts: the difference of the ratios "
                    "(group minus reference) in percentage points with its 95&#160;% "
                    "interval. The groups differ where the interval leaves out 0.</p>\n";
  out += "<table>\n<tr>" + std::string("<th>") + xml_text(group_by_name(report.by)) + "</th>" +
         head_cell("ratio") + head_cell("group %") + head_cell("reference %") +
         head_cell("difference (points)") + head_cell("intervals overlap") + head_cell("differs") +
         "</tr>\n";
  for (const GroupComparison& row : c.rows) {
    const GroupReport& g = report.groups[row.group];
    const RatioDifference& d = row.difference;
    out += "<tr>" + key_cell(display_key(g.key), group_colour(row.group));
    out += "<td class=\"key\">" + std::string(ratio_label(row.ratio)) + "</td>";
    out += ratio_cell(ratio_estimate(g, row.ratio)) + ratio_cell(ratio_estimate(ref, row.ratio));
    if (d.status != IntervalStatus::kOk) {
      out += cell("-") + cell("-") + cell("-") + "</tr>\n";
      continue;
    }
    out += format("<td>%+.2f<span class=\"ci\">%+.2f&#8211;%+.2f</span></td>", d.difference * 100,
                  d.interval.low * 100, d.interval.high * 100);
    out += cell(d.intervalsOverlap ? "yes" : "no");
    out += d.differs ? "<td class=\"differs\">yes</td>" : cell("no");
    out += "</tr>\n";
  }
  return out + "</table>\n";
}

std::string causes_table(const Report& report) {
  if (!report.campaignInput) {
    return "<p class=\"note\">Failure causes are known for campaign input only.</p>\n";
  }
  if (report.all.failureCauses.empty()) {
    return "<p class=\"note\">Every campaign run ended with status 0.</p>\n";
  }
  std::string out = "<table>\n<tr><th>runs</th><th>status text</th></tr>\n";
  for (const FailureCause& c : report.all.failureCauses) {
    out += "<tr>" + count(c.count) + "<td class=\"key text\">" + xml_text(c.text) + "</td></tr>\n";
  }
  return out + "</table>\n";
}

std::string group_legend(const Report& report) {
  std::string out = "<p class=\"legend\">";
  for (size_t i = 0; i < report.groups.size(); ++i) {
    out += "<span class=\"item\">" + swatch(group_colour(i)) +
           xml_text(display_key(report.groups[i].key)) + "</span> ";
  }
  out += "<span class=\"item\">" + swatch(kAllColour) + "all</span></p>\n";
  return out;
}

}  // namespace smstest
