// One run as the report sees it: what a result line or a campaign row says
// about one SMS_TEST run.  The readers (result_line.h, campaign_file.h) fill
// it; the KPI arithmetic (kpi.h) and the GeoJSON layer read it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace smstest {

// A measure of a run: seconds (a percentage for accuracy), or not taken.
// The tool writes "-Infinity" for a measure not taken; a campaign row may
// also leave the cell empty.
struct Measure {
  bool taken = false;
  double value = 0;
};

enum class RunMode { kRoundTrip, kReflector };

// A modem of a run record ("modems"): its port, whether it sent, and its
// identity as the run read it at open ("" where the record has null).
struct RunModem {
  int port = 0;
  bool sends = false;  // its roles hold "from"
  bool hasIdentity = false;
  std::string manufacturer, model, revision, imei, homeNetwork;
};

// The sending modem's radio conditions just before the send (its snapshot
// "at": "send"), as far as the record has them.
struct SendRadio {
  bool known = false;
  std::string technology;  // "" when not known
  std::string operatorCode;
  std::string lac, cellId;
  Measure rssiDbm, rscpDbm, ecnoDb, rsrqDb, rsrpDbm;
  // rsrpDbm when taken, else rssiDbm.
  Measure signalDbm() const { return rsrpDbm.taken ? rsrpDbm : rssiDbm; }
};

// Texts are the file's bytes, unconverted.
struct RunRecord {
  RunMode mode = RunMode::kRoundTrip;
  std::string testName;
  std::string latLong;   // valid only when hasLatLong
  std::string cmdFile;   // valid only when hasCmdFile (campaign rows)
  std::string dataTime;  // valid only when hasDataTime
  bool hasLatLong = false;
  bool hasCmdFile = false;
  bool hasDataTime = false;

  Measure sendTime;
  Measure deliveryTime;
  Measure replyTime;
  Measure totalTime;
  Measure accuracy;

  // The status column of a result line (0 or 2), when it reads as a number.
  bool hasResultStatus = false;
  int resultStatus = 0;

  // Campaign rows only: how the run ended.
  bool fromCampaign = false;
  bool hasStatusCode = false;
  int statusCode = 0;
  std::string statusText;
  bool hasExitCode = false;
  int exitCode = 0;
  bool hasStart = false;
  double startSeconds = 0;  // UTC seconds since 1970
  std::string run;          // the campaign's run column
  // Run records only: where the run failed (setup, open, send, receive,
  // check, reply, report-file), when the record says.
  bool hasFailurePhase = false;
  std::string failurePhase;

  // Run records only: the settings of the run as its record gives them.
  bool hasSettings = false;
  std::string commandSet;
  int fromPort = 0, fromBaud = 0, toPort = 0, toBaud = 0;
  std::string toNumber;
  // The network confirmed the send (the reading "sendConfirmed" is set);
  // without the field, sendTime says it.
  bool hasSendConfirmed = false;
  bool sendConfirmed = false;
  std::vector<RunModem> modems;
  SendRadio sendRadio;
  // Whether the sending modem was registered when the attempt was made;
  // not known when absent or null.
  bool hasRegisteredAtSend = false;
  bool registeredAtSend = false;
  // Delivery reports: whether one was asked for, its class ("delivered",
  // "failed-permanent", "failed-temporary", "missing"; "" when the record
  // has none), its final status (TP-ST), the time from the send to the
  // final report and the network's own delivery time.
  bool reportRequested = false;
  std::string reportClass;
  bool hasReportStatus = false;
  int reportStatus = 0;
  Measure confirmTime;
  Measure centreDelivery;
  // Concatenated messages: the parts the sender confirmed, the part count
  // the receiver read from the header, the distinct parts it took, those
  // found after a part of a higher sequence number, the duplicates it
  // dropped, and the seconds from the first part found to the last.  A
  // campaign row gives the first and the third only.
  bool hasPartsSent = false;
  int partsSent = 0;
  bool hasPartsExpected = false;
  int partsExpected = 0;
  bool hasPartsReceived = false;
  int partsReceived = 0;
  bool hasPartsOutOfOrder = false;
  int partsOutOfOrder = 0;
  bool hasPartsDuplicated = false;
  int partsDuplicated = 0;
  Measure partSpread;
  // The record names a concatenation reference: the message was to go in
  // parts, even when fewer than two went.
  bool hasConcatReference = false;
  // Whether the message went (or was to go) in more than one part.
  bool concatenated() const {
    return (hasPartsSent && partsSent > 1) || (hasPartsExpected && partsExpected > 1) ||
           hasConcatReference;
  }

  long long lineNumber = 0;  // line of the input, from 1
};

// A decimal number that covers the whole of `text` and is finite ("inf" and
// "nan" are refused).  False, leaving `value` alone, otherwise.
bool read_number(std::string_view text, double* value);

// A whole decimal integer that fits an int.
bool read_integer(std::string_view text, int* value);

// The largest measure read: about 31 years in seconds.  Anything above is
// no measure of an SMS, and a million of them still sum to a finite number.
constexpr double kMaxMeasure = 1e9;

// What is wrong with `text` as a measure: nullptr when it reads,
// "negative", "not finite or above 1e9" or "not a number".  "-Infinity"
// (and, when `emptyMeansNotTaken`, the empty text) is a measure not taken.
const char* measure_problem(std::string_view text, bool emptyMeansNotTaken);

// "-Infinity" (and, when `emptyMeansNotTaken`, the empty text) is a measure
// not taken; a number from 0 to kMaxMeasure is a measure taken.  False for
// anything else (measure_problem says why).
bool read_measure(std::string_view text, bool emptyMeansNotTaken, Measure* measure);

}  // namespace smstest
