#include <cstdio>

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "driver/measures.h"
#include "driver/test_sequences.h"
#include "pdu/pdu_encode.h"
#include "pdu/phone_number.h"

namespace smstest {

bool dialable_number(const std::string& number) {
  return is_phone_number(number, kMaxNumberDigits);
}

bool quotable_text(const std::string& text) {
  return text.find_first_of(std::string("\"\r\n\x1a\x1b\0", 6)) == std::string::npos;
}

int run_reflector(TestRun& run, SmsSession& session) {
  SmsTestResult& result = run.result;
  ReceivedMessage message;
  // Nothing has been sent yet, so the whole test time is the receive's.
  result.notes.phase = RunPhase::kReceive;
  if (!pick_up_message(run, session, run.params.testTimeout, message)) return 2;
  take_radio(run, session, "found");
  result.notes.phase = RunPhase::kReply;
  const std::string& sender = message.sender;

  int64_t clock = 0;
  now_seconds(run.clock, clock);
  // Only the clock's low 32 bits enter the reply, as a signed number.
  const int32_t clock32 = static_cast<int32_t>(static_cast<uint32_t>(clock));
  const std::string reply = format("rEfLeCt%iT%s", clock32, message.text.c_str());
  // Sender and body come from the network and go into the command line: a
  // sender that is no number, or a text that would end the quoted argument,
  // could make the modem run commands of someone else's choosing.
  if (!dialable_number(sender)) {
    fail_test(run.statusPath, result, "Refusing to reply: sender is not a phone number\n");
    return 2;
  }
  if (run.checkReplyText && !quotable_text(reply)) {
    fail_test(run.statusPath, result,
              "Refusing to reply: message holds control characters or quotes\n");
    return 2;
  }
  result.notes.hasReplyText = true;
  result.notes.replyText = reply;
  std::fputs("Replying back to sender...\n", stderr);
  std::fflush(stderr);

  take_radio(run, session, "send");
  SendReceipt receipt;
  // A negative time-out: the reply counts as sent only when the first
  // response after the command confirms it.
  // A reply longer than one message goes in parts, as any send.
  OutgoingMessage outgoing{sender, reply, run.report};
  outgoing.referenceBits = run.referenceBits;
  outgoing.maxParts = run.maxParts;
  const bool sent = session.send(outgoing, receipt, -1);
  result.notes.note_parts_sent(receipt);
  if (!sent) {
    fail_test(run.statusPath, result,
              interrupt_signal() != 0 ? interrupt_text().c_str() : "Cannot send SMS\n");
    return 2;
  }
  result.notes.note_send(receipt.sendStart, receipt.sendEnd);
  result.notes.note_reply(receipt.sendEnd);
  int64_t endReading = 0;
  if (!run.clock.read_performance_counter(endReading)) {
    fail_test(run.statusPath, result, "Cannot use performance counter on this PC\n");
    return 2;
  }
  const int64_t frequency = result.counterFrequency;
  result.totalTime = format("%f", elapsed_seconds(run.runStartReading, endReading, frequency));
  result.sendTime = format("%f", elapsed_seconds(receipt.sendStart, receipt.sendEnd, frequency));
  result.replyTime = format("%f", elapsed_seconds(message.foundAt, receipt.sendEnd, frequency));
  result.write_result();
  const FileWrite status = write_status_file(run.statusPath.c_str(), "SUCCESS", 0);
  result.notes.note_status(0, "SUCCESS", status);
  std::fputs("Reply Successful\n", stderr);
  std::fflush(stderr);
  if (run.report) {
    // report=1: the reply's status report, for the run record only; the
    // run has ended well whatever it says.
    wait_for_report(run, session, receipt, sender);
    session.restore_settings();
  }
  session.close_port();
  // Without its status file the caller can't tell how the run ended.
  return status == FileWrite::kIncomplete ? 2 : 0;
}

}  // namespace smstest
