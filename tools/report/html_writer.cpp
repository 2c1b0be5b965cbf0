#include "tools/report/html_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "common/text.h"
#include "common/version.h"
#include "tools/report/binning.h"
#include "tools/report/charts.h"
#include "tools/report/html_tables.h"
#include "tools/report/svg.h"
#include "tools/report/table_writer.h"
#include "tools/report/track_map.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;color:#222;max-width:1300px}"
    "table{border-collapse:collapse;margin:1em 0}"
    "th,td{border:1px solid #ccc;padding:3px 8px}"
    "th{background:#f3f3f3;font-size:90%;min-width:5.5em;max-width:9em;font-weight:600}"
    "th.wide{max-width:18em}"
    "td{text-align:right;white-space:nowrap}"
    "td.key{text-align:left;white-space:normal;min-width:7em;max-width:20em;overflow-wrap:anywhere}"
    "td.text{white-space:normal;max-width:60em;overflow-wrap:anywhere}"
    "td.few{color:#a33;font-size:85%}td.differs{font-weight:bold;color:#a33}"
    "span.ci{display:block;font-size:80%;color:#666}"
    "span.sw{display:inline-block;width:.8em;height:.8em;margin-right:.4em;"
    "vertical-align:baseline}"
    "p.legend span.item{margin-right:1.5em;white-space:nowrap}"
    "tr.all td{font-weight:bold}"
    "dl.head{display:grid;grid-template-columns:max-content auto;gap:.3em 1.5em}"
    "dl.head dt{font-weight:600}dl.head dd{margin:0;overflow-wrap:anywhere}"
    "p.note{color:#666}section{margin-bottom:2em}svg{display:block;margin:1em 0;"
    "max-width:100%;height:auto}";

// How many places and command files the head names before "and N more".
constexpr size_t kHeadEntries = 6;

std::string section(const std::string& title, const std::string& body) {
  return "<section>\n<h2>" + xml_text(title) + "</h2>\n" + body + "</section>\n";
}

std::string entry(const char* term, const std::string& html) {
  return std::string("<dt>") + term + "</dt><dd>" + html + "</dd>\n";
}

// "a (3 runs), b (1 run), and 4 more".
std::string entries_text(const std::map<std::string, long long, std::less<>>& entries, bool capped,
                         bool masked) {
  std::string out;
  size_t shown = 0;
  for (const auto& e : entries) {
    if (shown == kHeadEntries) break;
    if (shown++ > 0) out += ", ";
    const std::string text = masked ? mask_long_numbers(to_utf8(e.first)) : to_utf8(e.first);
    out += xml_text(text.empty() ? "(empty)" : text) +
           format(" (%lld run%s)", e.second, e.second == 1 ? "" : "s");
  }
  if (entries.size() > shown || capped) {
    out +=
        format(", and %s more", capped ? "many" : std::to_string(entries.size() - shown).c_str());
  }
  return out;
}

// Each command file with its runs and, where known, its settings, one a
// line; without any settings the short list of entries_text.
std::string command_files(const Report& report) {
  const RunsSetup& s = report.setup;
  if (report.settings.empty()) {
    return s.cmdFiles.empty() ? "not known (only campaign input names them)"
                              : entries_text(s.cmdFiles, s.cmdFilesCapped, true);
  }
  std::string out;
  size_t shown = 0;
  auto line = [&](const std::string& name, long long runs) {
    if (shown++ > 0) out += "<br/>";
    const std::string text = mask_long_numbers(to_utf8(name));
    out += xml_text(text.empty() ? "(empty)" : text);
    if (runs > 0) out += format(" (%lld run%s)", runs, runs == 1 ? "" : "s");
    const auto it = report.settings.find(name);
    if (it == report.settings.end()) return;
    out += ": " + xml_text(to_utf8(settings_text(it->second)));
    const CommandSettings& c = it->second;
    out += c.fromCopy ? " <span class=\"ci\">from " + xml_text(c.source) + "</span>"
                      : " <span class=\"ci\">from the run record</span>";
  };
  for (const auto& e : s.cmdFiles) {
    if (shown == kHeadEntries) break;
    line(e.first, e.second);
  }
  // Run records without a command file: their settings by test name.
  for (const auto& e : report.settings) {
    if (shown == kHeadEntries) break;
    if (s.cmdFiles.find(e.first) == s.cmdFiles.end()) line(e.first, 0);
  }
  const size_t total = std::max(s.cmdFiles.size(), report.settings.size());
  if (total > shown || s.cmdFilesCapped || report.settingsCapped) {
    out += "<br/>" + format("and %s more", s.cmdFilesCapped || report.settingsCapped
                                               ? "many"
                                               : std::to_string(total - shown).c_str());
  }
  return out;
}

// The modems' identities as the records give them.
std::string modems_text(const RunsSetup& s) {
  std::string out;
  size_t shown = 0;
  for (const auto& e : s.modems) {
    if (shown == kHeadEntries) break;
    if (shown++ > 0) out += "<br/>";
    const ModemEntry& m = e.second;
    std::string text = format("COM%d: ", m.port);
    std::string name = m.manufacturer;
    if (!m.model.empty()) name += (name.empty() ? "" : " ") + m.model;
    text += name.empty() ? "identity not known" : name;
    if (!m.revision.empty()) text += ", firmware " + m.revision;
    if (!m.imei.empty()) text += ", IMEI " + m.imei;
    if (!m.homeNetwork.empty()) text += ", SIM home network " + m.homeNetwork;
    out += xml_text(to_utf8(text)) + format(" (%lld run%s)", m.runs, m.runs == 1 ? "" : "s");
  }
  if (s.modems.size() > shown || s.modemsCapped) {
    out +=
        "<br/>" + format("and %s more",
                         s.modemsCapped ? "many" : std::to_string(s.modems.size() - shown).c_str());
  }
  return out;
}

