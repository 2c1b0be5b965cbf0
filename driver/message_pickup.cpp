#include <cstdio>

#include "driver/test_sequences.h"

bool pick_up_message(TestRun& run, SmsModem& session, int timeoutSeconds, std::string& sender,
                     std::string& body, int64_t& foundAt) {
  if (!session.receive_sms(sender, body, foundAt, timeoutSeconds)) {
    fail_test(run.statusPath, run.result, session.lastError.c_str());
    return false;
  }
  std::fputs("New Message Found.\n", stderr);
  std::fputs("Deleting Message: ", stderr);
  std::fflush(stderr);
  // A failed delete neither stops the run nor shows in any report.
  session.delete_messages();
  return true;
}
