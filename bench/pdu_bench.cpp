// PDU decoding speed: decode_pdu on the three benchmark messages
// (pdu_samples.h), one core, and, when the build found libgammu, the same
// PDUs through its decoder in the same run, with the ratio of the two.
//
//   pdu_bench [--csv=FILE] [Google Benchmark flags]
//
// Prints Google Benchmark's own lines, then a table of PDUs per second;
// --csv writes that table as CSV too.  Each decoder's result is checked
// against the message's text before anything is timed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/pdu_samples.h"
#include "pdu/sms_deliver.h"

#ifdef SMS_BENCH_GAMMU
#include <gammu.h>
#endif

namespace smstest {

namespace {

const double kTargetPerSecond = 1e6;  // for the 160-character 7-bit message

void bench_decode_pdu(benchmark::State& state, const PduSample& sample) {
  const char* hex = sample.hex.c_str();
  for (auto _ : state) {
    std::unique_ptr<SmsDeliver> sms = decode_pdu(hex, nullptr);
    benchmark::DoNotOptimize(sms.get());
  }
  state.SetItemsProcessed(state.iterations());
}

bool check_decode_pdu(const PduSample& sample, std::string& error) {
  std::unique_ptr<SmsDeliver> sms = decode_pdu(sample.hex.c_str(), nullptr);
  if (!sms || sms->text != sample.text || sms->concatenated != sample.concatenated) {
    error = "decode_pdu does not read back " + sample.name;
    return false;
  }
  return true;
}

#ifdef SMS_BENCH_GAMMU
// The library takes octets: its run includes the hex conversion, as ours
// does, so both start from the same text.
bool gammu_decode(const PduSample& sample, std::vector<unsigned char>& octets,
                  GSM_SMSMessage& sms) {
  octets.resize(sample.hex.size() / 2 + 1);
  if (!DecodeHexBin(octets.data(), reinterpret_cast<const unsigned char*>(sample.hex.data()),
                    sample.hex.size())) {
    return false;
  }
  size_t end = 0;
  return GSM_DecodePDUFrame(nullptr, &sms, octets.data(), sample.hex.size() / 2, &end, TRUE) ==
         ERR_NONE;
}

void bench_gammu(benchmark::State& state, const PduSample& sample) {
  std::vector<unsigned char> octets;
  static GSM_SMSMessage sms;
  for (auto _ : state) {
    bool ok = gammu_decode(sample, octets, sms);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(sms.Text[0]);
  }
  state.SetItemsProcessed(state.iterations());
}

bool check_gammu(const PduSample& sample, std::string& error) {
  std::vector<unsigned char> octets;
  static GSM_SMSMessage sms;
  std::memset(&sms, 0, sizeof sms);
  if (!gammu_decode(sample, octets, sms)) {
    error = "libgammu does not decode " + sample.name;
    return false;
  }
  // Its text is big-endian UCS2 ending in a zero unit.
  std::string text;
  for (size_t i = 0; sms.Text[i] != 0 || sms.Text[i + 1] != 0; i += 2) {
    unsigned unit = (static_cast<unsigned>(sms.Text[i]) << 8) | sms.Text[i + 1];
    text += static_cast<char>(unit <= 0xFF ? unit : '?');
  }
  bool concat = sms.UDH.Type == UDH_ConcatenatedMessages;
  if (text != sample.text || concat != (sample.concatenated != 0)) {
    error = "libgammu reads " + sample.name + " differently: " + text;
    return false;
  }
  return true;
}
#endif

// Keeps the console output and notes PDUs per second of every benchmark:
// the median when repetitions give one, else the single run.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: the output is also kept in files.
  RateReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

  std::map<std::string, double> rates;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto counter = run.counters.find("items_per_second");
      if (counter == run.counters.end()) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[name] = counter->second.value;
      } else if (medians_.count(name) == 0) {
        rates[name] = counter->second.value;
      }
      if (medians_.count(name) != 0) rates[name] = medians_[name];
    }
  }

 private:
  std::map<std::string, double> medians_;
};

std::string rate_text(double rate) {
  if (rate <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", rate);
  return text;
}

}  // namespace

}  // namespace smstest

int main(int argc, char** argv) {
  using namespace smstest;
  std::string csvPath;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--csv=", 6) == 0) {
      csvPath = argv[i] + 6;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  const std::vector<PduSample> samples = benchmark_samples();
  bool withGammu = false;
#ifdef SMS_BENCH_GAMMU
  withGammu = true;
#endif
  for (const PduSample& sample : samples) {
    std::string error;
    if (!check_decode_pdu(sample, error)) {
      std::fprintf(stderr, "pdu_bench: %s\n", error.c_str());
      return 1;
    }
    benchmark::RegisterBenchmark(("decode_pdu/" + sample.name).c_str(), bench_decode_pdu, sample);
#ifdef SMS_BENCH_GAMMU
    if (!check_gammu(sample, error)) {
      std::fprintf(stderr, "pdu_bench: %s\n", error.c_str());
      return 1;
    }
    benchmark::RegisterBenchmark(("gammu/" + sample.name).c_str(), bench_gammu, sample);
#endif
  }

  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::FILE* csv = nullptr;
  if (!csvPath.empty()) {
    csv = std::fopen(csvPath.c_str(), "w");
    if (csv == nullptr) {
      std::fprintf(stderr, "pdu_bench: cannot create %s\n", csvPath.c_str());
      return 1;
    }
    std::fprintf(csv, "case,characters,decode_pdu_per_second,gammu_per_second,ratio,target\n");
  }
  std::printf("\nPDU decoding, one core (PDUs per second)%s\n",
              withGammu ? "" : "; libgammu not found, comparison skipped");
  std::printf("%-16s %5s %14s %14s %8s  %s\n", "case", "chars", "decode_pdu", "libgammu", "ratio",
              "target");
  for (const PduSample& sample : samples) {
    double ours = reporter.rates["decode_pdu/" + sample.name];
    double theirs = withGammu ? reporter.rates["gammu/" + sample.name] : 0;
    std::string ratio = "-";
    if (ours > 0 && theirs > 0) {
      char text[32];
      std::snprintf(text, sizeof text, "%.2f", ours / theirs);
      ratio = text;
    }
    std::string target = "-";
    if (sample.name == "7bit_160" && ours > 0) {
      target = ours >= kTargetPerSecond ? ">= 1000000: met" : ">= 1000000: MISSED";
    }
    std::printf("%-16s %5d %14s %14s %8s  %s\n", sample.name.c_str(), sample.characters,
                rate_text(ours).c_str(), rate_text(theirs).c_str(), ratio.c_str(), target.c_str());
    if (csv != nullptr) {
      std::fprintf(csv, "%s,%d,%s,%s,%s,%s\n", sample.name.c_str(), sample.characters,
                   rate_text(ours).c_str(), rate_text(theirs).c_str(), ratio.c_str(),
                   target.c_str());
    }
  }
  if (csv != nullptr) std::fclose(csv);
  return 0;
}
