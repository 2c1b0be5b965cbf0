// Running a prepared campaign: one worker thread per command file, the main
// thread watching for interrupts and redrawing the progress.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/clock.h"
#include "common/text.h"
#include "driver/platform.h"
#include "tools/campaign/campaign.h"
#include "tools/campaign/os_services.h"
#include "tools/campaign/port_locks.h"
#include "tools/campaign/progress.h"
#include "tools/campaign/run_outcome.h"
#include "tools/campaign/runs_jsonl.h"

namespace fs = std::filesystem;

namespace smstest {

namespace {

// How often the main thread looks for the end of the workers and redraws.
constexpr int kTickMilliseconds = 100;

// The bytes of the file at `path` from `offset` on (all of it when the file
// is now shorter); false when it can't be read.
bool read_from(const std::string& path, uint64_t offset, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) < offset) offset = 0;
  in.seekg(static_cast<std::streamoff>(offset));
  std::stringstream ss;
  ss << in.rdbuf();
  text = ss.str();
  return true;
}

uint64_t size_of(const std::string& path) {
  std::error_code ec;
  uintmax_t size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

class CampaignRunner {
 public:
  CampaignRunner(const Campaign& campaign, Progress& progress, std::FILE* err)
      : c_(campaign),
        progress_(progress),
        err_(err),
        writer_(campaign.logPath, campaign.log),
        nextRun_(campaign.lastRun + 1),
        start_(calendar_seconds()) {}

  int run() {
    std::string error;
    if (!catch_interrupts(error)) {
      std::fprintf(err_, "sms_campaign: %s\n", error.c_str());
      return kCampaignFailed;
    }
    std::vector<std::thread> workers;
    for (size_t i = 0; i < c_.files.size(); ++i) workers.emplace_back([this, i] { work(i); });
    while (finished_.load() < c_.files.size()) {
      int signal = wait_for_interrupt(kTickMilliseconds);
      if (signal != 0) interrupt(signal);
      progress_.redraw();
    }
    for (std::thread& t : workers) t.join();
    progress_.close(signal_, c_.logPath);
    if (signal_ != 0) return 128 + signal_;
    if (!failure_.empty()) {
      std::fprintf(err_, "sms_campaign: %s\n", failure_.c_str());
      return kCampaignFailed;
    }
    return kCampaignDone;
  }

 private:
  bool stopping() const { return signal_.load() != 0 || failed_.load(); }

  // The first interrupt stops the campaign; every interrupt is passed on to
  // the runs under way.
  void interrupt(int signal) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal);
    stop_all();
    std::lock_guard<std::mutex> lock(runningMutex_);
    for (auto& entry : running_) entry.second->interrupt(signal);
  }

  void fail(const std::string& text) {
    {
      std::lock_guard<std::mutex> lock(stopMutex_);
      if (failure_.empty()) failure_ = text;
    }
    failed_ = true;
    stop_all();
  }

  void stop_all() {
    locks_.stop();
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopChanged_.notify_all();
  }

  // Waits `seconds` or until the campaign stops; false when it stopped.
  bool pause(double seconds) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    return !stopChanged_.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [this] { return stopping(); });
  }

  void work(size_t index) {
    const CampaignFile& file = c_.files[index];
    const int left = c_.options.repeat - count_runs(c_.log, file.name);
    for (int k = 0; k < left && !stopping(); ++k) {
      if (k > 0 && c_.options.pause > 0 && !pause(c_.options.pause)) break;
      if (!locks_.acquire(static_cast<int>(index), file.ports)) break;
      RunFacts facts;
      bool made = run_once(index, facts);
      locks_.release(static_cast<int>(index));
      if (!made || !log_run(index, facts)) break;
    }
    ++finished_;
  }

  // Starts one run of file `index`, waits for it and gathers what it left
  // in `facts`.  False when the campaign stopped before it started or it
  // could not be started.
  bool run_once(size_t index, RunFacts& facts) {
    const CampaignFile& file = c_.files[index];
    std::unique_ptr<ChildProcess> child;
    std::string statusName, outputPath, resultPath, recordPath;
    uint64_t resultOffset = 0;
    {
      // Started under the lock that interrupt() takes, so that no run
      // starts after an interrupt has been passed on.
      std::lock_guard<std::mutex> lock(runningMutex_);
      if (stopping()) return false;
      facts.run = nextRun_++;
      facts.cmdFile = file.name;
      facts.testName = file.command.params.testName;
      facts.reflector = file.reflector;
      facts.resultName = file.command.resultName;
      facts.dataTime = data_time(start_, facts.run);
      const std::string tag = format("%s.%06d", file.stem.c_str(), facts.run);
      statusName = "status/" + tag + ".txt";
      outputPath = (fs::path(c_.dir) / "status" / (tag + ".stderr.txt")).string();
      resultPath = join_path(c_.dir, file.command.resultName);
      resultOffset = size_of(resultPath);
      // Each run's record goes to a file of its own.
      recordPath = (fs::path(c_.dir) / "status" / (tag + ".record.json")).string();
      facts.recordOption = file.command.options.hasRecord ? file.command.options.record : "";
      facts.start = calendar_seconds();
      std::string error;
      child = start_child({c_.smsTest, file.path, statusName, facts.dataTime, c_.options.latLong},
                          c_.dir, outputPath, error, {"SMS_TEST_RECORD=" + recordPath});
      if (!child) {
        fail(error);
        return false;
      }
      running_[index] = child.get();
    }
    ChildExit exit = child->wait();
    facts.end = calendar_seconds();
    {
      std::lock_guard<std::mutex> lock(runningMutex_);
      running_.erase(index);
    }
    child.reset();
    facts.exitCode = exit.exitCode;
    facts.signal = exit.signal;
    facts.statusFound = read_from(join_path(c_.dir, statusName), 0, facts.status);
    read_from(resultPath, resultOffset, facts.results);
    read_from(outputPath, 0, facts.output);
    facts.recordFound = read_from(recordPath, 0, facts.record);
    return true;
  }

  bool log_run(size_t index, const RunFacts& facts) {
    const CampaignLine line = describe_run(facts);
    {
      std::lock_guard<std::mutex> lock(logMutex_);
      if (!writer_.append(line)) {
        fail(writer_.lastError);
        return false;
      }
      const std::string runsPath = join_path(c_.dir, kRunsJsonlName);
      if (!append_line(runsPath, runs_jsonl_line(facts, line))) {
        fail(format("cannot write %s", runsPath.c_str()));
        return false;
      }
    }
    progress_.finished(index, line);
    return true;
  }

  const Campaign& c_;
  Progress& progress_;
  std::FILE* err_;
  PortLocks locks_;

  std::mutex logMutex_;
  CampaignLogWriter writer_;

  std::mutex runningMutex_;
  std::map<size_t, ChildProcess*> running_;
  int nextRun_;
  const int64_t start_;

  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  std::string failure_;
  std::atomic<int> signal_{0};
  std::atomic<bool> failed_{false};
  std::atomic<size_t> finished_{0};
};

}  // namespace

int run_campaign(const Campaign& campaign, std::FILE* out, std::FILE* err) {
  std::vector<FileProgress> files;
  int before = 0;
  for (const CampaignFile& file : campaign.files) {
    FileProgress p;
    p.name = file.name;
    p.reflector = file.reflector;
    p.total = campaign.options.repeat;
    for (const CampaignLine& line : campaign.log.lines)
      if (line.cmdFile == file.name && p.done < p.total) count_line(p, line);
    before += p.done;
    files.push_back(p);
  }
  std::fprintf(out, "sms_campaign: %d command files, %d runs each, %d made before; log %s\n",
               static_cast<int>(files.size()), campaign.options.repeat, before,
               campaign.logPath.c_str());
  std::fflush(out);
  const bool terminal = stdout_is_terminal();
  Progress progress(files, terminal, terminal ? terminal_columns() : 0, out);
  CampaignRunner runner(campaign, progress, err);
  return runner.run();
}

}  // namespace smstest
