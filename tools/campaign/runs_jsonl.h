// runs.jsonl, the structured log of a campaign: one JSON object per line and
// per run, in the order of campaign.csv.  Each object is the run's own
// record (SMS_TEST's run record, doc/run-record.schema.json) with the
// campaign's fields over it:
//
//   run, cmdFile, start, end   as in campaign.csv (run a number)
//   exitCode                   SMS_TEST's exit code, 128 + N for signal N
//   signal                     the signal that ended SMS_TEST, or the one it
//                              ended on itself; null when none
//   statusCode, statusText     as in campaign.csv: from the status file, or
//                              null and why it is missing
//   gps                        with --gps: the fix at the run's start and end
//                              (campaign_gps.h)
//
// A run that left no record (ended before it got past start-up, or killed)
// gets `recordMissing` (why) and, in place of the record, testName, mode and
// the five measures as campaign.csv has them (numbers, or null).
#pragma once

#include <string>
#include <vector>

#include "tools/campaign/campaign_log.h"
#include "tools/campaign/run_outcome.h"

namespace smstest {

// The name of the file in the campaign's folder.
extern const char kRunsJsonlName[];

// The five measures of a run record (its last line that is a JSON object)
// as the result line writes them: "%f" seconds, the accuracy as a whole
// number, "-Infinity" for a measure not taken.  False when `record` holds
// no readable record.
bool record_measures(const std::string& record, std::vector<std::string>& measures);

// The status-report columns of campaign.csv from a run record: for a run
// that asked for a report, confirmTime as "%f" seconds ("-Infinity" when no
// report came) and reportStatus (its TP-ST, "" when none came); both ""
// for a run that asked for none or has no readable record.
void record_report(const std::string& record, std::string& confirmTime, std::string& reportStatus);

// The radio columns of `line` from a run record (its last line that is a
// JSON object): the sending modem's snapshot before the send (technology,
// operator, RSRP or else RSSI) and registeredAtSend; left "" for what the
// record does not have.
void record_radio(const std::string& record, CampaignLine& line);

// The part columns of `line` from a run record: partsSent and
// partsReceived as whole numbers, left "" where the record has none (or
// null, or no whole number of at least 0).
void record_parts(const std::string& record, CampaignLine& line);

// The runs.jsonl line of a run, with its line end: `facts.record` merged
// with the campaign's fields from `line` and `facts`.
std::string runs_jsonl_line(const RunFacts& facts, const CampaignLine& line);

}  // namespace smstest
