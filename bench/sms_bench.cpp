// sms_bench: whole-run benchmarks of SMS_TEST against the simulated modems.
//
//   fidelity  reported send and delivery times against the true ones that
//             the simulator records, for several delivery and confirmation
//             delays, beside the bound that the tool's poll rhythm allows
//   fidelity-text  the same grid with the standard commands in text mode
//   fidelity-pdu   the same grid with the standard commands in PDU mode
//   fidelity-reports  confirmTime of runs with status reports (report=1)
//   idle      CPU time and peak memory of a run that waits for a message
//   scale     many runs at once, each on its own modem, sharing one result
//             file: successes, intact lines, CPU, the slowest run
//
// Tables go to standard output, CSV files into --out, progress to standard
// error.  Exit code 0 when every part ran (whether or not its targets were
// met), 1 when one could not run, 2 for a bad command line.
#include "bench/sms_bench.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "process/child_process.h"

namespace smstest {

namespace {

const char kUsage[] =
    "usage: sms_bench --out DIR [--work DIR]\n"
    "                 [--parts fidelity,fidelity-text,fidelity-pdu,fidelity-reports,speed,idle,\n"
    "                  scale] [--runs N]\n"
    "                 [--parallel N] [--no-sweep] [--idle-wait SECONDS] [--scale 1,8,32,64]\n"
    "                 [--quick] [--tool PATH] [--sim PATH]\n"
    "  --quick: 2 fidelity runs per row, no sweep, 6 s idle wait, scale 1 and 8\n";

bool parse_options(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string v;
    auto value = [&]() {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    if (arg == "--quick") {
      o.runs = 2;
      o.sweep = false;
      o.idleWait = 6;
      o.scale = {1, 8};
    } else if (arg == "--no-sweep") {
      o.sweep = false;
    } else if (arg == "--out" && value()) {
      o.out = v;
    } else if (arg == "--work" && value()) {
      o.work = v;
    } else if (arg == "--tool" && value()) {
      o.tool = v;
    } else if (arg == "--sim" && value()) {
      o.sim = v;
    } else if (arg == "--parts" && value()) {
      o.parts = split(v, ',');
    } else if (arg == "--runs" && value()) {
      o.runs = std::max(1, atoi(v.c_str()));
    } else if (arg == "--parallel" && value()) {
      o.parallel = std::max(1, atoi(v.c_str()));
    } else if (arg == "--idle-wait" && value()) {
      o.idleWait = std::max(6.0, atof(v.c_str()));
    } else if (arg == "--scale" && value()) {
      o.scale.clear();
      for (const std::string& n : split(v, ',')) {
        o.scale.push_back(std::max(1, atoi(n.c_str())));
      }
    } else {
      return false;
    }
  }
  return !o.out.empty();
}

bool wants(const Options& o, const char* part) {
  return std::find(o.parts.begin(), o.parts.end(), part) != o.parts.end();
}

std::vector<std::string>& target_lines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void note_target(const std::string& line) { target_lines().push_back(line); }

void progress(const std::string& text) {
  std::fflush(stdout);  // keeps the tables and the progress lines in order
  std::fprintf(stderr, "sms_bench: %s\n", text.c_str());
  std::fflush(stderr);
}

std::string num(double v, const char* fmt) {
  return std::isnan(v) ? std::string("-") : format(fmt, v);
}

std::string signed_num(double v) { return num(v, "%+.3f"); }

std::vector<double> absolutes(const std::vector<double>& values) {
  std::vector<double> out;
  for (double v : values) out.push_back(std::fabs(v));
  return out;
}

Csv::Csv(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
  if (file_ == nullptr) progress("cannot create " + path);
}

Csv::~Csv() {
  if (file_ != nullptr) std::fclose(file_);
}

void Csv::row(const std::vector<std::string>& cells) {
  if (file_ == nullptr) return;
  for (size_t i = 0; i < cells.size(); ++i) {
    std::fprintf(file_, "%s%s", i ? "," : "", cells[i].c_str());
  }
  std::fputc('\n', file_);
}

bool start_sim(SimProcess& sim, const Options& o, const std::string& ports,
               const std::vector<std::string>& modems) {
  std::vector<std::string> args = {"--dir", ports};
  for (const std::string& m : modems) {
    args.push_back("--modem");
    args.push_back(m);
  }
  if (!sim.start(o.sim, args, 20)) {
    progress("modem_sim did not start: " + sim.lastError);
    return false;
  }
  return true;
}

double sim_cpu(const SimProcess& sim) {
  double seconds = kNoValue;
  process_cpu_seconds(sim.pid(), seconds);
  return seconds;
}

bool report_failures(const char* part, const std::vector<RoundTripJob>& jobs,
                     const std::vector<RoundTripOutcome>& outcomes) {
  bool started = true;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const RoundTripOutcome& r = outcomes[i];
    if (r.succeeded() && r.traced && r.hasResult) continue;
    if (r.process.exitCode == 127) started = false;
    std::string why = r.process.timedOut ? "timed out" : format("exit %d", r.process.exitCode);
    progress(format(
        "%s: run %s (%s) failed: %s, status \"%s\"%s%s; see %s", part, jobs[i].name.c_str(),
        jobs[i].dataTime.c_str(), why.c_str(), trim_text(r.status).c_str(),
        r.traced ? "" : ", records: ", r.traced ? "" : r.traceError.c_str(), jobs[i].dir.c_str()));
  }
  return started;
}

}  // namespace smstest

int main(int argc, char** argv) {
  using namespace smstest;
  Options o;
  o.tool = SMS_TEST_BINARY;
  o.sim = MODEM_SIM_BINARY;
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!parse_options(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!make_dirs(o.out)) {
    std::fprintf(stderr, "sms_bench: cannot create %s\n", o.out.c_str());
    return 1;
  }
  if (o.work.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sms_bench_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      std::fprintf(stderr, "sms_bench: cannot create a work directory\n");
      return 1;
    }
    o.work = name.data();
  } else if (!make_dirs(o.work)) {
    std::fprintf(stderr, "sms_bench: cannot create %s\n", o.work.c_str());
    return 1;
  }
  // The runs work in directories of their own: every path they get must be
  // absolute.
  for (std::string* path : {&o.work, &o.out}) {
    char* full = realpath(path->c_str(), nullptr);
    if (full == nullptr) {
      std::fprintf(stderr, "sms_bench: cannot resolve %s\n", path->c_str());
      return 1;
    }
    *path = full;
    free(full);
  }
  progress("work directory " + o.work + ", CSV files in " + o.out);
  bool ok = true;
  if (wants(o, "fidelity")) ok = run_fidelity(o) && ok;
  if (wants(o, "fidelity-text")) ok = run_fidelity_text(o) && ok;
  if (wants(o, "fidelity-pdu")) ok = run_fidelity_pdu(o) && ok;
  if (wants(o, "fidelity-reports")) ok = run_fidelity_reports(o) && ok;
  if (wants(o, "speed")) ok = run_speed(o) && ok;
  if (wants(o, "idle")) ok = run_idle(o) && ok;
  if (wants(o, "scale")) ok = run_scale(o) && ok;
  std::printf("\nTargets\n");
  for (const std::string& line : target_lines()) std::printf("  %s\n", line.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}
