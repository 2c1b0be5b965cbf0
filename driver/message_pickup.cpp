#include <cstdio>

#include "common/interrupt.h"
#include "driver/test_sequences.h"

namespace smstest {

bool pick_up_message(TestRun& run, SmsSession& session, int timeoutSeconds,
                     ReceivedMessage& message) {
  if (!session.receive(message, timeoutSeconds)) {
    fail_test(run.statusPath, run.result, session.last_error().c_str());
    return false;
  }
  run.result.notes.note_found(message.foundAt);
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
  // Decoded after the delete: a decoder's complaint follows it in the logs.
  if (!session.decode(message)) {
    fail_test(run.statusPath, run.result, session.last_error().c_str());
    return false;
  }
  run.result.notes.note_sender(message.sender);
  return true;
}

}  // namespace smstest
