// The wait for a status report at the end of a round trip (report=1) or as
// its end (wait=report).
#include <algorithm>
#include <cstdio>

#include "common/text.h"
#include "driver/measures.h"
#include "driver/test_sequences.h"
#include "modem/status_reports.h"

namespace smstest {

const char* final_report_class(int status) {
  if (status >= 0 && status <= 31) return "delivered";
  if (status >= 32 && status <= 63) return "";
  if (status >= 96 && status <= 127) return "failed-temporary";
  return "failed-permanent";
}

PartReports::PartReports(const SendReceipt& receipt) {
  for (const PartReceipt& part : receipt.parts) {
    if (part.reference >= 0 && !waits_for(part.reference)) waiting_.push_back(part.reference);
  }
}

bool PartReports::waits_for(int reference) const {
  return std::find(waiting_.begin(), waiting_.end(), reference) != waiting_.end();
}

bool PartReports::take_final(int reference, const std::string& reportClass) {
  const auto it = std::find(waiting_.begin(), waiting_.end(), reference);
  if (it == waiting_.end()) return false;
  waiting_.erase(it);
  return reportClass != "delivered" || waiting_.empty();
}

std::string wait_for_report(TestRun& run, SmsSession& from, const SendReceipt& receipt,
                            const std::string& number) {
  RunNotes& notes = run.result.notes;
  notes.reportRequested = true;
  notes.reportClass = "missing";
  // The test deadline on the session's counter: what is left of the test
  // time since the run started.
  int64_t now = 0;
  if (!run.clock.read_performance_counter(now)) return notes.reportClass;
  const double spent = elapsed_seconds(run.runStartReading, now, run.result.counterFrequency);
  const int64_t leftMs = static_cast<int64_t>((run.params.testTimeout - spent) * 1000);
  if (leftMs <= 0) return notes.reportClass;
  const int64_t untilMs = from.now_ms() + leftMs;
  PartReports parts(receipt);
  auto ours = [&parts, &number](const StatusReport& report) {
    return same_recipient(report.recipient, number) && parts.waits_for(report.reference);
  };
  for (;;) {
    StatusReport report;
    bool got = false;
    if (!from.next_report(ours, report, untilMs, got) || !got) return notes.reportClass;
    const char* reportClass = final_report_class(report.status);
    if (*reportClass == '\0') {
      notes.reportTemporary.push_back(report.status);
      continue;
    }
    // A part delivered while others still wait: the message is not yet.
    if (!parts.take_final(report.reference, reportClass)) continue;
    notes.hasReport = true;
    notes.reportReceived = report.arrivedAt;
    notes.reportStatus = report.status;
    notes.reportClass = reportClass;
    notes.hasCentreDelivery = report.hasCentreTimes;
    notes.centreDelivery = report.centreSeconds;
    notes.reportVia = report.via;
    // The sending modem's radio when its final report came.
    take_radio(run, from, "report");
    return notes.reportClass;
  }
}

}  // namespace smstest
