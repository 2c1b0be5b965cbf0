// The speed part of sms_bench: fidelity by message size and alphabet in the
// standard command sets (one at a time per modem, then 32 round trips at
// once), the overhead of a whole two-modem run per command set (its wall
// time less the true confirmation and delivery delays), and the campaign
// throughput of one modem pair (runs back to back, no delay, no pause).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sms_bench.h"
#include "common/text.h"

namespace smstest {

namespace {

struct SizeRow {
  const char* name;
  int length;  // characters of the whole message, time marker included
  bool ucs2;
  int parts;  // > 1: a concatenated message, PDU mode only
};

const SizeRow kSizes[] = {
    {"1 septet", 1, false, 1}, {"70 septets", 70, false, 1},   {"160 septets", 160, false, 1},
    {"70 UCS2", 70, true, 1},  {"459 septets", 459, false, 3},
};

// Text mode sends one message at most.
bool row_runs(const SizeRow& row, const std::string& set) { return row.parts == 1 || set == "pdu"; }

// The text that makes the whole message (marker + text) `row.length`
// characters; a 1-character row is as short as the marker allows.
std::string text_for(const SizeRow& row, const std::string& dataTime) {
  const int marker = static_cast<int>(dataTime.size()) + 5;
  const int filler = std::max(1, row.length - marker);
  return std::string(static_cast<size_t>(filler), row.ucs2 ? '\xE2' : 'a');
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Starts a simulator with `modems` and runs `jobs` in batches of `atOnce`.
bool run_jobs(const Options& o, const std::string& base, const std::vector<std::string>& modems,
              const std::vector<RoundTripJob>& jobs, size_t atOnce,
              std::vector<RoundTripOutcome>& outcomes, double& wall) {
  const std::string ports = base + "/ports";
  SimProcess sim;
  if (!make_dirs(base) || !start_sim(sim, o, ports, modems)) return false;
  outcomes.clear();
  const auto start = std::chrono::steady_clock::now();
  for (size_t first = 0; first < jobs.size(); first += atOnce) {
    std::vector<RoundTripJob> batch(
        jobs.begin() + static_cast<long>(first),
        jobs.begin() + static_cast<long>(std::min(jobs.size(), first + atOnce)));
    std::vector<RoundTripOutcome> got;
    std::string error;
    if (!run_round_trips(o.tool, ports, batch, 60, got, error)) {
      progress("speed: " + error);
      return false;
    }
    if (!report_failures("speed", batch, got)) return false;
    outcomes.insert(outcomes.end(), got.begin(), got.end());
  }
  wall = seconds_since(start);
  sim.stop();
  return true;
}

// One row of the size grid: errors of the runs that succeeded and traced.
struct SizeResult {
  std::vector<double> delivery, send;
  int failed = 0;
};

// Every size row of `set` with `perRow` runs each, `slots` modems a row
// (each does both ends), all rows' runs of one wave at once.
bool run_sizes(const Options& o, const std::string& set, int perRow, int slots,
               std::vector<SizeResult>& results) {
  const std::string base = o.work + format("/speed-%s-%d", set.c_str(), slots);
  std::vector<std::string> modems;
  std::vector<RoundTripJob> jobs;
  std::vector<size_t> rowOf;
  const int rows = static_cast<int>(sizeof kSizes / sizeof kSizes[0]);
  for (int r = 0; r < rows; ++r) {
    if (!row_runs(kSizes[r], set)) continue;
    for (int s = 0; s < slots; ++s) {
      const int port = 10 + r * slots + s;
      modems.push_back(format("%s=%s,delay=0.5,confirm-late=0.3", modem_name(port).c_str(),
                              modem_number(port).c_str()));
    }
  }
  // Wave by wave: in each, every row's modems take one run.
  for (int run = 0; run < perRow; run += slots) {
    for (int r = 0; r < rows; ++r) {
      if (!row_runs(kSizes[r], set)) continue;
      for (int s = 0; s < slots && run + s < perRow; ++s) {
        RoundTripJob job;
        job.port = 10 + r * slots + s;
        job.number = modem_number(job.port);
        job.name = format("S%d", r);
        job.commandSet = set;
        job.dataTime = format("S%dR%d", r, run + s);
        job.text = text_for(kSizes[r], job.dataTime);
        job.parts = kSizes[r].parts;
        job.dir = format("%s/%d-%d", base.c_str(), r, run + s);
        job.resultName = "results.csv";
        jobs.push_back(job);
        rowOf.push_back(static_cast<size_t>(r));
      }
    }
  }
  std::vector<RoundTripOutcome> outcomes;
  double wall = 0;
  const size_t atOnce = modems.size();  // every active row's modems
  progress(format("speed: %s, %d runs per size, %zu at once", set.c_str(), perRow, atOnce));
  if (!run_jobs(o, base, modems, jobs, atOnce, outcomes, wall)) {
    return false;
  }
  results.assign(static_cast<size_t>(rows), SizeResult());
  for (size_t i = 0; i < outcomes.size(); ++i) {
    SizeResult& row = results[rowOf[i]];
    const RoundTripOutcome& r = outcomes[i];
    if (r.succeeded() && r.hasResult && r.traced) {
      row.delivery.push_back(r.delivery_error());
      row.send.push_back(r.send_error());
    } else {
      ++row.failed;
    }
  }
  return true;
}

bool print_sizes(const std::string& title, const std::vector<std::string>& sets,
                 const std::vector<std::vector<SizeResult>>& all, double maxTarget, Csv& csv) {
  std::printf("\n%s\n%6s %12s %4s %4s %9s %9s %9s %9s  %s\n", title.c_str(), "set", "message", "ok",
              "fail", "dlv|med|", "dlv|max|", "snd|med|", "snd|max|", "target");
  bool met = true;
  double worstMedian = 0, worstMax = 0;
  for (size_t s = 0; s < sets.size(); ++s) {
    for (size_t r = 0; r < all[s].size(); ++r) {
      if (!row_runs(kSizes[r], sets[s])) continue;
      const SizeResult& row = all[s][r];
      Summary d = summarize(absolutes(row.delivery)), t = summarize(absolutes(row.send));
      const bool rowMet = row.failed == 0 && d.count > 0 && t.count > 0 &&
                          d.median <= kSpeedMedianTarget && t.median <= kSpeedMedianTarget &&
                          d.max <= maxTarget && t.max <= maxTarget;
      met = met && rowMet;
      worstMedian = std::max({worstMedian, d.count ? d.median : 0, t.count ? t.median : 0});
      worstMax = std::max({worstMax, d.count ? d.max : 0, t.count ? t.max : 0});
      std::printf("%6s %12s %4zu %4d %9s %9s %9s %9s  %s\n", sets[s].c_str(), kSizes[r].name,
                  d.count, row.failed, num(d.median, "%.4f").c_str(), num(d.max, "%.4f").c_str(),
                  num(t.median, "%.4f").c_str(), num(t.max, "%.4f").c_str(),
                  rowMet ? "met" : "MISSED");
      csv.row({title, sets[s], kSizes[r].name, format("%zu", d.count), format("%d", row.failed),
               num(d.median, "%.6f"), num(d.max, "%.6f"), num(t.median, "%.6f"), num(t.max, "%.6f"),
               rowMet ? "met" : "missed"});
    }
  }
  note_target(format(
      "%s: |median| <= %.3f s and |max| <= %.3f s per row, deliveryTime and "
      "sendTime: %s; worst |median| %.4f s, worst |max| %.4f s",
      title.c_str(), kSpeedMedianTarget, maxTarget, met ? "met" : "MISSED", worstMedian, worstMax));
  return met;
}

// Back-to-back two-modem runs of one set with no delay: each run's overhead
// and the pair's runs per minute.
bool run_pair(const Options& o, const std::string& set, int runs, Csv& csv) {
  const std::string label = set.empty() ? "proprietary" : set;
  const std::string base = o.work + "/pair-" + label;
  const std::vector<std::string> modems = {"COM10=5550010,delay=0,confirm-late=0",
                                           "COM11=5550011,delay=0,confirm-late=0"};
  std::vector<RoundTripJob> jobs;
  for (int i = 0; i < runs; ++i) {
    RoundTripJob job;
    job.port = 10;
    job.toPort = 11;
    job.number = modem_number(11);
    job.name = "P";
    job.commandSet = set;
    job.dataTime = format("P%d", i);
    job.text = "pair";
    job.dir = format("%s/%d", base.c_str(), i);
    job.resultName = "results.csv";
    jobs.push_back(job);
  }
  progress(format("speed: pair %s, %d runs back to back", label.c_str(), runs));
  std::vector<RoundTripOutcome> outcomes;
  double wall = 0;
  if (!run_jobs(o, base, modems, jobs, 1, outcomes, wall)) return false;
  std::vector<double> overhead;
  for (const RoundTripOutcome& r : outcomes) {
    if (!r.succeeded() || !r.traced) continue;
    overhead.push_back(r.process.wallSeconds - r.trace.true_confirmation() - r.trace.trueDelivery);
  }
  Summary s = summarize(overhead);
  const double perMinute = wall > 0 ? 60.0 * static_cast<double>(runs) / wall : 0;
  const bool standard = !set.empty();
  const bool met = s.count == static_cast<size_t>(runs) && s.median <= kOverheadTarget;
  std::printf("%12s %4zu %9s %9s %9s %11.1f  %s\n", label.c_str(), s.count,
              num(s.min, "%.3f").c_str(), num(s.median, "%.3f").c_str(), num(s.max, "%.3f").c_str(),
              perMinute, standard ? (met ? "met" : "MISSED") : "(fixed by its handshake)");
  csv.row({label, format("%zu", s.count), num(s.min, "%.6f"), num(s.median, "%.6f"),
           num(s.max, "%.6f"), format("%.2f", perMinute)});
  note_target(format(
      "run overhead, two modems, %s: median %.3f s, max %.3f s%s; %.1f runs per "
      "minute back to back",
      label.c_str(), s.median, s.max,
      standard ? format(" (target <= %.2f s: %s)", kOverheadTarget, met ? "met" : "MISSED").c_str()
               : "",
      perMinute));
  return true;
}

}  // namespace

bool run_speed(const Options& o) {
  const std::vector<std::string> sets = {"text", "pdu"};
  Csv csv(o.out + "/speed_sizes.csv");
  csv.row({"table", "set", "message", "runs", "failed", "delivery_median_abs", "delivery_max_abs",
           "send_median_abs", "send_max_abs", "target"});
  std::vector<std::vector<SizeResult>> one(sets.size()), many(sets.size());
  for (size_t s = 0; s < sets.size(); ++s) {
    if (!run_sizes(o, sets[s], o.runs, 1, one[s])) return false;
    if (!run_sizes(o, sets[s], 32, 8, many[s])) return false;
  }
  std::printf(
      "\nFidelity by message size and alphabet (delivery delay 0.5 s, confirmation 0.3 s after "
      "the text);\nthe message length counts the time marker.\n");
  print_sizes("Sizes, one run per modem at a time (one modem per size)", sets, one, kSpeedMaxTarget,
              csv);
  print_sizes("Sizes, 8 round trips per size at once (32 in text mode, 40 in PDU mode)", sets, many,
              kSpeedMaxTargetLoaded, csv);

  Csv pairCsv(o.out + "/speed_pair.csv");
  pairCsv.row(
      {"set", "runs", "overhead_min", "overhead_median", "overhead_max", "runs_per_minute"});
  std::printf(
      "\nRun overhead of a two-modem round trip (wall time of the whole run less the true "
      "confirmation\nand delivery delays, seconds; delay 0, confirmation at once) and campaign "
      "throughput\n(runs per minute of one modem pair back to back, process start included)\n");
  std::printf("%12s %4s %9s %9s %9s %11s  %s\n", "set", "ok", "min", "median", "max", "runs/min",
              "target");
  for (const std::string& set : {std::string(), std::string("text"), std::string("pdu")}) {
    if (!run_pair(o, set, std::max(o.runs, 5), pairCsv)) return false;
  }
  return true;
}

}  // namespace smstest
