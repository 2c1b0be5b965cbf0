// The two test sequences a run hands over to once its modems are open.
//
// Round trip: send messageText (which begins with the time marker) from the
// from-session to toNumber, pick the message up on the to-session, check the
// received text and report send time, delivery time, accuracy and total time.
// Reflector: pick up one incoming message and answer its sender with
// "rEfLeCt<clock>T<body>", reporting the reply's times.
// Both return the exit code: 0 when the sequence ran to its end, 2 after a
// failure reported through fail_test.
#pragma once

#include <cstdint>
#include <string>

#include "common/clock.h"
#include "driver/command_file.h"
#include "driver/test_result.h"
#include "modem/sms_modem.h"
#include "modem/sms_session.h"

namespace smstest {

class RunRadio;

struct TestRun {
  SmsTestParams& params;
  SmsTestResult& result;
  std::string statusPath;
  std::string timeMarker;
  int64_t runStartReading = 0;
  Clock& clock;             // the run's counter and calendar readings
  bool report = false;      // report=1: the sends ask for status reports
  bool waitReport = false;  // wait=report: the round trip ends on the report
  // The radio snapshots before the send and when the message is found
  // (radio_conditions.h); null: none.  A delivery report's snapshot is
  // radio->take(session, "report") where the report is taken.
  RunRadio* radio = nullptr;
  // A text longer than one message (pdu command set): the size of the
  // concatenation reference and the most parts (options reference=,
  // maxParts=).
  int referenceBits = 8;
  int maxParts = 10;
  // The reflector refuses a reply that quotable_text refuses: the
  // proprietary set carries it in a quoted argument of its command line,
  // text mode as typed characters.  PDU mode sends hex, which no character
  // of the text can break: off there.
  bool checkReplyText = true;
};

// A radio snapshot of `session`'s modem tagged `at`, when the run takes them.
void take_radio(TestRun& run, SmsSession& session, const char* at);

int run_round_trip(TestRun& run, SmsSession& from, SmsSession& to);
int run_reflector(TestRun& run, SmsSession& session);

// The message pickup both sequences share: waits on `session` for up to
// `timeoutSeconds`, announces the message, deletes it (the outcome is not
// looked at), then has the session decode it (SmsSession::decode) and hands
// it back.  A part of a concatenated message (message_parts.h) is put aside
// and the pickup goes on taking messages, each deleted and decoded in turn,
// until the message is complete; it hands back the whole text, found when
// its last part was.  Parts still missing when the time is up fail the run
// with "Incomplete message: %d of %d parts\n".  The parts go into the run's
// notes.  On failure reports through fail_test and returns false.
bool pick_up_message(TestRun& run, SmsSession& session, int timeoutSeconds,
                     ReceivedMessage& message);

// The final status reports of a message sent in one or more parts, one a
// part (by its message reference): the message is delivered once every part
// is, and the first part whose final report is a failure fails it.
class PartReports {
 public:
  explicit PartReports(const SendReceipt& receipt);
  // Whether a part with message reference `reference` still waits for its
  // final report.
  bool waits_for(int reference) const;
  // Takes the final report of class `reportClass` (final_report_class) on
  // `reference`; true when the message's outcome is known: a failure, or
  // the last part delivered.
  bool take_final(int reference, const std::string& reportClass);
  size_t waiting() const { return waiting_.size(); }

 private:
  std::vector<int> waiting_;
};

// Waits on `from` until the test deadline for the final status reports on
// the parts of `receipt` sent to `number` and notes the message's in the
// run's notes (RunNotes: report fields; "missing" when a part's did not
// come): the first failed part's report, else the last part's report to
// come.  Reports of other messages are left to the session to note;
// temporary statuses are noted and the wait goes on.  Returns the class
// noted.
std::string wait_for_report(TestRun& run, SmsSession& from, const SendReceipt& receipt,
                            const std::string& number);

// The class of a final TP-ST: "delivered" (0-31), "failed-permanent"
// (64-95 and from 128), "failed-temporary" (96-127); "" for a temporary one
// (32-63).
const char* final_report_class(int status);

// Whole seconds of `seconds`, truncated toward zero and kept inside the int
// range.
int whole_seconds(double seconds);

// True for a number the reflector may dial: an optional "+" and 1 to 20
// digits (is_phone_number).  The sender of a received message comes from
// the network.
bool dialable_number(const std::string& number);

// True when `text` can stand between the double quotes of a send command:
// no double quote, CR, LF, Ctrl-Z, ESC or NUL, each of which would end or
// break the quoted argument.
bool quotable_text(const std::string& text);

}  // namespace smstest
