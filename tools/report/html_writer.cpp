#include "tools/report/html_writer.h"

#include "common/text.h"
#include "tools/report/charts.h"
#include "tools/report/svg.h"
#include "tools/report/table_writer.h"

namespace smstest {

namespace {

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "table{border-collapse:collapse;margin:1em 0}"
    "th,td{border:1px solid #ccc;padding:3px 8px}"
    "td{text-align:right}td.key{text-align:left}"
    "th{background:#f3f3f3}tr.all td{font-weight:bold}"
    "p.note{color:#666}section{margin-bottom:2em}";

std::string cell(const std::string& text) { return "<td>" + xml_text(text) + "</td>"; }

std::string seconds(const Distribution& d, double Distribution::*statistic) {
  return cell(d.n == 0 ? "-" : format("%.3f", d.*statistic));
}

std::string percent(const std::optional<double>& p) { return cell(p ? format("%.2f", *p) : "-"); }

std::string count(long long n) { return cell(std::to_string(n)); }

std::string kpi_row(const std::string& label, const GroupReport& g, bool all) {
  const RoundTripKpis& rt = g.roundTrips;
  std::string row = all ? "<tr class=\"all\">" : "<tr>";
  row += "<td class=\"key\">" + xml_text(label) + "</td>";
  row +=
      count(g.runs) + count(rt.attempts) + count(rt.accessFailures) +
      percent(rt.nonAccessibilityPercent) + count(rt.completionFailures) +
      percent(rt.completionFailureRatioPercent) + seconds(rt.accessDelay, &Distribution::median) +
      seconds(rt.deliveryTime, &Distribution::mean) +
      seconds(rt.deliveryTime, &Distribution::median) +
      seconds(rt.deliveryTime, &Distribution::p95) + seconds(rt.deliveryTime, &Distribution::max) +
      seconds(rt.endToEndTime, &Distribution::median) +
      seconds(rt.endToEndTime, &Distribution::p95) + count(g.reflector.replies) +
      seconds(g.reflector.replyTime, &Distribution::median);
  return row + "</tr>\n";
}

std::string kpi_table(const Report& report) {
  std::string out =
      "<table>\n<tr><th>" + xml_text(group_by_name(report.by)) +
      "</th><th>runs</th><th>attempts</th><th>access failures</th>"
      "<th>non-accessibility %</th><th>completion failures</th>"
      "<th>completion failure ratio %</th><th>access delay median (s)</th>"
      "<th>delivery mean (s)</th><th>delivery median (s)</th><th>delivery p95 (s)</th>"
      "<th>delivery max (s)</th><th>end-to-end median (s)</th><th>end-to-end p95 (s)</th>"
      "<th>replies</th><th>reply median (s)</th></tr>\n";
  for (const GroupReport& g : report.groups) out += kpi_row(display_key(g.key), g, false);
  out += kpi_row("all", report.all, true);
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
    out += "<tr>" + count(c.count) + "<td class=\"key\">" + xml_text(c.text) + "</td></tr>\n";
  }
  return out + "</table>\n";
}

std::string inputs_list(const Report& report) {
  std::string out = "<ul>\n";
  for (const InputSummary& in : report.inputs) {
    out += "<li>" + xml_text(in.file) + " (" + input_kind_name(in.kind) +
           format(", %lld runs", in.runs);
    if (in.skippedLines > 0) out += format(", %lld lines skipped", in.skippedLines);
    out += ")</li>\n";
  }
  return out + "</ul>\n";
}

std::string section(const std::string& title, const std::string& body) {
  return "<section>\n<h2>" + xml_text(title) + "</h2>\n" + body + "</section>\n";
}

}  // namespace

std::string report_html(const Report& report) {
  std::string page =
      "<!DOCTYPE html>\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n"
      "<head>\n<meta charset=\"utf-8\"/>\n<title>SMS service report</title>\n<style>";
  page += kStyle;
  page += "</style>\n</head>\n<body>\n<h1>SMS service report</h1>\n";
  page += section("Inputs", inputs_list(report) +
                                format("<p>%lld runs, %lld lines skipped, grouped by ",
                                       report.all.runs, report.skippedLines) +
                                xml_text(group_by_name(report.by)) +
                                format("; %lld runs with a readable latLong, %lld without.</p>\n",
                                       report.withPosition, report.withoutPosition));
  page += section("KPIs", kpi_table(report));
  page += section("Failure causes", causes_table(report) + causes_chart(report.all.failureCauses,
                                                                        report.campaignInput));
  page +=
      section("End-to-end time", cdf_chart(report.groups, report.all, group_by_name(report.by)));
  page += section("Delivery time",
                  histogram_chart(report.charts.deliveryHistogram) + run_chart(report.charts.runs));
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace smstest
