// What the benchmarks read back after runs of SMS_TEST against modem_sim:
// the simulator's records (DIR/network.log and DIR/<port>.traffic.log, in
// seconds since the simulator was ready), the tool's result lines, and
// summary statistics of a set of measurements.  Used by sms_bench.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/text.h"

namespace smstest {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// One line of network.log: "SECONDS EVENT PORT FROM TO REF DELAY TEXT".
struct NetworkEvent {
  double at = kNoValue;
  std::string event;  // sent, delivered, lost, outside, injected
  std::string port;
  std::string from;
  std::string to;
  std::string ref;
  double delay = kNoValue;  // "delivered" only: seconds since "sent"
  std::string text;         // escaped as the record writes it
};

// One line of a traffic record: "SECONDS KIND DATA", DATA escaped and absent
// for "open", "close" and "hangup".
struct TrafficEvent {
  double at = kNoValue;
  std::string kind;  // open, close, cmd, out, drop, hangup
  std::string data;
};

// False for a line that does not have the record's form.
bool parse_network_line(const std::string& line, NetworkEvent& event);
bool parse_traffic_line(const std::string& line, TrafficEvent& event);

// Every well-formed line of a whole record file; other lines are skipped.
std::vector<NetworkEvent> parse_network_log(const std::string& content);
std::vector<TrafficEvent> parse_traffic_log(const std::string& content);

// One round trip as the simulator saw it, in seconds of its records.  The
// tool takes `sendEnd` right before it writes its first poll and `foundAt`
// right before it writes the delete command, so the arrival of those two
// commands stands for the tool's own readings, within the time one write
// takes through a pseudo-terminal.  In text mode the send is the text
// after AT+CMGS's prompt (with its Ctrl-Z), the first poll the receive's
// first command, and the delete the AT+CMGR that reads the message, which
// follows `foundAt` at once.  In PDU mode the same, the send being the last
// text entry before the "sent" record (the marker is hidden in its hex).
struct RoundTripTrace {
  double commandAt = kNoValue;     // the send command arrived at the sending modem
  double confirmedAt = kNoValue;   // its confirmation was written ("sent")
  double storedAt = kNoValue;      // stored on the receiving modem ("delivered")
  double trueDelivery = kNoValue;  // the delay that "delivered" records
  double firstPollAt = kNoValue;   // first "AT!GSMS?2,0" after the confirmation
  double foundPollAt = kNoValue;   // the poll whose answer carried the message
  double deleteAt = kNoValue;      // the "AT!DSMS=3,0" that followed it

  // Confirmation written until the tool's first poll: the lag of `sendEnd`.
  double confirm_lag() const { return firstPollAt - confirmedAt; }
  // Message stored until the tool's delete: the lag of `foundAt`.
  double pickup_lag() const { return deleteAt - storedAt; }
  // Confirmation written until the command arrived.
  double true_confirmation() const { return confirmedAt - commandAt; }
};

// Finds the round trip whose message text contains `marker` (unique per
// run) in the records of the sending and the receiving modem (the same
// record when one modem does both).  False, with the missing piece named in
// `error`, when the records don't show the whole round trip.
//
// A message sent in `parts` parts (concatenated) carries the marker in its
// first part only: the others are the next "sent" records of the same port,
// their deliveries are found by sender and reference, and the trace runs
// from the first part's send command to the last part's confirmation, and
// from there to the last delivery (when the message was complete).
bool trace_round_trip(const std::vector<NetworkEvent>& network,
                      const std::vector<TrafficEvent>& fromTraffic,
                      const std::vector<TrafficEvent>& toTraffic, const std::string& marker,
                      RoundTripTrace& trace, std::string& error, int parts = 1);

// The final status report of the message whose text contains `marker`, as
// the simulator handled it: the network's last "report" record with the
// "sent" record's port and reference (temporary reports come before the
// final one), and the first line with "+CDS" (a "+CDS:" report or a "+CDSI:"
// announcement) written to the sending modem at or after it, which is the
// moment the tool can read it.
struct ReportTrace {
  double reportAt = kNoValue;   // the "report" record
  double writtenAt = kNoValue;  // its line written to the sending modem
  int status = -1;              // the record's status=N
};

// False, with the missing piece named in `error`, when the records don't
// show the message's final report and its line.
bool trace_final_report(const std::vector<NetworkEvent>& network,
                        const std::vector<TrafficEvent>& fromTraffic, const std::string& marker,
                        ReportTrace& trace, std::string& error);

// The fields of a run record (one JSON line that SMS_TEST appends with
// record=FILE) that the report benchmark uses; NaN and -1 for null or absent.
struct RecordReport {
  std::string testName;
  std::string dataTime;
  bool reportRequested = false;
  bool reportReceived = false;  // reportReceived is a time, not null
  double confirmTime = kNoValue;
  int reportStatus = -1;
  std::string reportClass;
};

// False when `line` is not a JSON object with testName and dataTime, or a
// field has the wrong type.
bool parse_record_report(const std::string& line, RecordReport& record);

// The columns of one result line that the benchmarks use.  Times are NaN
// for "-Infinity".
struct ResultTimes {
  std::string name;
  std::string dataTime;
  int status = -1;
  double sendTime = kNoValue;
  double deliveryTime = kNoValue;
  double totalTime = kNoValue;
  std::string accuracy;
};

// True when `line` (with or without its line end) is a whole result line
// of record type 1 (read_result_line, columns after the pass figure
// ignored) as SMS_TEST writes it: status 0 or 2, each time "-Infinity" or a
// number written with six decimals, the accuracy a whole number.
bool parse_result_line(const std::string& line, ResultTimes& result);

// The result lines of a whole result file, and how many lines did not parse
// (a line cut short, two lines run together, a last line without its line
// end).  Lines of other record types are neither.
struct ResultFile {
  std::vector<ResultTimes> lines;
  int broken = 0;
};
ResultFile parse_result_file(const std::string& content);

// Mean, median, 95th percentile, minimum and maximum of a set of values;
// percentiles by linear interpolation between the closest ranks.  NaN values
// are left out; all fields are NaN when no value is left.
struct Summary {
  size_t count = 0;
  double mean = kNoValue;
  double median = kNoValue;
  double p95 = kNoValue;
  double min = kNoValue;
  double max = kNoValue;
};
Summary summarize(std::vector<double> values);

// The `p`-th quantile (0..1) of `sorted` (ascending, no NaN); NaN when empty.
double quantile(const std::vector<double>& sorted, double p);

}  // namespace smstest
