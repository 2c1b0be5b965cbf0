#include <climits>
#include <cstdio>

#include "common/clock.h"
#include "common/text.h"
#include "driver/measures.h"
#include "driver/test_sequences.h"

namespace smstest {

namespace {

void say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

// wait=report: the run ends on the final status report of the message sent
// to toNumber.  The delivery time is the report's arrival after the send's
// confirmation; no text is checked.
int end_on_report(TestRun& run, SmsSession& from, const SendReceipt& receipt) {
  SmsTestResult& result = run.result;
  say("Waiting for the delivery report: ");
  result.notes.phase = RunPhase::kReceive;
  const std::string reportClass = wait_for_report(run, from, receipt, run.params.toNumber);
  from.restore_settings();
  const RunNotes& notes = result.notes;
  if (!notes.hasReport) {
    fail_test(run.statusPath, result, "No delivery report");
    return 2;
  }
  if (reportClass != "delivered") {
    fail_test(
        run.statusPath, result,
        format("Delivery report: %s (status %d)", reportClass.c_str(), notes.reportStatus).c_str());
    return 2;
  }
  bool early = false;
  result.deliveryTime = format("%f", delivery_seconds(receipt.sendEnd, notes.reportReceived,
                                                      result.counterFrequency, early));
  say(format("OK - %s (status %d)\n", reportClass.c_str(), notes.reportStatus));
  int64_t endReading = 0;
  if (!run.clock.read_performance_counter(endReading)) {
    fail_test(run.statusPath, result, "Cannot use performance counter on this PC\n");
    return 2;
  }
  result.notes.phase = RunPhase::kCheck;
  result.totalTime =
      format("%f", elapsed_seconds(run.runStartReading, endReading, result.counterFrequency));
  result.write_result();
  const FileWrite status = write_status_file(run.statusPath.c_str(), "SUCCESS", 0);
  result.notes.note_status(0, "SUCCESS", status);
  return status == FileWrite::kIncomplete ? 2 : 0;
}

}  // namespace

int whole_seconds(double seconds) {
  if (!(seconds > INT_MIN)) return INT_MIN;  // NaN lands here too
  if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(seconds);
}

int run_round_trip(TestRun& run, SmsSession& from, SmsSession& to) {
  SmsTestParams& params = run.params;
  SmsTestResult& result = run.result;

  take_radio(run, from, "send");
  say("Sending SMS: ");
  SendReceipt receipt;
  result.notes.phase = RunPhase::kSend;
  const bool report = run.report || run.waitReport;
  OutgoingMessage outgoing{params.toNumber, params.messageText, report};
  outgoing.referenceBits = run.referenceBits;
  outgoing.maxParts = run.maxParts;
  const bool sent = from.send(outgoing, receipt, params.testTimeout);
  result.notes.note_parts_sent(receipt);
  if (!sent) {
    fail_test(run.statusPath, result, from.last_error().c_str());
    return 2;
  }
  // From the first part's send start to the last part's confirmation.
  result.notes.note_send(receipt.sendStart, receipt.sendEnd);
  const double sendSeconds =
      elapsed_seconds(receipt.sendStart, receipt.sendEnd, result.counterFrequency);
  result.sendTime = format("%f", sendSeconds);
  say("OK.\n");
  if (run.waitReport) return end_on_report(run, from, receipt);
  // Until a part is found, none has been.
  result.notes.noPartReceived = receipt.concatReference >= 0;

  // The receive gets what is left of the test time after the send.
  long long left = static_cast<long long>(params.testTimeout) - whole_seconds(sendSeconds);
  int receiveTimeout = static_cast<int>(left < INT_MIN ? INT_MIN : left > INT_MAX ? INT_MAX : left);
  // While the receiver waits, what the sending modem sends (a status
  // report, say) is read and timed as it comes.
  if (&from != &to) to.watch_also(&from);
  ReceivedMessage message;
  result.notes.phase = RunPhase::kReceive;
  const bool picked = pick_up_message(run, to, receiveTimeout, message);
  to.watch_also(nullptr);
  if (!picked) return 2;
  take_radio(run, to, "found");
  if (report) {
    // The report comes to the sending modem; a missing one is noted in the
    // run record and fails nothing.
    wait_for_report(run, from, receipt, params.toNumber);
    from.restore_settings();
  }
  result.notes.phase = RunPhase::kCheck;

  // From here on the check needs no modem.
  to.close_port();
  const std::string trimmed = trim_text(message.text);
  int marker = find_text(trimmed.c_str(), run.timeMarker.c_str());
  if (marker < 0) {
    fail_test(run.statusPath, result, "Bad SMS message\n");
    return 2;
  }
  // The received text runs from the marker to the first carriage return.
  const std::string received = get_field(trimmed.c_str() + marker, 0, '\r');
  say(format("OK - %s\n", received.c_str()));

  if (find_text(received.c_str(), params.messageText.c_str()) >= 0) {
    result.accuracy = "100";
  } else {
    result.accuracy = format("%d", match_percent(params.messageText, received));
  }
  bool early = false;
  result.deliveryTime = format(
      "%f", delivery_seconds(receipt.sendEnd, message.foundAt, result.counterFrequency, early));
  if (early) {
    result.deliveredBeforeConfirmation = true;
    say(format("The message was found %f s before its send was confirmed: delivery time 0\n",
               elapsed_seconds(message.foundAt, receipt.sendEnd, result.counterFrequency)));
  }

  int64_t endReading = 0;
  if (!run.clock.read_performance_counter(endReading)) {
    fail_test(run.statusPath, result, "Cannot use performance counter on this PC\n");
    return 2;
  }
  FileWrite status;
  if (result.accuracy == "100") {
    result.totalTime =
        format("%f", elapsed_seconds(run.runStartReading, endReading, result.counterFrequency));
    result.write_result();
    status = write_status_file(run.statusPath.c_str(), "SUCCESS", 0);
    result.notes.note_status(0, "SUCCESS", status);
  } else {
    result.write_result();
    status = write_status_file(run.statusPath.c_str(), "Accuracy not 100", 2);
    result.notes.note_status(2, "Accuracy not 100", status);
  }
  // Without its status file the caller can't tell how the run ended.
  return status == FileWrite::kIncomplete ? 2 : 0;
}

}  // namespace smstest
