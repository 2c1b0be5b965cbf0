// The load parts of sms_bench: what a run that waits for a message costs the
// PC (idle), and many runs at once, each on its own simulated modem, all
// appending to one result file (scale).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sms_bench.h"
#include "common/clock.h"
#include "common/text.h"
#include "process/child_process.h"

namespace smstest {

namespace {

// Mean time between the polls a modem received from `from` on.
double mean_poll_interval(const std::vector<TrafficEvent>& traffic, double from, int& polls) {
  std::vector<double> at;
  for (const TrafficEvent& e : traffic) {
    if (e.kind == "cmd" && e.data == "AT!GSMS?2,0" && e.at >= from) at.push_back(e.at);
  }
  polls = static_cast<int>(at.size());
  if (at.size() < 2) return kNoValue;
  return (at.back() - at.front()) / static_cast<double>(at.size() - 1);
}

}  // namespace

bool run_idle(const Options& o) {
  const std::string base = o.work + "/idle";
  const std::string ports = base + "/ports";
  const int port = 5;
  SimProcess sim;
  if (!make_dirs(base) || !start_sim(sim, o, ports,
                                     {format("%s=%s,delay=%g", modem_name(port).c_str(),
                                             modem_number(port).c_str(), o.idleWait)})) {
    return false;
  }
  RoundTripJob job;
  job.port = port;
  job.number = modem_number(port);
  job.name = "IDLE";
  job.dataTime = "IDLE";
  job.dir = base + "/run";
  job.resultName = "results.csv";
  job.testTimeout = static_cast<int>(o.idleWait) + 30;
  progress(format("idle: one run waiting %g s for its message", o.idleWait));

  const double simBefore = sim_cpu(sim);
  ChildGroup group;
  std::string error;
  if (!start_round_trip(group, o.tool, ports, job, error)) {
    progress("idle: " + error);
    return false;
  }
  // The waiting window: from 3 s after the start (the handshakes and the send
  // take well under 2 s) to 1 s before the message is due.
  const double started = monotonic_seconds();
  const double windowStart = 3.0, windowEnd = o.idleWait - 1.0;
  double cpuAtStart = kNoValue, cpuAtEnd = kNoValue;
  sleep_milliseconds(static_cast<int>(windowStart * 1000));
  double t0 = monotonic_seconds();
  process_cpu_seconds(group.pid(0), cpuAtStart);
  sleep_milliseconds(static_cast<int>((windowEnd - (t0 - started)) * 1000));
  double t1 = monotonic_seconds();
  process_cpu_seconds(group.pid(0), cpuAtEnd);
  std::vector<ChildResult> processes = group.wait_all(job.testTimeout + 30);
  const double simAfter = sim_cpu(sim);
  RoundTripOutcome r = collect_round_trip(job, processes[0], ports);
  sim.stop();
  if (!report_failures("idle", {job}, {r})) return false;

  const ChildResult& p = r.process;
  const double wholeShare = p.cpu_seconds() / p.wallSeconds;
  const double windowShare = (cpuAtEnd - cpuAtStart) / (t1 - t0);
  const double simShare = (simAfter - simBefore) / p.wallSeconds;
  const bool cpuMet = wholeShare < kIdleCpuTarget && windowShare < kIdleCpuTarget;
  const bool rssMet = p.peakRssKiB < kPeakRssTargetKiB;
  int polls = 0;
  const double pollInterval = mean_poll_interval(
      parse_traffic_log(read_file(ports + "/" + modem_name(port) + ".traffic.log")),
      r.trace.firstPollAt, polls);
  std::printf("\nIdle: one run waiting %g s for its message (%s)\n", o.idleWait,
              r.succeeded() ? "SUCCESS" : "FAILED");
  std::printf("  wall time                    %8.3f s\n", p.wallSeconds);
  std::printf("  CPU time, whole run          %8.3f s  (user %.3f, system %.3f)\n", p.cpu_seconds(),
              p.userSeconds, p.systemSeconds);
  std::printf("  CPU share, whole run         %8.3f %% of one core\n", 100 * wholeShare);
  std::printf("  CPU share, waiting %4.1f s    %8.3f %% of one core   target < 1 %%: %s\n", t1 - t0,
              100 * windowShare, cpuMet ? "met" : "MISSED");
  std::printf("  wake-ups                     %8.1f per second\n",
              static_cast<double>(p.voluntarySwitches) / p.wallSeconds);
  std::printf("  polls                        %8d, one every %.3f s\n", polls, pollInterval);
  std::printf("  peak resident memory         %8.2f MiB (%ld KiB)   target < 8 MiB: %s\n",
              p.peakRssKiB / 1024.0, p.peakRssKiB, rssMet ? "met" : "MISSED");
  std::printf("  simulator CPU share          %8.3f %% of one core (for reference)\n",
              100 * simShare);
  note_target(format("idle CPU < 1 %% of one core: %.3f %% waiting, %.3f %% whole run: %s",
                     100 * windowShare, 100 * wholeShare, cpuMet ? "met" : "MISSED"));
  note_target(format("idle peak memory < 8 MiB: %.2f MiB: %s", p.peakRssKiB / 1024.0,
                     rssMet ? "met" : "MISSED"));
  Csv csv(o.out + "/idle.csv");
  csv.row({"wait", "status", "wall", "cpu", "user", "system", "cpu_share", "window",
           "window_cpu_share", "wakeups_per_second", "polls", "poll_interval", "peak_rss_kib",
           "sim_cpu_share", "cpu_target", "rss_target"});
  csv.row({num(o.idleWait, "%g"), trim_text(r.status), num(p.wallSeconds, "%.6f"),
           num(p.cpu_seconds(), "%.6f"), num(p.userSeconds, "%.6f"), num(p.systemSeconds, "%.6f"),
           num(wholeShare, "%.6f"), num(t1 - t0), num(windowShare, "%.6f"),
           num(p.voluntarySwitches / p.wallSeconds, "%.2f"), format("%d", polls),
           num(pollInterval, "%.4f"), format("%ld", p.peakRssKiB), num(simShare, "%.6f"),
           cpuMet ? "met" : "missed", rssMet ? "met" : "missed"});
  return true;
}

bool run_scale(const Options& o) {
  const int most = *std::max_element(o.scale.begin(), o.scale.end());
  const std::string base = o.work + "/scale";
  const std::string ports = base + "/ports";
  std::vector<std::string> modems;
  for (int k = 0; k < most; ++k) {
    modems.push_back(format("%s=%s", modem_name(100 + k).c_str(), modem_number(100 + k).c_str()));
  }
  SimProcess sim;
  if (!make_dirs(base) || !start_sim(sim, o, ports, modems)) return false;

  Csv csv(o.out + "/scale.csv");
  csv.row({"runs", "successes", "intact_lines", "broken_lines", "total_cpu", "cpu_per_run",
           "sim_cpu", "batch_wall", "slowest_wall", "slowest_overhead", "median_overhead",
           "max_abs_delivery_error", "max_peak_rss_kib", "target"});
  Csv runsCsv(o.out + "/scale_runs.csv");
  runsCsv.row({"runs", "run", "exit", "status", "wall", "cpu", "peak_rss_kib", "true_confirmation",
               "true_delivery", "overhead", "delivery_error"});
  std::printf(
      "\nScale: runs at once, each on its own modem (delivery delay 1 s), one shared "
      "result file\n");
  std::printf("%5s %9s %7s %6s %9s %9s %9s %9s %10s %10s %9s %8s  %s\n", "runs", "success",
              "intact", "broken", "CPU s", "CPU/run", "sim CPU", "slowest", "overhead", "med.ovh",
              "|err|max", "RSS MiB", "target");
  for (int n : o.scale) {
    progress(format("scale: %d runs at once", n));
    const std::string dir = format("%s/runs-%d", base.c_str(), n);
    if (!make_dirs(dir + "/shared")) return false;
    std::vector<RoundTripJob> jobs;
    for (int k = 0; k < n; ++k) {
      RoundTripJob job;
      job.port = 100 + k;
      job.number = modem_number(job.port);
      job.name = format("S%d", k);
      job.dataTime = format("N%dK%d", n, k);
      job.dir = format("%s/run-%d", dir.c_str(), k);
      // The tool joins its working directory and this name.
      job.resultName = "../shared/all.csv";
      jobs.push_back(job);
    }
    const double simBefore = sim_cpu(sim);
    const double batchStart = monotonic_seconds();
    std::vector<RoundTripOutcome> outcomes;
    std::string error;
    if (!run_round_trips(o.tool, ports, jobs, 90, outcomes, error)) {
      progress("scale: " + error);
      return false;
    }
    const double batchWall = monotonic_seconds() - batchStart;
    const double simCpu = sim_cpu(sim) - simBefore;
    if (!report_failures("scale", jobs, outcomes)) return false;

    ResultFile shared = parse_result_file(read_file(dir + "/shared/all.csv"));
    int intact = 0;
    for (const RoundTripJob& job : jobs) {
      int found = 0;
      for (const ResultTimes& line : shared.lines) {
        if (line.name == job.name && line.dataTime == job.dataTime) ++found;
      }
      if (found == 1) ++intact;
    }
    int successes = 0;
    long maxRss = 0;
    double cpu = 0, slowest = 0, slowestOverhead = kNoValue;
    std::vector<double> overheads, errors;
    for (size_t i = 0; i < outcomes.size(); ++i) {
      const RoundTripOutcome& r = outcomes[i];
      if (r.succeeded()) ++successes;
      cpu += r.process.cpu_seconds();
      maxRss = std::max(maxRss, r.process.peakRssKiB);
      // Overhead: the run's wall time beyond the delays the network imposes.
      double overhead =
          r.traced ? r.process.wallSeconds - r.trace.true_confirmation() - r.trace.trueDelivery
                   : kNoValue;
      overheads.push_back(overhead);
      errors.push_back(std::fabs(r.delivery_error()));
      if (r.process.wallSeconds > slowest) {
        slowest = r.process.wallSeconds;
        slowestOverhead = overhead;
      }
      runsCsv.row({format("%d", n), jobs[i].name, format("%d", r.process.exitCode),
                   trim_text(r.status), num(r.process.wallSeconds, "%.6f"),
                   num(r.process.cpu_seconds(), "%.6f"), format("%ld", r.process.peakRssKiB),
                   num(r.trace.true_confirmation()), num(r.trace.trueDelivery),
                   num(overhead, "%.6f"), num(r.delivery_error(), "%.6f")});
    }
    Summary ovh = summarize(overheads);
    Summary err = summarize(errors);
    bool met = successes == n && intact == n && shared.broken == 0;
    std::printf("%5d %4d/%-4d %3d/%-3d %6d %9.3f %9.4f %9.3f %8.3fs %9.3fs %9.3fs %9s %8.2f  %s\n",
                n, successes, n, intact, n, shared.broken, cpu, cpu / n, simCpu, slowest,
                slowestOverhead, ovh.median, num(err.max).c_str(), maxRss / 1024.0,
                met ? "met" : "MISSED");
    note_target(format("scale, %d runs at once: %d successes, %d intact lines, %d broken: %s", n,
                       successes, intact, shared.broken, met ? "met" : "MISSED"));
    csv.row({format("%d", n), format("%d", successes), format("%d", intact),
             format("%d", shared.broken), num(cpu, "%.6f"), num(cpu / n, "%.6f"),
             num(simCpu, "%.6f"), num(batchWall, "%.6f"), num(slowest, "%.6f"),
             num(slowestOverhead, "%.6f"), num(ovh.median, "%.6f"), num(err.max, "%.6f"),
             format("%ld", maxRss), met ? "met" : "missed"});
  }
  std::printf(
      "(overhead: a run's wall time less the true confirmation and delivery delays; "
      "slowest: the run with the longest wall time)\n");
  sim.stop();
  return true;
}

}  // namespace smstest