double page_time() {
  const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
  if (fixed != nullptr && *fixed != '\0') {
    char* end = nullptr;
    const double seconds = std::strtod(fixed, &end);
    if (end != nullptr && *end == '\0' && seconds >= 0) return seconds;
  }
  return static_cast<double>(std::time(nullptr));
}

std::string head(const Report& report) {
  const RunsSetup& s = report.setup;
  std::string out = "<dl class=\"head\">\n";
  out += entry("Period", s.hasPeriod ? xml_text(utc_text(s.firstStart)) + " to " +
                                           xml_text(utc_text(s.lastStart))
                                     : "not known (no input gives start times)");
  out += entry("Places", s.places.empty()
                             ? "not known (no latLong in the input)"
                             : format("%llu%s: ", static_cast<unsigned long long>(s.places.size()),
                                      s.placesCapped ? "+" : "") +
                                   entries_text(s.places, s.placesCapped, false));
  out += entry("Command files", command_files(report));
  if (!s.modems.empty()) out += entry("Modems", modems_text(s));
  std::string inputs;
  for (const InputSummary& in : report.inputs) {
    if (!inputs.empty()) inputs += "<br/>";
    inputs += xml_text(in.file) + " (" + input_kind_name(in.kind) + format(", %lld runs", in.runs);
    if (in.skippedLines > 0) inputs += format(", %lld lines skipped", in.skippedLines);
    inputs += ")";
  }
  out += entry("Inputs", inputs.empty() ? "none" : inputs);
  out += entry("Runs", format("%lld runs, %lld lines skipped, grouped by ", report.all.runs,
                              report.skippedLines) +
                           xml_text(group_by_name(report.by)) +
                           format("; %lld runs with a readable latLong, %lld without.",
                                  report.withPosition, report.withoutPosition));
  out += entry("Tool", std::string("sms_report ") + kVersion);
  out += entry("Page made", xml_text(utc_text(page_time())));
  return out + "</dl>\n";
}

std::string methods() {
  return format("<p class=\"note\">Confidence %.0f&#160;%%, two-sided. Ratios: ",
                kReportConfidence * 100) +
         xml_text(kRatioIntervalMethod) + " interval (" + xml_text(kRatioIntervalCitation) +
         "). Percentiles: " + xml_text(kPercentileIntervalMethod) + ", distribution-free (" +
         xml_text(kPercentileIntervalCitation) +
         format("); a median needs %llu samples, a p95 %llu. ",
                static_cast<unsigned long long>(min_samples_for_quantile(0.5)),
                static_cast<unsigned long long>(min_samples_for_quantile(0.95))) +
         "Differences of ratios: " + xml_text(kDifferenceIntervalMethod) + " interval (" +
         xml_text(kDifferenceIntervalCitation) +
         "). Histogram bins: Freedman&#8211;Diaconis rule on all completed round trips, "
         "Sturges&#8217; rule where the interquartile range is 0.</p>\n";
}

std::string charts(const Report& report) {
  std::string out;
  const std::string cdf = cdf_chart(report.groups, report.all, group_by_name(report.by));
  if (!cdf.empty()) out += section("End-to-end time", cdf);
  const std::string delivery = histogram_chart(report.charts.deliveryBins, report.groups) +
                               run_chart(report.charts.runs, report.groups);
  if (!delivery.empty()) out += section("Delivery time", delivery);
  const std::string signal = signal_chart(report.charts.runs, report.groups);
  if (!signal.empty()) out += section("Delivery time and signal strength", signal);
  if (out.empty()) {
    out = section("Charts", "<p class=\"note\">No round trip to draw.</p>\n");
  }
  return out;
}

}  // namespace

std::string mask_long_numbers(const std::string& text) {
  std::string out = text;
  size_t i = 0;
  while (i < out.size()) {
    size_t end = i;
    while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
    if (end - i >= 7) {
      for (size_t k = i; k < end - 4; ++k) out[k] = '*';
    }
    i = end == i ? i + 1 : end;
  }
  return out;
}

std::string utc_text(double seconds) {
  const long long total = static_cast<long long>(std::floor(seconds));
  long long days = total / 86400;
  long long rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return format("%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", year, month, day, rest / 3600,
                rest / 60 % 60, rest % 60);
}

std::string report_html(const Report& report) {
  std::string page =
      "<!DOCTYPE html>\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n"
      "<head>\n<meta charset=\"utf-8\"/>\n<title>SMS service report</title>\n<style>";
  page += kStyle;
  page += "</style>\n</head>\n<body>\n<h1>SMS service report</h1>\n";
  page += section("Setup", head(report));
  page += section("KPIs", group_legend(report) + ratio_table(report) +
                              "<p class=\"note\">Ratios in percent of the round trips, with "
                              "their 95&#160;% interval below; times in seconds.</p>\n" +
                              time_table(report));
  const std::string reports = confirmation_tables(report);
  if (!reports.empty()) page += section("Delivery reports", reports);
  const std::string parts = concatenated_tables(report);
  if (!parts.empty()) page += section("Concatenated messages", parts);
  page += section("Failure causes", causes_table(report));
  const std::string comparison = comparison_table(report);
  if (!comparison.empty()) page += section("Comparison of the groups", comparison);
  const std::string map = track_map(report.charts.positions);
  if (!map.empty()) page += section("Track map", map);
  page += charts(report);
  page += section("Methods", methods());
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace smstest
