// The status-report part of sms_bench: round trips with report=1 in text
// and PDU mode, the simulator's service centre sending the final report a
// set delay after the delivery, and the run record's confirmTime (from
// `sendStart` to the arrival of that report) against the truth in the
// simulator's records: from the arrival of the text after AT+CMGS's prompt
// to the moment the report's line was written to the sending modem.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sms_bench.h"
#include "common/text.h"

namespace smstest {

namespace {

// Seconds from the delivery to the final report, one row each.
const double kReportDelays[] = {0.2, 1, 3};
// The delivery delay of every row.
constexpr double kReportRowDelivery = 0.5;

struct ReportRow {
  double reportDelay = 0;
  std::vector<double> errors;  // confirmTime - true
  std::vector<double> lines;   // report record -> its line written
  int failed = 0;
};

// The true confirmation time of a run and its error; false with the reason.
bool measure(const RoundTripJob& job, const RoundTripOutcome& r, const std::string& ports,
             double& truth, double& error, double& lineLag, std::string& why) {
  if (!r.succeeded() || !r.traced) {
    why = r.traced ? "the run failed" : r.traceError;
    return false;
  }
  RecordReport record;
  bool found = false;
  for (const std::string& line : split(read_file(job.dir + "/record.jsonl"), '\n')) {
    if (parse_record_report(line, record) && record.dataTime == job.dataTime) {
      found = true;
      break;
    }
  }
  if (!found || !record.reportReceived || std::isnan(record.confirmTime)) {
    why = found ? "the record has no report" : "no run record";
    return false;
  }
  ReportTrace t;
  if (!trace_final_report(
          parse_network_log(read_file(ports + "/network.log")),
          parse_traffic_log(read_file(ports + "/" + modem_name(job.port) + ".traffic.log")),
          "tImE" + job.dataTime + "T", t, why)) {
    return false;
  }
  truth = t.writtenAt - r.trace.commandAt;
  error = record.confirmTime - truth;
  lineLag = t.writtenAt - t.reportAt;
  return true;
}

bool row_met(const ReportRow& row) {
  Summary a = summarize(absolutes(row.errors));
  return row.failed == 0 && a.count > 0 && a.median <= kTextMedianTarget && a.max <= kTextMaxTarget;
}

bool run_set(const Options& o, const std::string& set, std::vector<ReportRow>& rows, Csv& runsCsv) {
  const int count = static_cast<int>(std::size(kReportDelays));
  const int slots = std::max(1, std::min(o.runs, o.parallel / count));
  const std::string base = o.work + "/reports-" + set;
  const std::string ports = base + "/ports";
  auto port_of = [&](int row, int slot) { return 10 + row * slots + slot; };
  std::vector<std::string> modems;
  rows.assign(static_cast<size_t>(count), ReportRow());
  for (int c = 0; c < count; ++c) {
    rows[c].reportDelay = kReportDelays[c];
    for (int s = 0; s < slots; ++s) {
      modems.push_back(format("%s=%s,delay=%g,report-delay=%g", modem_name(port_of(c, s)).c_str(),
                              modem_number(port_of(c, s)).c_str(), kReportRowDelivery,
                              kReportDelays[c]));
    }
  }
  SimProcess sim;
  if (!make_dirs(base) || !start_sim(sim, o, ports, modems)) return false;
  const int waves = (o.runs + slots - 1) / slots;
  for (int w = 0; w < waves; ++w) {
    std::vector<RoundTripJob> jobs;
    std::vector<int> rowOf;
    for (int c = 0; c < count; ++c) {
      for (int s = 0; s < slots && w * slots + s < o.runs; ++s) {
        RoundTripJob job;
        job.port = port_of(c, s);
        job.number = modem_number(job.port);
        job.name = format("%c%d", set[0] == 't' ? 'Q' : 'P', c);
        job.commandSet = set;
        job.options = {"report=1", "record=record.jsonl"};
        job.dataTime = format("%sR%d", job.name.c_str(), w * slots + s);
        job.dir = format("%s/%d-%d", base.c_str(), c, w * slots + s);
        job.resultName = "results.csv";
        jobs.push_back(job);
        rowOf.push_back(c);
      }
    }
    progress(format("fidelity-reports %s: wave %d of %d, %zu runs", set.c_str(), w + 1, waves,
                    jobs.size()));
    std::vector<RoundTripOutcome> outcomes;
    std::string error;
    if (!run_round_trips(o.tool, ports, jobs, 60, outcomes, error)) {
      progress("fidelity-reports: " + error);
      return false;
    }
    if (!report_failures("fidelity-reports", jobs, outcomes)) return false;
    for (size_t i = 0; i < jobs.size(); ++i) {
      ReportRow& row = rows[static_cast<size_t>(rowOf[i])];
      double truth = kNoValue, err = kNoValue, lineLag = kNoValue;
      std::string why;
      if (measure(jobs[i], outcomes[i], ports, truth, err, lineLag, why)) {
        row.errors.push_back(err);
        row.lines.push_back(lineLag);
      } else {
        ++row.failed;
        progress(format("fidelity-reports: run %s: %s; see %s", jobs[i].dataTime.c_str(),
                        why.c_str(), jobs[i].dir.c_str()));
      }
      runsCsv.row({set, format("%g", row.reportDelay), jobs[i].dataTime,
                   format("%d", outcomes[i].process.exitCode), num(truth, "%.6f"),
                   num(err + truth, "%.6f"), num(err, "%.6f"), num(lineLag, "%.6f")});
    }
  }
  sim.stop();
  return true;
}

}  // namespace

bool run_fidelity_reports(const Options& o) {
  Csv runsCsv(o.out + "/fidelity_reports_runs.csv");
  runsCsv.row({"set", "report_delay", "run", "exit", "true_confirm", "confirm_time",
               "confirm_error", "line_lag"});
  Csv csv(o.out + "/fidelity_reports.csv");
  csv.row({"set", "report_delay", "runs", "failed", "mean", "median", "p95", "max", "min",
           "median_abs", "max_abs", "target"});
  std::printf(
      "\nStatus reports (report=1): confirmTime - true confirmation time, seconds; delivery "
      "delay %.1f s,\n%d runs per row. True: the text's arrival to the final report's line "
      "written to the sending\nmodem. Target: |error| median <= %.2f s and maximum <= %.2f s in "
      "every row.\n",
      kReportRowDelivery, o.runs, kTextMedianTarget, kTextMaxTarget);
  std::printf("%5s %12s %4s %4s %9s %9s %9s %9s %9s  %s\n", "set", "report delay", "ok", "fail",
              "median", "|med|", "|max|", "min", "line.med", "target");
  int rowsMet = 0, rowCount = 0;
  double worstMedian = 0, worstMax = 0;
  for (const std::string set : {"text", "pdu"}) {
    std::vector<ReportRow> rows;
    if (!run_set(o, set, rows, runsCsv)) return false;
    for (const ReportRow& row : rows) {
      Summary s = summarize(row.errors), a = summarize(absolutes(row.errors));
      Summary l = summarize(row.lines);
      const bool met = row_met(row);
      rowsMet += met;
      ++rowCount;
      if (!std::isnan(a.median)) worstMedian = std::max(worstMedian, a.median);
      if (!std::isnan(a.max)) worstMax = std::max(worstMax, a.max);
      std::printf("%5s %12s %4zu %4d %9s %9s %9s %9s %9s  %s\n", set.c_str(),
                  format("%g", row.reportDelay).c_str(), s.count, row.failed,
                  num(s.median, "%+.4f").c_str(), num(a.median, "%.4f").c_str(),
                  num(a.max, "%.4f").c_str(), num(s.min, "%+.4f").c_str(),
                  num(l.median, "%.4f").c_str(), met ? "met" : "MISSED");
      csv.row({set, format("%g", row.reportDelay), format("%zu", s.count), format("%d", row.failed),
               num(s.mean, "%.6f"), num(s.median, "%.6f"), num(s.p95, "%.6f"), num(s.max, "%.6f"),
               num(s.min, "%.6f"), num(a.median, "%.6f"), num(a.max, "%.6f"),
               met ? "met" : "missed"});
    }
  }
  note_target(format(
      "confirmTime error (report=1, text and PDU mode), |median| <= %.2f s and |max| <= %.2f s "
      "per row: %s, %d of %d rows; worst |median| %.4f s, worst |max| %.4f s",
      kTextMedianTarget, kTextMaxTarget, rowsMet == rowCount ? "met" : "MISSED", rowsMet, rowCount,
      worstMedian, worstMax));
  return true;
}

}  // namespace smstest
