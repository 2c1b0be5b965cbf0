// What a campaign shows while it runs and when it ends.  On a terminal one
// line per command file is redrawn in place (runs done of the total,
// succeeded, failed, median delivery time so far, estimated time left);
// elsewhere one plain line per finished run.  A summary closes either way.
//
// The texts are built by pure functions of the counts, so that they are
// tested without a terminal; Progress keeps the counts for the threads of
// the campaign and writes to its stream.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tools/campaign/campaign_log.h"

namespace smstest {

// The counts of one command file.
struct FileProgress {
  std::string name;  // the command file as given
  bool reflector = false;
  int total = 0;      // runs the campaign makes of it, earlier parts included
  int done = 0;       // runs with a line in campaign.csv
  int succeeded = 0;  // of them, with status code 0
  // Delivery times (reply times for a reflector) of the runs that measured one.
  std::vector<double> times;
  int doneNow = 0;  // runs finished since this part of the campaign started
};

// Adds a finished run's line to `file`.
void count_line(FileProgress& file, const CampaignLine& line);

// The median of `values`; NaN when there are none.
double median(std::vector<double> values);

// "0:45", "12:03", "1:02:03" for `seconds` (rounded up to whole seconds).
std::string clock_text(double seconds);

// The terminal line of `file` after `elapsed` seconds of this part of the
// campaign, at most `columns` characters (without line end), names padded
// to `nameWidth`.  Time left is the time per run so far, waiting for ports
// and pauses included, times the runs left; "?" before a run has finished.
std::string progress_line(const FileProgress& file, double elapsed, int nameWidth, int columns);

// The plain line of a finished run (without line end).
std::string run_line(const FileProgress& file, const CampaignLine& line);

// The closing summary, lines with line ends: the totals, then one line per
// command file.  `signal` is the signal that interrupted the campaign, 0
// when it ran to its end.
std::string summary_text(const std::vector<FileProgress>& files, int signal,
                         const std::string& logPath);

class Progress {
 public:
  // `terminal`: redraw lines in place on `out` instead of plain lines.
  Progress(std::vector<FileProgress> files, bool terminal, int columns, std::FILE* out);

  // A run of file `index` finished with `line`: counted, and in plain mode
  // its line written.
  void finished(size_t index, const CampaignLine& line);

  // Redraws the terminal lines when the last drawing is a second old
  // (nothing in plain mode).
  void redraw();

  // A line of state shown under the files' lines on a terminal, and after
  // each plain run line ("gps 45.501700;-73.567300 3D"); "" for none.
  void set_status(const std::string& status);

  // The last redraw, then the summary.
  void close(int signal, const std::string& logPath);

 private:
  void draw_locked();

  std::mutex mutex_;
  std::vector<FileProgress> files_;
  bool terminal_;
  int columns_;
  std::FILE* out_;
  int nameWidth_ = 0;
  bool drawn_ = false;
  std::string status_;
  int drawnLines_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace smstest
