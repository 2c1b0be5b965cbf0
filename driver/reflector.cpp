#include <cstdio>

#include "common/clock.h"
#include "common/text.h"
#include "driver/measures.h"
#include "driver/test_sequences.h"

namespace smstest {

int run_reflector(TestRun& run, SmsSession& session) {
  SmsTestResult& result = run.result;
  std::string sender;
  std::string body;
  int64_t foundAt = 0;
  // Nothing has been sent yet, so the whole test time is the receive's.
  if (!pick_up_message(run, session, run.params.testTimeout, sender, body, foundAt)) return 2;

  int64_t clock = 0;
  now_seconds(run.clock, clock);
  // Only the clock's low 32 bits enter the reply, as a signed number.
  const int32_t clock32 = static_cast<int32_t>(static_cast<uint32_t>(clock));
  const std::string reply = format("rEfLeCt%iT%s", clock32, body.c_str());
  std::fputs("Replying back to sender...\n", stderr);
  std::fflush(stderr);

  int64_t sendStart = 0;
  int64_t sendEnd = 0;
  // A negative time-out: the reply counts as sent only when the first
  // response after the command confirms it.
  if (!session.send_sms(sender.c_str(), reply.c_str(), sendStart, sendEnd, -1)) {
    fail_test(run.statusPath, result, "Cannot send SMS\n");
    return 2;
  }
  int64_t endReading = 0;
  if (!run.clock.read_performance_counter(endReading)) {
    fail_test(run.statusPath, result, "Cannot use performance counter on this PC\n");
    return 2;
  }
  const int64_t frequency = result.counterFrequency;
  result.totalTime = format("%f", elapsed_seconds(run.runStartReading, endReading, frequency));
  result.sendTime = format("%f", elapsed_seconds(sendStart, sendEnd, frequency));
  result.replyTime = format("%f", elapsed_seconds(foundAt, sendEnd, frequency));
  result.write_result();
  write_status(run.statusPath.c_str(), "SUCCESS", 0);
  std::fputs("Reply Successful\n", stderr);
  std::fflush(stderr);
  session.close_port();
  return 0;
}

}  // namespace smstest
