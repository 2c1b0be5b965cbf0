#include "tools/campaign/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/text.h"

namespace smstest {

namespace {

bool read_seconds(const std::string& text, double& value) {
  if (text.empty() || text == "-Infinity") return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

std::string median_text(const FileProgress& file) {
  double m = median(file.times);
  return format("median %s %s", file.reflector ? "reply" : "delivery",
                std::isnan(m) ? "-" : format("%.2f s", m).c_str());
}

std::string counts_text(const FileProgress& file, int nameWidth) {
  return format("%-*s  %d/%d  ok %d  failed %d  %s", nameWidth, file.name.c_str(), file.done,
                file.total, file.succeeded, file.done - file.succeeded, median_text(file).c_str());
}

const char* signal_name(int signal) {
  return signal == 15 ? "SIGTERM" : signal == 1 ? "SIGHUP" : "SIGINT";
}

}  // namespace

void count_line(FileProgress& file, const CampaignLine& line) {
  ++file.done;
  if (line.statusCode == "0") ++file.succeeded;
  double t;
  if (read_seconds(file.reflector ? line.replyTime : line.deliveryTime, t)) file.times.push_back(t);
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + mid, values.end());
  double upper = values[mid];
  if (values.size() % 2 == 1) return upper;
  double lower = *std::max_element(values.begin(), values.begin() + mid);
  return (lower + upper) / 2;
}

std::string clock_text(double seconds) {
  long long s = static_cast<long long>(std::ceil(std::max(0.0, seconds)));
  if (s >= 3600) return format("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return format("%lld:%02lld", s / 60, s % 60);
}

std::string progress_line(const FileProgress& file, double elapsed, int nameWidth, int columns) {
  std::string left;
  int remaining = file.total - file.done;
  if (remaining <= 0) {
    left = "done";
  } else if (file.doneNow == 0) {
    left = "left ?";
  } else {
    left = "left " + clock_text(elapsed / file.doneNow * remaining);
  }
  std::string line = counts_text(file, nameWidth) + "  " + left;
  // The last column stays free: a terminal that wraps there would break the
  // redraw, which counts on one screen line per file.
  if (columns > 1 && line.size() > static_cast<size_t>(columns - 1)) line.resize(columns - 1);
  return line;
}

std::string run_line(const FileProgress& file, const CampaignLine& line) {
  std::string text = format("%s %d/%d (run %d): exit %s, ", file.name.c_str(), file.done,
                            file.total, line.run, line.exitCode.c_str());
  if (!line.statusCode.empty()) text += line.statusCode + " ";
  text += line.statusText;
  const std::string& time = file.reflector ? line.replyTime : line.deliveryTime;
  if (!time.empty() && time != "-Infinity")
    text += format(", %s %s s", file.reflector ? "reply" : "delivery", time.c_str());
  return text;
}

std::string summary_text(const std::vector<FileProgress>& files, int signal,
                         const std::string& logPath) {
  int total = 0, done = 0, succeeded = 0;
  size_t nameWidth = 0;
  for (const FileProgress& f : files) {
    total += f.total;
    done += f.done;
    succeeded += f.succeeded;
    nameWidth = std::max(nameWidth, f.name.size());
  }
  std::string text = "sms_campaign: ";
  if (signal != 0) text += format("interrupted by signal %d (%s): ", signal, signal_name(signal));
  text += format("%d of %d runs done, %d succeeded, %d failed; log %s\n", done, total, succeeded,
                 done - succeeded, logPath.c_str());
  for (const FileProgress& f : files)
    text += "  " + counts_text(f, static_cast<int>(nameWidth)) + "\n";
  if (signal != 0 && done < total)
    text += "sms_campaign: start it again with the same arguments to make the runs left\n";
  return text;
}

Progress::Progress(std::vector<FileProgress> files, bool terminal, int columns, std::FILE* out)
    : files_(std::move(files)),
      terminal_(terminal),
      columns_(columns),
      out_(out),
      start_(std::chrono::steady_clock::now()) {
  for (const FileProgress& f : files_)
    nameWidth_ = std::max(nameWidth_, static_cast<int>(f.name.size()));
}

void Progress::finished(size_t index, const CampaignLine& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  FileProgress& file = files_[index];
  count_line(file, line);
  ++file.doneNow;
  if (terminal_) {
    draw_locked();
  } else {
    std::string text = run_line(file, line);
    if (!status_.empty()) text += "; " + status_;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }
}

void Progress::redraw() {
  std::lock_guard<std::mutex> lock(mutex_);
  // Between runs only the time left changes: once a second is enough.
  if (terminal_ && std::chrono::steady_clock::now() - lastDraw_ >= std::chrono::seconds(1))
    draw_locked();
}

void Progress::draw_locked() {
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string text;
  // Back to the first of the lines drawn before, then each line anew:
  // carriage return, the text, erase to the end of the line.
  if (drawn_) text += format("\x1b[%dA", drawnLines_);
  for (const FileProgress& f : files_)
    text += "\r" + progress_line(f, elapsed, nameWidth_, columns_) + "\x1b[K\n";
  drawnLines_ = static_cast<int>(files_.size());
  if (!status_.empty()) {
    std::string status = status_;
    if (columns_ > 1 && status.size() > static_cast<size_t>(columns_ - 1))
      status.resize(columns_ - 1);
    text += "\r" + status + "\x1b[K\n";
    ++drawnLines_;
  }
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
  drawn_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

void Progress::set_status(const std::string& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status == status_) return;
  // The status line stays once drawn (a line is never taken back).
  if (status.empty() && !status_.empty()) return;
  status_ = status;
  if (terminal_ && drawn_) draw_locked();
}

void Progress::close(int signal, const std::string& logPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_) draw_locked();
  std::fputs(summary_text(files_, signal, logPath).c_str(), out_);
  std::fflush(out_);
}

}  // namespace smstest
