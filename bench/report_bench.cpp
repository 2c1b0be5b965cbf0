// report_bench: how long sms_report takes on a large result file, and how
// much memory it needs, for the stream of a long drive test or campaign.
//
//   report_bench [--work DIR] [--lines N] [--tool PATH] [--keep]
//
// Writes generated result files into DIR (default /tmp/report_bench), then
// runs sms_report on each and prints wall time, CPU time and peak resident
// memory.  The inputs and the GeoJSON layers (about 1.2 GB for a million
// lines) are removed at the end unless --keep is given.
//
//   mixed         N lines of 10 tests at 20 places: 90% completed round
//                 trips, 4% not sent, 3% lost or corrupted, 3% reflector
//                 replies; table only, then with all four output files
//   mixed/10      the same for a tenth of the lines: memory grows with
//                 the measures kept (one double per measure taken)
//   failures      N lines that carry no measure: memory stays flat
//
// Not a test: the numbers are for reading.  Exit code 0 when every run
// ended with 0, 1 otherwise, 2 for a bad command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "process/child_process.h"

namespace smstest {
namespace {

struct Options {
  std::string work = "/tmp/report_bench";
  long long lines = 1000000;
  std::string tool = SMS_REPORT_BINARY;
  bool keep = false;
};

// A small deterministic generator, so that every run reads the same file.
struct Random {
  unsigned long long state = 0x2545F4914F6CDD1DULL;
  unsigned next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>(state >> 33);
  }
  double uniform() { return next() / 2147483648.0; }
};

bool generate(const std::string& path, long long lines, bool failuresOnly) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  Random random;
  std::string buffer;
  for (long long i = 0; i < lines; ++i) {
    const unsigned test = random.next() % 10;
    const unsigned place = random.next() % 20;
    const std::string head = format("SMS_TEST,1,T%u,2026120810%06lld,%.1fN %.1fW,", test,
                                    i % 1000000, 45 + place * 0.1, 73 + place * 0.05);
    const double send = 1.5 + random.uniform() * 2;
    const double delivery = 4 + random.uniform() * random.uniform() * 20;
    const unsigned kind = failuresOnly ? 0 : random.next() % 100;
    if (kind < 4) {
      buffer += head + "2,-Infinity,-Infinity,-Infinity,1.200000,-Infinity,0\n";
    } else if (kind < 6) {
      buffer += head + format("2,%f,-Infinity,-Infinity,60.500000,-Infinity,0\n", send);
    } else if (kind < 7) {
      buffer += head + format("0,%f,%f,-Infinity,%f,87,100\n", send, delivery, send + delivery + 3);
    } else if (kind < 10) {
      buffer += head + format("2,%f,-Infinity,%f,%f,-Infinity,0\n", send, send + 0.5, send + 9);
    } else {
      buffer +=
          head + format("0,%f,%f,-Infinity,%f,100,100\n", send, delivery, send + delivery + 3);
    }
    if (buffer.size() > (1 << 20)) {
      std::fwrite(buffer.data(), 1, buffer.size(), file);
      buffer.clear();
    }
  }
  std::fwrite(buffer.data(), 1, buffer.size(), file);
  return std::fclose(file) == 0;
}

long long file_size(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  std::fseek(f, 0, SEEK_END);
  long long size = std::ftell(f);
  std::fclose(f);
  return size;
}

bool run(const Options& o, const char* name, const char* id, const std::string& input,
         long long lines, bool allOutputs) {
  ChildCommand command;
  command.argv = {o.tool};
  if (allOutputs) {
    for (const char* output : {"json", "csv", "html", "geojson"}) {
      command.argv.push_back(std::string("--") + output);
      command.argv.push_back(o.work + "/" + id + "." + output);
    }
  }
  command.argv.push_back(input);
  command.cwd = o.work;
  command.stdoutPath = o.work + "/" + id + ".table.txt";
  command.stderrPath = o.work + "/" + id + ".err.txt";
  ChildGroup group;
  if (!group.start(command)) {
    std::fprintf(stderr, "report_bench: %s\n", group.lastError.c_str());
    return false;
  }
  const ChildResult r = group.wait_all(600)[0];
  std::printf("%-22s %9lld %8.1f %8.2f %8.2f %10.1f %12.0f%s\n", name, lines,
              file_size(input) / 1048576.0, r.wallSeconds, r.cpu_seconds(), r.peakRssKiB / 1024.0,
              lines / r.wallSeconds, r.exitCode == 0 ? "" : "  FAILED");
  std::fflush(stdout);
  return r.exitCode == 0;
}

int bench_main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--work" && i + 1 < argc) {
      o.work = argv[++i];
    } else if (arg == "--lines" && i + 1 < argc) {
      o.lines = std::atoll(argv[++i]);
    } else if (arg == "--tool" && i + 1 < argc) {
      o.tool = argv[++i];
    } else if (arg == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr, "usage: report_bench [--work DIR] [--lines N] [--tool PATH] [--keep]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (o.lines < 10) o.lines = 10;
  std::string mkdir = "mkdir -p '" + o.work + "'";
  if (std::system(mkdir.c_str()) != 0) return 1;

  const std::string mixed = o.work + "/mixed.csv";
  const std::string tenth = o.work + "/mixed_tenth.csv";
  const std::string failures = o.work + "/failures.csv";
  std::fprintf(stderr, "report_bench: writing %lld-line files in %s\n", o.lines, o.work.c_str());
  if (!generate(mixed, o.lines, false) || !generate(tenth, o.lines / 10, false) ||
      !generate(failures, o.lines, true)) {
    std::fprintf(stderr, "report_bench: cannot write into %s\n", o.work.c_str());
    return 1;
  }
  std::printf("sms_report on generated result files\n");
  std::printf("%-22s %9s %8s %8s %8s %10s %12s\n", "case", "lines", "MiB", "wall s", "CPU s",
              "peak MiB", "lines/s");
  bool ok = run(o, "mixed", "mixed", mixed, o.lines, false);
  ok = run(o, "mixed, all outputs", "mixed_all", mixed, o.lines, true) && ok;
  ok = run(o, "mixed/10, all outputs", "tenth_all", tenth, o.lines / 10, true) && ok;
  ok = run(o, "failures", "failures", failures, o.lines, false) && ok;
  ok = run(o, "failures, all outputs", "failures_all", failures, o.lines, true) && ok;
  if (!o.keep) {
    for (const std::string& big : {mixed, tenth, failures}) std::remove(big.c_str());
    for (const char* id : {"mixed_all", "tenth_all", "failures_all"}) {
      std::remove((o.work + "/" + id + ".geojson").c_str());
    }
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace smstest

int main(int argc, char** argv) { return smstest::bench_main(argc, argv); }
