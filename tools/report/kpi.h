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
// Runs counted apart, outside every KPI above (E.804 leaves such samples
// out): `testSystemFailures` (failurePhase "setup": the test system failed
// before anything was offered to the network; any mode) and, of round
// trips, `notOffered` (registeredAtSend false: the sending modem was not
// registered, so the service was not offered).  Neither is an attempt.
//
// Delivery reports (`confirmations`), of the round trips that asked for
// one and that the network accepted (sendConfirmed): `failures` are those
// without a final report (reportClass "missing", or none recorded); a
// report of failed delivery is a confirmation received.  The SMS Receive
// Confirmation Failure Ratio is failures / accepted, with its interval; the
// SMS Receive Confirmation Time is the confirmTime distribution of the
// reports received; `centreDelivery` is the network's own delivery time
// (TP-DT - TP-SCTS); the reports' classes and final statuses with counts.
//
// Concatenated messages (`concatenated`), of the round trips in the KPIs
// whose message went in more than one part (partsSent or partsExpected
// above 1, or a concatenation reference recorded): at message level `attempts`, `accessFailures`
// (not every part taken by the network), `complete` (the message received whole and intact) and
// `incomplete` (sent, but not received whole and intact: a part missing at the deadline,
// "Incomplete message: ...", or a corrupted text), with the incomplete ratio and its interval; at
// part level, over the messages sent, the parts sent and received, `partsLost` (sent less received,
// per message), duplicated and out of order, with the part loss ratio (lost of sent) and its
// interval; the deliveryTime of the complete messages and their partSpread (first part found to
// last) as distributions.
//
// `completed` = accessible - completionFailures; `successRatePercent` =
// completed / attempts x 100 (the round trips that ended with the message
// received intact).  Each of the three ratios also comes as a RatioEstimate
// (confidence.h): its counts and its 95 % Clopper-Pearson interval.
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

#include "tools/report/binning.h"
#include "tools/report/confidence.h"
#include "tools/report/distribution.h"
#include "tools/report/run_record.h"

namespace smstest {

// The last three come from the run records' radio snapshot at the send and
// the sending modem's identity.
enum class GroupBy { kTestName, kLatLong, kCmdFile, kTechnology, kOperator, kModel };

// "testName", "latLong", "cmdFile", "technology", "operator", "model".
const char* group_by_name(GroupBy by);
// False for any other name.
bool read_group_by(const std::string& name, GroupBy* by);
// Whether the grouping needs run records (the radio and identity fields).
bool group_by_needs_records(GroupBy by);

// How one run counts.
enum class Outcome {
  kAccessFailure,      // round trip, sendTime not taken
  kCompletionFailure,  // round trip, sent but not received intact
  kCompleted,          // round trip, received intact
  kReply,              // reflector, replied
  kNoReply,            // reflector, no reply (campaign rows only)
  kTestSystemFailure,  // failurePhase "setup": outside every KPI
  kNotOffered,         // round trip made while the sender was not registered
};
Outcome classify(const RunRecord& run);
// "accessFailure", "completionFailure", "completed", "reply", "noReply",
// "testSystemFailure", "notOffered".
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
  long long completed = 0;
  std::optional<double> successRatePercent;
  RatioEstimate nonAccessibility;        // accessFailures of attempts
  RatioEstimate completionFailureRatio;  // completionFailures of accessible
  RatioEstimate successRate;             // completed of attempts
  Distribution accessDelay;
  Distribution deliveryTime;
  Distribution endToEndTime;
  long long notOffered = 0;
};

struct CountedText {
  std::string text;
  long long count = 0;
};

struct ConfirmationKpis {
  long long requested = 0;  // round trips that asked for a report
  long long accepted = 0;   // of those, sent (the denominator)
  long long failures = 0;   // of those, no final report
  std::optional<double> failureRatioPercent;
  RatioEstimate failureRatio;
  Distribution confirmTime;
  Distribution centreDelivery;
  // Of the accepted: reportClass ("none" when the record has none) and
  // reportStatus (as a number) with their counts, in ascending order.
  std::vector<CountedText> classes;
  std::vector<std::pair<int, long long>> statuses;
};

