// The fidelity part of sms_bench: round trips through the simulator with
// known delivery and confirmation delays, and what the tool reported for
// them.  The simulator records the truth: when the send command arrived,
// when its confirmation was written ("sent"), and when the message was
// stored on the receiving modem ("delivered", with the delay between the
// two).  The reported deliveryTime runs from `sendEnd` to `foundAt`, so its
// error is the lag of `foundAt` behind the storing (pickup lag) less the lag
// of `sendEnd` behind the confirmation (confirm lag); both lags are shown.
//
// Two sets of runs: the grid of delivery delays x confirmation delays that
// the targets are stated for, several runs each; and a phase sweep, one run
// each for delays and confirmation delays spread over one poll cycle and one
// read request, which shows the whole range the rhythm gives when messages
// arrive at any moment (the grid's delays are multiples of 100 ms, and so
// is the tool's rhythm: each grid row hits one phase only).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sms_bench.h"
#include "common/text.h"

namespace smstest {

namespace {

struct Bound {
  double lo;
  double hi;
};

// How far `sendEnd` lags the confirmation.  A confirmation written during the
// pause after the command waits for the first read request, which then runs
// its full length; a later one arrives while some request is pending, and
// that request ends between 0 and one request length after it.
Bound confirm_lag_bound(double confirm) {
  if (confirm < kSendPause) {
    double lag = kSendPause - confirm + kReadRequest;
    return {lag, lag};
  }
  return {0, kReadRequest};
}

// How far `foundAt` lags the storing: a message stored just before a poll is
// seen at the end of that poll's read request; one stored just after a poll
// waits for that request, the pause and the next request.
Bound pickup_lag_bound() { return {kReadRequest, kReadRequest + kPollPause + kReadRequest}; }

Bound delivery_bound(double confirm) {
  Bound c = confirm_lag_bound(confirm), p = pickup_lag_bound();
  return {p.lo - c.hi, p.hi - c.lo};
}

// sendTime runs from the end of the pause to `sendEnd`.
Bound send_bound(double confirm) {
  Bound c = confirm_lag_bound(confirm);
  return {c.lo - kSendPause, c.hi - kSendPause};
}

std::string bound_text(const Bound& b) { return format("[%+.2f, %+.2f]", b.lo, b.hi); }

struct Setting {
  double delay;
  double confirm;
};

// The measurements of a group of runs that share one bound.
struct Group {
  std::string delay;  // labels
  std::string confirm;
  double confirmDelay = 0;  // stands for the group in the bounds
  std::vector<double> delivery, send, confirmLag, pickupLag;
  int failed = 0;

