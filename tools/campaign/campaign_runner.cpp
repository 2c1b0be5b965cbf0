// Running a prepared campaign: one worker thread per command file, the main
// thread watching for interrupts and redrawing the progress.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/clock.h"
#include "common/files.h"
#include "common/text.h"
#include "tools/campaign/campaign.h"
#include "tools/campaign/campaign_gps.h"
#include "tools/campaign/os_services.h"
#include "tools/campaign/port_locks.h"
#include "tools/campaign/progress.h"
#include "tools/campaign/run_outcome.h"
#include "tools/campaign/runs_jsonl.h"
#include "tools/campaign/store_push.h"

namespace fs = std::filesystem;

namespace smstest {

namespace {

// How often the main thread looks for the end of the workers and redraws.
constexpr int kTickMilliseconds = 100;

// At most this much of SMS_TEST's output is read back: its last line is
// all the log takes, and a run that wrote gigabytes must not cost as much.
constexpr uint64_t kOutputTail = 64 * 1024;
// At most this much of what a result file got during a run.
constexpr uint64_t kResultsTail = 16 * 1024 * 1024;
// How often a run of a killed campaign process is looked at.
constexpr int kEarlierRunPollMilliseconds = 200;

uint64_t size_of(const std::string& path) {
  std::error_code ec;
  uintmax_t size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

// SMS_TEST's debug log of port `port` for test `testName` in its working
// directory OUT (driver/sms_run.cpp names it so).
fs::path debug_log_of(const std::string& dir, const std::string& testName, int port) {
  return fs::path(dir) / format("%s.%d.debug.log", testName.c_str(), port);
}

// Moves the debug logs a run of `file` left in OUT beside its status file,
// as status/<tag>.COM<port>.debug.log, so that every run keeps its own.
void keep_debug_logs(const std::string& dir, const CampaignFile& file, const std::string& tag) {
  for (int port : file.ports) {
    const fs::path log = debug_log_of(dir, file.command.params.testName, port);
    std::error_code ec;
    if (!fs::exists(log, ec)) continue;
    fs::rename(log, fs::path(dir) / "status" / format("%s.COM%d.debug.log", tag.c_str(), port), ec);
  }
}

// Removes what an earlier run, not of this campaign, left under the names
// of the debug logs of `file`, so that a run that writes none keeps none.
void remove_debug_logs(const std::string& dir, const CampaignFile& file) {
  for (int port : file.ports) {
    std::error_code ec;
    fs::remove(debug_log_of(dir, file.command.params.testName, port), ec);
  }
}

class CampaignRunner {
 public:
  CampaignRunner(const Campaign& campaign, Progress& progress, std::FILE* err, CampaignPush* push)
      : c_(campaign),
        progress_(progress),
        err_(err),
        push_(push),
        writer_(campaign.logPath, campaign.log),
        nextRun_(campaign.lastRun + 1),
        start_(calendar_seconds()) {}

  int run() {
    std::string error;
    if (!catch_interrupts(error)) {
      std::fprintf(err_, "sms_campaign: %s\n", error.c_str());
      return kCampaignFailed;
    }
    if (!c_.options.gps.empty()) start_gps();
    // The runs of a killed campaign process that may still go on come
    // first at their ports: no run of this part starts on them before they
    // have ended.
    for (size_t i = 0; i < c_.files.size(); ++i)
      if (has_earlier(i)) locks_.reserve(static_cast<int>(i), c_.files[i].ports);
    std::vector<std::thread> workers;
    for (size_t i = 0; i < c_.files.size(); ++i) workers.emplace_back([this, i] { work(i); });
    while (finished_.load() < c_.files.size()) {
      int signal = wait_for_interrupt(kTickMilliseconds);
      if (signal != 0) interrupt(signal);
      watch_runs();
      if (gps_) progress_.set_status(gps_->state_text(kGpsMaxAgeSeconds));
      progress_.redraw();
    }
    for (std::thread& t : workers) t.join();
    if (gps_) gps_->stop();
    progress_.close(signal_, c_.logPath);
    if (signal_ != 0) return 128 + signal_;
    if (!failure_.empty()) {
      std::fprintf(err_, "sms_campaign: %s\n", failure_.c_str());
      return kCampaignFailed;
    }
    return kCampaignDone;
  }

 private:
  // Starts reading the GPS and gives it a few seconds for its first fix, so
  // that the first run has a position too; an interrupt cuts the wait.
  void start_gps() {
    gps_ = std::make_unique<GpsSource>(c_.gps);
    gps_->start();
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<int>(kGpsMaxAgeSeconds * 1000));
    while (!gps_->current(kGpsMaxAgeSeconds).ok && std::chrono::steady_clock::now() < end) {
      const int signal = wait_for_interrupt(kTickMilliseconds);
      if (signal != 0) {
        interrupt(signal);
        break;
      }
    }
    progress_.set_status(gps_->state_text(kGpsMaxAgeSeconds));
  }

  bool stopping() const { return signal_.load() != 0 || failed_.load(); }

  // The first interrupt stops the campaign and is passed on to the runs
  // under way; a second one ends them at once.
  void interrupt(int signal) {
    int none = 0;
    const bool first = signal_.compare_exchange_strong(none, signal);
    stop_all();
    std::lock_guard<std::mutex> lock(runningMutex_);
    for (auto& entry : running_) {
      if (first) {
        entry.second->child->interrupt(signal);
      } else {
        entry.second->child->kill();
      }
    }
  }

  // The watchdog: a run still going testTimeout + --run-margin seconds
  // after its start gets SIGTERM, and SIGKILL kKillGraceSeconds later.
  void watch_runs() {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(runningMutex_);
    for (auto& entry : running_) {
      Running& r = *entry.second;
      const double elapsed = std::chrono::duration<double>(now - r.started).count();
      if (r.killedAfter == 0 && elapsed >= r.limit) {
        r.killedAfter = std::max(1, static_cast<int>(std::lround(elapsed)));
        r.child->interrupt(kSignalTerminate);
      } else if (r.killedAfter > 0 && !r.killed && elapsed >= r.limit + kKillGraceSeconds) {
        r.killed = true;
        r.child->kill();
      }
    }
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

  bool has_earlier(size_t index) const {
    for (const EarlierRun& r : c_.earlier)
      if (r.file == index) return true;
    return false;
  }

  // Waits for the runs of file `index` that a killed campaign process left
  // going (on ports reserved for them) and logs each from its status and
  // result files.  Returns how many runs of the file they are.
  int finish_earlier(size_t index) {
    const CampaignFile& file = c_.files[index];
    int count = 0;
    for (const EarlierRun& r : c_.earlier)
      if (r.file == index) ++count;
    if (count == 0) return 0;
    if (!locks_.wait_reserved(static_cast<int>(index))) return count;
    for (const EarlierRun& r : c_.earlier) {
      if (r.file != index) continue;
      const std::string outputPath =
          (fs::path(c_.dir) / "status" / (r.tag + ".stderr.txt")).string();
      while (!stopping() && output_in_use(outputPath)) pause(kEarlierRunPollMilliseconds / 1000.0);
      if (stopping()) break;
      RunFacts facts;
      facts.run = r.run;
      facts.cmdFile = file.name;
      facts.testName = file.command.params.testName;
      facts.reflector = file.reflector;
      facts.resultName = file.command.resultName;
      facts.start = r.start;
      facts.end = file_written_at(outputPath, calendar_seconds());
      facts.exitKnown = false;
      facts.statusFound = read_file_tail(join_path(c_.dir, "status/" + r.tag + ".txt"), 0,
                                         kOutputTail, facts.status);
      read_file_tail(join_path(c_.dir, file.command.resultName), 0, kResultsTail, facts.results);
      facts.dataTime = find_data_time_of_run(facts.results, r.run);
      read_file_tail(outputPath, 0, kOutputTail, facts.output);
      keep_debug_logs(c_.dir, file, r.tag);
      if (!log_run(index, facts)) break;
    }
    locks_.release(static_cast<int>(index));
    return count;
  }

  void work(size_t index) {
    const CampaignFile& file = c_.files[index];
    const int earlier = finish_earlier(index);
    const int left = c_.options.repeat - count_runs(c_.log, file.name) - earlier;
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
    Running running;
    std::string tag, statusName, outputPath, resultPath, recordPath;
    uint64_t resultOffset = 0;
    GpsMark gpsStart;
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
      tag = format("%s.%06d", file.stem.c_str(), facts.run);
      statusName = "status/" + tag + ".txt";
      outputPath = (fs::path(c_.dir) / "status" / (tag + ".stderr.txt")).string();
      const std::string copyPath = (fs::path(c_.dir) / "status" / (tag + ".cmd")).string();
      resultPath = join_path(c_.dir, file.command.resultName);
      resultOffset = size_of(resultPath);
      // Each run's record goes to a file of its own.
      recordPath = (fs::path(c_.dir) / "status" / (tag + ".record.json")).string();
      facts.recordOption = file.command.options.hasRecord ? file.command.options.record : "";
      facts.start = calendar_seconds();
      std::string latLong = c_.options.latLong;
      if (gps_) {
        gpsStart = gps_mark(gps_->current(kGpsMaxAgeSeconds));
        latLong = gpsStart.latLong;
      }
      std::string error;
      if (!write_file(copyPath, file.content)) {
        fail(format("cannot write %s", copyPath.c_str()));
        return false;
      }
      remove_debug_logs(c_.dir, file);
      child = start_child({c_.smsTest, copyPath, statusName, facts.dataTime, latLong}, c_.dir,
                          outputPath, error, {"SMS_TEST_RECORD=" + recordPath});
      if (!child) {
        std::remove(copyPath.c_str());
        fail(error);
        return false;
      }
      running.child = child.get();
      running.started = std::chrono::steady_clock::now();
      running.limit = std::max(file.command.params.testTimeout, 0) + c_.options.runMargin;
      running_[index] = &running;
    }
    ChildExit exit = child->wait();
    facts.end = calendar_seconds();
    if (gps_) {
      facts.gps =
          gps_record_json(c_.gps.name, gpsStart, gps_mark(gps_->current(kGpsMaxAgeSeconds)));
    }
    {
      std::lock_guard<std::mutex> lock(runningMutex_);
      running_.erase(index);
      facts.killedAfter = running.killedAfter;
    }
    child.reset();
    facts.exitCode = exit.exitCode;
    facts.signal = exit.signal;
    facts.statusFound = read_file_tail(join_path(c_.dir, statusName), 0, kOutputTail, facts.status);
    read_file_tail(resultPath, resultOffset, kResultsTail, facts.results);
    read_file_tail(outputPath, 0, kOutputTail, facts.output);
    keep_debug_logs(c_.dir, file, tag);
    facts.recordFound = read_file_tail(recordPath, 0, kOutputTail, facts.record);
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
    if (push_ != nullptr) push_->run_logged();
    progress_.finished(index, line);
    return true;
  }

  const Campaign& c_;
  Progress& progress_;
  std::FILE* err_;
  CampaignPush* push_;  // nullptr without --push
  PortLocks locks_;

  std::mutex logMutex_;
  CampaignLogWriter writer_;

  // A run under way, as the watchdog and the interrupts see it.
  struct Running {
    ChildProcess* child = nullptr;
    std::chrono::steady_clock::time_point started;
    double limit = 0;     // seconds
    int killedAfter = 0;  // seconds, once the watchdog has sent SIGTERM
    bool killed = false;  // SIGKILL sent
  };

  std::mutex runningMutex_;
  std::map<size_t, Running*> running_;
  int nextRun_;
  const int64_t start_;

  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  std::string failure_;
  std::atomic<int> signal_{0};
  std::atomic<bool> failed_{false};
  std::atomic<size_t> finished_{0};
  // --gps: the source, read by its own thread; null without --gps.
  std::unique_ptr<GpsSource> gps_;
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
  std::unique_ptr<CampaignPush> push;
  if (!campaign.options.push.empty()) {
    push = std::make_unique<CampaignPush>(campaign.options.push, campaign.options.probe,
                                          campaign.dir, out, err);
    push->start();
  }
  CampaignRunner runner(campaign, progress, err, push.get());
  const int code = runner.run();
  // Whatever ended the campaign, its runs are in runs.jsonl: the last push
  // takes them (or says how to).
  if (push) push->finish();
  return code;
}

}  // namespace smstest