struct ConcatKpis {
  long long attempts = 0;
  long long accessFailures = 0;
  long long complete = 0;
  long long incomplete = 0;
  RatioEstimate incompleteRatio;  // incomplete of the messages sent
  long long partsSent = 0;
  long long partsReceived = 0;
  long long partsLost = 0;
  long long partsDuplicated = 0;
  long long partsOutOfOrder = 0;
  RatioEstimate partLossRatio;  // partsLost of partsSent
  Distribution deliveryTime;
  Distribution partSpread;
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
  long long testSystemFailures = 0;
  ConfirmationKpis confirmations;
  ConcatKpis concatenated;
  std::vector<FailureCause> failureCauses;  // most frequent first
  // For the charts: the sampled CDF of endToEndTime.
  std::vector<std::pair<double, double>> endToEndCdf;
};

// A round trip in reading order, for the per-run delivery chart.
struct RunPoint {
  double start;       // UTC seconds of a campaign run, NaN when not known
  float delivery;     // seconds, NaN when the run did not complete
  uint32_t sequence;  // reading order, for runs that start at the same time
  uint32_t group;     // index into Result::groups
  float signal;       // the sender's signalDbm at the send, NaN when not known
};

// A run with a position, for the track map.
struct PositionPoint {
  double start;  // UTC seconds of a campaign run, NaN when not known
  double latitude;
  double longitude;
  Outcome outcome;
  uint32_t sequence;  // reading order
};

// The delivery-time histogram: bins from all completed round trips pooled
// (bin_edges), counted for all and for each group (index as Result::groups).
struct DeliveryBins {
  Binning binning;
  std::vector<size_t> all;
  std::vector<std::vector<size_t>> groups;
};

// What the page's head says about the runs: the period (first and last
// campaign start), the places (latLong texts) and the command files, each
// with its run count, in ascending byte order; at most kSetupEntries of
// each (`placesCapped`, `cmdFilesCapped` say that more were left out).
constexpr size_t kSetupEntries = 50;
// A modem of the runs as its identity says (the IMEI masked to its last
// four digits), with the runs it took part in.
struct ModemEntry {
  int port = 0;
  std::string manufacturer, model, revision, imei, homeNetwork;
  long long runs = 0;
};
struct RunsSetup {
  bool hasPeriod = false;
  double firstStart = 0;
  double lastStart = 0;
  std::map<std::string, long long, std::less<>> places;
  std::map<std::string, long long, std::less<>> cmdFiles;
  bool placesCapped = false;
  bool cmdFilesCapped = false;
  std::map<std::string, ModemEntry, std::less<>> modems;  // keyed by port and identity
  bool modemsCapped = false;
};

struct ChartData {
  DeliveryBins deliveryBins;
  // Round trips ordered by campaign start time; runs without one (result
  // lines) come first, in reading order.
  std::vector<RunPoint> runs;
  // Runs whose latLong reads as a position, ordered like `runs`.
  std::vector<PositionPoint> positions;
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
    RunsSetup setup;
  };
  Result finish();

 private:
  struct Group {
    uint32_t id = 0;  // order of creation
    long long runs = 0;
    long long attempts = 0;
    long long accessFailures = 0;
    long long completionFailures = 0;
    long long replies = 0;
    long long testSystemFailures = 0;
    long long notOffered = 0;
    long long reportsRequested = 0;
    long long reportsAccepted = 0;
    long long reportFailures = 0;
    std::vector<double> accessDelay, deliveryTime, endToEndTime, replyTime;
    std::vector<double> confirmTime, centreDelivery;
    // Concatenated messages (ConcatKpis).
    long long concatAttempts = 0;
    long long concatAccessFailures = 0;
    long long concatComplete = 0;
    long long partsSent = 0;
    long long partsReceived = 0;
    long long partsLost = 0;
    long long partsDuplicated = 0;
    long long partsOutOfOrder = 0;
    std::vector<double> concatDelivery, partSpread;
    std::map<std::string, long long> causes;
    std::map<std::string, long long> reportClasses;
    std::map<int, long long> reportStatuses;
  };
  Group& group_of(const RunRecord& run);
  static void add_to(Group* group, const RunRecord& run, Outcome outcome);
  static void add_report(Group* group, const RunRecord& run, Outcome outcome);
  static void add_parts(Group* group, const RunRecord& run, Outcome outcome);
  void add_modems(const RunRecord& run);
  GroupReport report_of(const std::string& key, Group* group);
  void finish_charts(const std::vector<double>& sortedDelivery,
                     const std::vector<uint32_t>& indexOfId, size_t groupCount, ChartData* charts);

  GroupBy by_;
  bool keepCharts_;
  std::map<std::string, Group, std::less<>> groups_;
  Group* last_ = nullptr;
  std::string lastKey_;
  std::vector<RunPoint> runs_;
  std::vector<PositionPoint> positions_;
  RunsSetup setup_;
};

}  // namespace smstest