  void add(const Group& other) {
    delivery.insert(delivery.end(), other.delivery.begin(), other.delivery.end());
    send.insert(send.end(), other.send.begin(), other.send.end());
    confirmLag.insert(confirmLag.end(), other.confirmLag.begin(), other.confirmLag.end());
    pickupLag.insert(pickupLag.end(), other.pickupLag.begin(), other.pickupLag.end());
    failed += other.failed;
  }
};

// Runs `runs` round trips for each setting through one simulator, with at
// most o.parallel runs at once and each run on a modem of its own; one Group
// per setting.  The per-run rows go to `runsCsv`.
bool run_settings(const Options& o, const std::string& set, const std::vector<Setting>& settings,
                  int runs, Csv& runsCsv, std::vector<Group>& groups,
                  const std::string& commandSet = "") {
  const int count = static_cast<int>(settings.size());
  const int slots = std::max(1, std::min(runs, o.parallel / count));
  const std::string base = o.work + "/" + set;
  const std::string ports = base + "/ports";
  auto port_of = [&](int setting, int slot) { return 10 + setting * slots + slot; };
  std::vector<std::string> modems;
  groups.assign(settings.size(), Group());
  for (int c = 0; c < count; ++c) {
    groups[c].delay = format("%g", settings[c].delay);
    groups[c].confirm = format("%g", settings[c].confirm);
    groups[c].confirmDelay = settings[c].confirm;
    for (int s = 0; s < slots; ++s) {
      modems.push_back(format("%s=%s,delay=%g,confirm-late=%g", modem_name(port_of(c, s)).c_str(),
                              modem_number(port_of(c, s)).c_str(), settings[c].delay,
                              settings[c].confirm));
    }
  }
  SimProcess sim;
  if (!make_dirs(base) || !start_sim(sim, o, ports, modems)) return false;

  // A wave gives each modem one run; a wave larger than o.parallel goes in
  // batches.
  struct Planned {
    RoundTripJob job;
    int setting;
    int run;
  };
  const int waves = (runs + slots - 1) / slots;
  for (int w = 0; w < waves; ++w) {
    std::vector<Planned> wave;
    for (int c = 0; c < count; ++c) {
      for (int s = 0; s < slots && w * slots + s < runs; ++s) {
        Planned p;
        p.setting = c;
        p.run = w * slots + s;
        p.job.port = port_of(c, s);
        p.job.number = modem_number(p.job.port);
        p.job.name = format("%c%d", set[0] == 's' ? 'W' : set[0] == 't' ? 'X' : 'F', c);
        p.job.commandSet = commandSet;
        p.job.dataTime = format("%sR%d", p.job.name.c_str(), p.run);
        p.job.dir = format("%s/%d-%d", base.c_str(), c, p.run);
        p.job.resultName = "results.csv";
        wave.push_back(p);
      }
    }
    for (size_t first = 0; first < wave.size(); first += o.parallel) {
      const size_t end = std::min(wave.size(), first + static_cast<size_t>(o.parallel));
      progress(format("fidelity %s: wave %d of %d, runs %zu-%zu of %zu", set.c_str(), w + 1, waves,
                      first + 1, end, wave.size()));
      std::vector<RoundTripJob> jobs;
      for (size_t i = first; i < end; ++i) jobs.push_back(wave[i].job);
      std::vector<RoundTripOutcome> outcomes;
      std::string error;
      if (!run_round_trips(o.tool, ports, jobs, 60, outcomes, error)) {
        progress("fidelity: " + error);
        return false;
      }
      if (!report_failures("fidelity", jobs, outcomes)) return false;
      for (size_t i = 0; i < outcomes.size(); ++i) {
        const RoundTripOutcome& r = outcomes[i];
        const Planned& p = wave[first + i];
        Group& g = groups[p.setting];
        if (r.succeeded() && r.hasResult && r.traced) {
          g.delivery.push_back(r.delivery_error());
          g.send.push_back(r.send_error());
          g.confirmLag.push_back(r.trace.confirm_lag());
          g.pickupLag.push_back(r.trace.pickup_lag());
        } else {
          ++g.failed;
        }
        runsCsv.row(
            {set, g.delay, g.confirm, format("%d", p.run), format("%d", r.process.exitCode),
             trim_text(r.status), num(r.result.sendTime, "%.6f"), num(r.trace.true_confirmation()),
             num(r.send_error(), "%.6f"), num(r.result.deliveryTime, "%.6f"),
             num(r.trace.trueDelivery), num(r.delivery_error(), "%.6f"), num(r.trace.confirm_lag()),
             num(r.trace.pickup_lag()), num(r.process.wallSeconds), num(r.process.cpu_seconds())});
      }
    }
  }
  sim.stop();
  return true;
}

bool delivery_met(const Group& g) {
  Summary a = summarize(absolutes(g.delivery));
  return g.failed == 0 && a.count > 0 && a.median <= kMedianErrorTarget && a.max <= kMaxErrorTarget;
}

void summary_row(Csv& csv, const std::string& set, const char* measure, const Group& g,
                 const std::vector<double>& values, const Bound& b, const std::string& target) {
  Summary s = summarize(values);
  Summary a = summarize(absolutes(values));
  csv.row({set, measure, g.delay, g.confirm, format("%zu", s.count), format("%d", g.failed),
           num(s.mean, "%.6f"), num(s.median, "%.6f"), num(s.p95, "%.6f"), num(s.max, "%.6f"),
           num(s.min, "%.6f"), num(a.median, "%.6f"), num(a.max, "%.6f"), num(b.lo), num(b.hi),
           target});
}

const char kRowFormat[] = "%10s %11s %4zu %4d %8s %8s %8s %8s %8s %7s %7s  %-16s %s\n";

void print_delivery(const std::string& set, const std::vector<Group>& groups, Csv& csv) {
  std::printf("%10s %11s %4s %4s %8s %8s %8s %8s %8s %7s %7s  %-16s %s\n", "delay", "confirm", "ok",
              "fail", "mean", "median", "p95", "max", "min", "|med|", "|max|", "bound", "target");
  for (const Group& g : groups) {
    Summary s = summarize(g.delivery);
    Summary a = summarize(absolutes(g.delivery));
    Bound b = delivery_bound(g.confirmDelay);
    const char* target = delivery_met(g) ? "met" : "MISSED";
    std::printf(kRowFormat, g.delay.c_str(), g.confirm.c_str(), s.count, g.failed,
                signed_num(s.mean).c_str(), signed_num(s.median).c_str(), signed_num(s.p95).c_str(),
                signed_num(s.max).c_str(), signed_num(s.min).c_str(), num(a.median).c_str(),
                num(a.max).c_str(), bound_text(b).c_str(), target);
    summary_row(csv, set, "delivery_error", g, g.delivery, b, delivery_met(g) ? "met" : "missed");
  }
}

void print_send(const std::string& set, const std::vector<Group>& groups, Csv& csv) {
  std::printf("%10s %11s %4s %4s %8s %8s %8s %8s %8s %7s %7s  %s\n", "delay", "confirm", "ok",
              "fail", "mean", "median", "p95", "max", "min", "|med|", "|max|", "bound");
  for (const Group& g : groups) {
    Summary s = summarize(g.send);
    Summary a = summarize(absolutes(g.send));
    Bound b = send_bound(g.confirmDelay);
    std::printf(kRowFormat, g.delay.c_str(), g.confirm.c_str(), s.count, g.failed,
                signed_num(s.mean).c_str(), signed_num(s.median).c_str(), signed_num(s.p95).c_str(),
                signed_num(s.max).c_str(), signed_num(s.min).c_str(), num(a.median).c_str(),
                num(a.max).c_str(), bound_text(b).c_str(), "");
    summary_row(csv, set, "send_error", g, g.send, b, "");
  }
}

void print_lags(const std::string& set, const std::vector<Group>& groups, Csv& csv) {
  std::printf("%10s %11s %8s %8s %8s %-16s %8s %8s %8s %s\n", "delay", "confirm", "c.min", "c.med",
              "c.max", "confirm bound", "p.min", "p.med", "p.max", "pickup bound");
  for (const Group& g : groups) {
    Summary c = summarize(g.confirmLag);
    Summary p = summarize(g.pickupLag);
    std::printf("%10s %11s %8s %8s %8s %-16s %8s %8s %8s %s\n", g.delay.c_str(), g.confirm.c_str(),
                num(c.min).c_str(), num(c.median).c_str(), num(c.max).c_str(),
                bound_text(confirm_lag_bound(g.confirmDelay)).c_str(), num(p.min).c_str(),
                num(p.median).c_str(), num(p.max).c_str(), bound_text(pickup_lag_bound()).c_str());
    summary_row(csv, set, "confirm_lag", g, g.confirmLag, confirm_lag_bound(g.confirmDelay), "");
    summary_row(csv, set, "pickup_lag", g, g.pickupLag, pickup_lag_bound(), "");
  }
}

void print_all(const std::string& set, const std::vector<Group>& groups, const char* title,
               Csv& csv) {
  std::printf("\n%s: deliveryTime - true delivery delay, seconds\n", title);
  print_delivery(set, groups, csv);
  std::printf("\n%s: sendTime - true confirmation delay, seconds\n", title);
  print_send(set, groups, csv);
  std::printf(
      "\n%s: confirm lag (confirmation written -> sendEnd) and pickup lag (message "
      "stored -> foundAt), seconds\n",
      title);
  print_lags(set, groups, csv);
}

}  // namespace

bool run_fidelity(const Options& o) {
  Csv runsCsv(o.out + "/fidelity_runs.csv");
  runsCsv.row({"set", "delay", "confirm", "run", "exit", "status", "send_time", "true_confirmation",
               "send_error", "delivery_time", "true_delivery", "delivery_error", "confirm_lag",
               "pickup_lag", "wall", "cpu"});
  Csv csv(o.out + "/fidelity.csv");
  csv.row({"set", "measure", "delay", "confirm", "runs", "failed", "mean", "median", "p95", "max",
           "min", "median_abs", "max_abs", "bound_lo", "bound_hi", "target"});

  std::vector<Setting> grid;
  for (double d : o.delays) {
    for (double c : o.confirms) grid.push_back({d, c});
  }
  std::vector<Group> groups;
  if (!run_settings(o, "grid", grid, o.runs, runsCsv, groups)) return false;

  std::printf(
      "\nFidelity: reported time - true time, from the simulator's records; %d runs per "
      "row.\n"
      "The bound is what the tool's rhythm allows: read requests of %.0f ms, a %.0f ms "
      "pause\n"
      "between polls, a %.0f ms pause after the send command before sendStart.\n"
      "Target: |deliveryTime error| median <= %.2f s and maximum <= %.2f s in every row.\n",
      o.runs, kReadRequest * 1000, kPollPause * 1000, kSendPause * 1000, kMedianErrorTarget,
      kMaxErrorTarget);
  Group all;
  all.delay = "all";
  all.confirm = "all";
  bool met = true;
  for (const Group& g : groups) {
    all.add(g);
    met = met && delivery_met(g);
  }
  print_all("grid", groups, "Grid", csv);
  Summary s = summarize(all.delivery);
  Summary a = summarize(absolutes(all.delivery));
  std::printf(
      "\nGrid, all %zu runs (%d failed): deliveryTime error mean %s, median %s, p95 %s, "
      "max %s, min %s; |error| median %s, max %s; target %s\n",
      s.count, all.failed, signed_num(s.mean).c_str(), signed_num(s.median).c_str(),
      signed_num(s.p95).c_str(), signed_num(s.max).c_str(), signed_num(s.min).c_str(),
      num(a.median).c_str(), num(a.max).c_str(), met ? "met in every row" : "MISSED in some row");
  summary_row(csv, "grid", "delivery_error", all, all.delivery, {kNoValue, kNoValue},
              met ? "met" : "missed");
  int rowsMet = 0;
  const Group* worstMedian = nullptr;
  const Group* worstMax = nullptr;
  for (const Group& g : groups) {
    if (delivery_met(g)) ++rowsMet;
    Summary gs = summarize(absolutes(g.delivery));
    if (gs.count == 0) continue;
    if (!worstMedian || gs.median > summarize(absolutes(worstMedian->delivery)).median) {
      worstMedian = &g;
    }
    if (!worstMax || gs.max > summarize(absolutes(worstMax->delivery)).max) worstMax = &g;
  }
  if (worstMedian != nullptr && worstMax != nullptr) {
    note_target(format(
        "deliveryTime error, |median| <= %.2f s and |max| <= %.2f s per row: %s, %d of %zu rows; "
        "worst |median| %.3f s (delay %s, confirm %s), worst |max| %.3f s (delay %s, confirm %s)",
        kMedianErrorTarget, kMaxErrorTarget, met ? "met" : "MISSED", rowsMet, groups.size(),
        summarize(absolutes(worstMedian->delivery)).median, worstMedian->delay.c_str(),
        worstMedian->confirm.c_str(), summarize(absolutes(worstMax->delivery)).max,
        worstMax->delay.c_str(), worstMax->confirm.c_str()));
  }

  if (!o.sweep) return true;
  // Delays 1.00 to 1.18 s cover one poll cycle (about 200 ms); confirmation
  // delays 0.500 to 0.575 s one read request (100 ms).
  std::vector<Setting> sweep;
  const double lateConfirms[] = {0.5, 0.525, 0.55, 0.575};
  for (int i = 0; i < 10; ++i) {
    double delay = 1.0 + 0.02 * i;
    sweep.push_back({delay, 0});
    for (double c : lateConfirms) sweep.push_back({delay, c});
  }
  std::vector<Group> sweepGroups;
  if (!run_settings(o, "sweep", sweep, 1, runsCsv, sweepGroups)) return false;
  Group immediate, late;
  immediate.delay = late.delay = "1.00-1.18";
  immediate.confirm = "0";
  late.confirm = "0.500-0.575";
  late.confirmDelay = 0.5;
  for (const Group& g : sweepGroups) (g.confirmDelay < kSendPause ? immediate : late).add(g);
  std::printf(
      "\nPhase sweep: one run for each delay 1.00, 1.02, ... 1.18 s and each "
      "confirmation\ndelay 0, 0.500, 0.525, 0.550, 0.575 s, so that messages and "
      "confirmations fall at\nevery point of the poll cycle and of a read request.\n");
  print_all("sweep", {immediate, late}, "Sweep", csv);
  for (const Group* g : {&immediate, &late}) {
    Summary a = summarize(absolutes(g->delivery));
    note_target(
        format("deliveryTime error, phase sweep, confirm %s s: |median| %.3f s, |max| "
               "%.3f s: %s",
               g->confirm.c_str(), a.median, a.max, delivery_met(*g) ? "met" : "MISSED"));
  }
  return true;
}

namespace {

bool text_row_met(const Group& g) {
  Summary d = summarize(absolutes(g.delivery));
  Summary t = summarize(absolutes(g.send));
  return g.failed == 0 && d.count > 0 && t.count > 0 && d.median <= kTextMedianTarget &&
         d.max <= kTextMaxTarget && t.median <= kTextMedianTarget && t.max <= kTextMaxTarget;
}

}  // namespace

namespace {

// The grid again with the standard commands in text mode or PDU mode (`set`
// "text" or "pdu", `mode` its name in the tables), where a read returns as
// soon as the answer or announcement is in: no rhythm to bound the error,
// only the targets.
bool run_fidelity_standard(const Options& o, const std::string& set, const std::string& mode) {
  Csv runsCsv(o.out + "/fidelity_" + set + "_runs.csv");
  runsCsv.row({"set", "delay", "confirm", "run", "exit", "status", "send_time", "true_confirmation",
               "send_error", "delivery_time", "true_delivery", "delivery_error", "confirm_lag",
               "pickup_lag", "wall", "cpu"});
  Csv csv(o.out + "/fidelity_" + set + ".csv");
  csv.row({"set", "measure", "delay", "confirm", "runs", "failed", "mean", "median", "p95", "max",
           "min", "median_abs", "max_abs", "bound_lo", "bound_hi", "target"});
  std::vector<Setting> grid;
  for (double d : o.delays) {
    for (double c : o.confirms) grid.push_back({d, c});
  }
  std::vector<Group> groups;
  if (!run_settings(o, set, grid, o.runs, runsCsv, groups, set)) return false;

  std::printf(
      "\nFidelity in %s mode (command set \"%s\"): reported time - true time, %d runs per "
      "row.\nTarget: |deliveryTime error| and |sendTime error| median <= %.2f s and maximum <= "
      "%.2f s in every row.\n",
      mode.c_str(), set.c_str(), o.runs, kTextMedianTarget, kTextMaxTarget);
  std::printf("%10s %11s %4s %4s %9s %9s %9s %9s %9s %9s  %s\n", "delay", "confirm", "ok", "fail",
              "dlv.med", "dlv|med|", "dlv|max|", "send.med", "snd|med|", "snd|max|", "target");
  int rowsMet = 0;
  double worstMedian = 0, worstMax = 0;
  for (const Group& g : groups) {
    Summary d = summarize(g.delivery), da = summarize(absolutes(g.delivery));
    Summary t = summarize(g.send), ta = summarize(absolutes(g.send));
    const bool met = text_row_met(g);
    rowsMet += met;
    for (double v : {da.median, ta.median})
      worstMedian = std::isnan(v) ? worstMedian : std::max(worstMedian, v);
    for (double v : {da.max, ta.max}) worstMax = std::isnan(v) ? worstMax : std::max(worstMax, v);
    std::printf("%10s %11s %4zu %4d %9s %9s %9s %9s %9s %9s  %s\n", g.delay.c_str(),
                g.confirm.c_str(), d.count, g.failed, num(d.median, "%+.4f").c_str(),
                num(da.median, "%.4f").c_str(), num(da.max, "%.4f").c_str(),
                num(t.median, "%+.4f").c_str(), num(ta.median, "%.4f").c_str(),
                num(ta.max, "%.4f").c_str(), met ? "met" : "MISSED");
    const Bound none = {kNoValue, kNoValue};
    summary_row(csv, set, "delivery_error", g, g.delivery, none, met ? "met" : "missed");
    summary_row(csv, set, "send_error", g, g.send, none, met ? "met" : "missed");
    summary_row(csv, set, "confirm_lag", g, g.confirmLag, none, "");
    summary_row(csv, set, "pickup_lag", g, g.pickupLag, none, "");
  }
  std::printf(
      "\n%s mode: confirm lag (confirmation written -> the receive's first command) and pickup "
      "lag\n(message stored -> AT+CMGR), seconds\n",
      mode.c_str());
  std::printf("%10s %11s %8s %8s %8s %8s %8s %8s\n", "delay", "confirm", "c.min", "c.med", "c.max",
              "p.min", "p.med", "p.max");
  for (const Group& g : groups) {
    Summary c = summarize(g.confirmLag), p = summarize(g.pickupLag);
    std::printf("%10s %11s %8s %8s %8s %8s %8s %8s\n", g.delay.c_str(), g.confirm.c_str(),
                num(c.min, "%.4f").c_str(), num(c.median, "%.4f").c_str(),
                num(c.max, "%.4f").c_str(), num(p.min, "%.4f").c_str(),
                num(p.median, "%.4f").c_str(), num(p.max, "%.4f").c_str());
  }
  note_target(
      format("%s mode, deliveryTime and sendTime error, |median| <= %.2f s and |max| <= %.2f s per "
             "row: %s, %d of %zu rows; worst |median| %.4f s, worst |max| %.4f s",
             mode.c_str(), kTextMedianTarget, kTextMaxTarget,
             rowsMet == static_cast<int>(groups.size()) ? "met" : "MISSED", rowsMet, groups.size(),
             worstMedian, worstMax));
  return true;
}

}  // namespace

bool run_fidelity_text(const Options& o) { return run_fidelity_standard(o, "text", "text"); }

bool run_fidelity_pdu(const Options& o) { return run_fidelity_standard(o, "pdu", "PDU"); }

}  // namespace smstest
