#include <cstdio>
#include <memory>

#include "common/interrupt.h"
#include "common/text.h"
#include "driver/test_sequences.h"
#include "pdu/sms_deliver.h"

namespace smstest {

bool pick_up_message(TestRun& run, SmsSession& session, int timeoutSeconds, std::string& sender,
                     std::string& body, int64_t& foundAt) {
  if (!session.receive_sms(sender, body, foundAt, timeoutSeconds)) {
    fail_test(run.statusPath, run.result, session.last_error().c_str());
    return false;
  }
  run.result.notes.note_found(foundAt);
  std::fputs("New Message Found.\n", stderr);
  std::fputs("Deleting Message: ", stderr);
  std::fflush(stderr);
  // A failed delete neither stops the run nor shows in any report, unless
  // it failed because the run was interrupted.
  session.delete_messages();
  if (interrupt_signal() != 0) {
    fail_test(run.statusPath, run.result, interrupt_text().c_str());
    return false;
  }

  if (session.text_mode() == 0) {
    // Outside text mode the modem reports the message as an SMS-DELIVER PDU
    // in hex; the decoder's trace goes to this modem's debug log too.
    std::unique_ptr<SmsDeliver> message = decode_pdu(body.c_str(), session.debug_log());
    if (!message) {
      fail_test(run.statusPath, run.result, format("Cannot decode %s\n", body.c_str()).c_str());
      return false;
    }
    // A reply goes back with the originator's own type of address: an
    // international number (type of number 001) gets back the "+" that
    // address_text leaves out; national numbers and names stay as they are.
    sender = address_text(message->originator);
    if (((message->originator.type >> 4) & 0x07) == 0x01 && !sender.empty()) sender = "+" + sender;
    body = message->text.c_str();
  }
  run.result.notes.note_sender(sender);
  return true;
}

}  // namespace smstest
