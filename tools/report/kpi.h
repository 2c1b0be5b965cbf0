// The SMS service KPIs of a set of runs, per group and for all runs:
//
// Round trips.  `attempts`: round-trip runs.  `accessFailures`: those whose
// sendTime was not taken; `nonAccessibilityPercent` = accessFailures /
// attempts x 100 (SMS service non-accessibility).  `accessible` = attempts -
// accessFailures.  `completionFailures`: accessible runs whose deliveryTime
// was not taken or whose accuracy is not 100 (a corrupted message does not
// count as received); `completionFailureRatioPercent` = completionFailures /
// accessible x 100.  Distributions: `accessDelay` (sendTime of accessible
// runs), `deliveryTime` and `endToEndTime` (sendTime + deliveryTime) of
// completed runs.
//
// Reflector.  `replies` (reflector runs whose replyTime was taken) and the
// `replyTime` distribution.
//
// With campaign rows also `failureCauses`: the status texts of the runs
// that did not end with status 0, with their counts.
//
// A ratio with a zero denominator has no value.  ReportBuilder keeps one
// value per measure taken and nothing else per run (apart from the run
// series of the delivery chart, when asked for), so its memory grows only
// with the measures kept.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/report/distribution.h"
#include "tools/report/run_record.h"

namespace smstest {

enum class GroupBy { kTestName, kLatLong, kCmdFile };

// "testName", "latLong", "cmdFile".
const char* group_by_name(GroupBy by);
// False for any other name.
bool read_group_by(const std::string& name, GroupBy* by);

// How one run counts.
enum class Outcome {
  kAccessFailure,      // round trip, sendTime not taken
  kCompletionFailure,  // round trip, sent but not received intact
  kCompleted,          // round trip, received intact
  kReply,              // reflector, replied
  kNoReply,            // reflector, no reply (campaign rows only)
};
Outcome classify(const RunRecord& run);
// "accessFailure", "completionFailure", "completed", "reply", "noReply".
const char* outcome_name(Outcome outcome);

// Whether a campaign row counts as failed, and the text it is counted under.
bool run_failed(const RunRecord& run);
std::string failure_cause(const RunRecord& run);

struct RoundTripKpis {
  long long attempts = 0;
  long long accessFailures = 0;
  long long accessible = 0;
  long long completionFailures = 0;
  std::optional<double> nonAccessibilityPercent;
  std::optional<double> completionFailureRatioPercent;
  Distribution accessDelay;
  Distribution deliveryTime;
  Distribution endToEndTime;
};

struct ReflectorKpis {
  long long replies = 0;
  Distribution replyTime;
};

struct FailureCause {
  std::string text;  // the file's bytes
  long long count = 0;
};

struct GroupReport {
  std::string key;  // the file's bytes; empty for "all"
  long long runs = 0;
  RoundTripKpis roundTrips;
  ReflectorKpis reflector;
  std::vector<FailureCause> failureCauses;  // most frequent first
  // For the charts: the sampled CDF of endToEndTime.
  std::vector<std::pair<double, double>> endToEndCdf;
};

// A round trip in reading order, for the per-run delivery chart.
struct RunPoint {
  double start;       // UTC seconds of a campaign run, NaN when not known
  float delivery;     // seconds, NaN when the run did not complete
  uint32_t sequence;  // reading order, for runs that start at the same time
};

struct ChartData {
  Histogram deliveryHistogram;
  // Round trips ordered by campaign start time; runs without one (result
  // lines) come first, in reading order.
  std::vector<RunPoint> runs;
};

class ReportBuilder {
 public:
  // `keepCharts`: also keep what the charts need (one point per round trip).
  ReportBuilder(GroupBy by, bool keepCharts);

  void add(const RunRecord& run);

  // The KPIs of everything added, groups in ascending byte order of their
  // keys.  The builder is empty afterwards.
  struct Result {
    GroupReport all;
    std::vector<GroupReport> groups;
    ChartData charts;
  };
  Result finish();

 private:
  struct Group {
    long long runs = 0;
    long long attempts = 0;
    long long accessFailures = 0;
    long long completionFailures = 0;
    long long replies = 0;
    std::vector<double> accessDelay, deliveryTime, endToEndTime, replyTime;
    std::map<std::string, long long> causes;
  };
  Group& group_of(const RunRecord& run);
  static void add_to(Group* group, const RunRecord& run, Outcome outcome);
  GroupReport report_of(const std::string& key, Group* group);

  GroupBy by_;
  bool keepCharts_;
  std::map<std::string, Group, std::less<>> groups_;
  Group* last_ = nullptr;
  std::string lastKey_;
  std::vector<RunPoint> runs_;
};

}  // namespace smstest
