// What a run notes down as it goes, beyond the five measures of its result
// line, for its run record (run_record.h): the step under way, the counter
// readings of its events, how its status file and result line went.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/platform.h"
#include "modem/sms_records.h"

namespace smstest {

// The steps of a run.  A run that fails, fails in the step under way.
// kSetup is a failure of the test system before anything was offered to the
// network: a start-up refusal (command file, arguments), a port that does not
// open, a modem that does not answer the handshake.  kOpen is the set-up of
// a modem that answered (its SMS commands refused, its store not listed).
// kReportFile is the step of a test that succeeded but whose status file or
// result line could not be written.
enum class RunPhase { kSetup, kOpen, kSend, kReceive, kCheck, kReply, kReportFile };

// "setup", "open", "send", "receive", "check", "reply", "report-file".
const char* run_phase_name(RunPhase phase);

struct RunNotes {
  RunPhase phase = RunPhase::kOpen;  // the step under way

  // Counter readings: the send's start and confirmation (the reply's, in a
  // reflector), the moment the message was found, the reply's confirmation.
  bool hasSend = false;
  int64_t sendStart = 0;
  int64_t sendConfirmed = 0;
  bool hasFound = false;
  int64_t messageFound = 0;
  bool hasReply = false;
  int64_t replyConfirmed = 0;

  bool hasSender = false;
  std::string sender;  // the sender of the message picked up
  bool hasReplyText = false;
  std::string replyText;  // the reflector's reply
  // The texts of the run are UTF-8 (a character of the message text lies
  // beyond U+00FF), not ISO-8859-1.
  bool utf8Text = false;

  // Status reports (report=1, wait=report): whether one was asked for, and
  // the final one when it came: its arrival (counter reading), TP-ST, class
  // ("delivered", "failed-permanent", "failed-temporary"; "missing" when
  // none came), the temporary statuses before it, TP-DT - TP-SCTS, and how
  // it came ("+CDS", "+CDSI", "listing").
  bool reportRequested = false;
  bool hasReport = false;
  int64_t reportReceived = 0;
  int reportStatus = -1;
  std::string reportClass;
  std::vector<int> reportTemporary;
  bool hasCentreDelivery = false;
  long long centreDelivery = 0;
  std::string reportVia;

  // Concatenated messages.  The parts of the message sent (a reflector's
  // reply) as the sending modem confirmed them, kept when a later part
  // failed, and the concatenation reference they carried (-1 and 0 for a
  // message sent as one).
  std::vector<PartReceipt> partsSent;
  int concatReference = -1;
  int concatReferenceBits = 0;
  // The message picked up, when it came in parts: its part count, when
  // each part was found (counter readings by sequence number - 1,
  // kNoReading for a part that never came), the first and the last part
  // found, how many came after a part with a higher sequence number and how
  // many came again.
  bool hasParts = false;
  int partsExpected = 0;
  std::vector<int64_t> partsFound;
  int64_t firstPartFound = 0;
  int64_t lastPartFound = 0;
  int partsOutOfOrder = 0;
  int partsDuplicated = 0;
  // A message sent in parts of which no part came: the record says 0
  // parts received.
  bool noPartReceived = false;

  // The last status the run wrote (or tried to write) to its status file.
  bool hasStatus = false;
  int statusCode = 0;
  std::string statusText;
  bool statusFileWritten = false;
  bool resultLineWritten = false;
  // The message of a start-up refusal, which writes no status file.
  std::string refusal;

  void note_send(int64_t start, int64_t confirmed) {
    hasSend = true;
    sendStart = start;
    sendConfirmed = confirmed;
  }
  void note_parts_sent(const SendReceipt& receipt) {
    partsSent = receipt.parts;
    concatReference = receipt.concatReference;
    concatReferenceBits = receipt.concatReferenceBits;
  }
  // Distinct parts found.
  int parts_received() const {
    int count = 0;
    for (int64_t found : partsFound) count += found != kNoReading ? 1 : 0;
    return count;
  }
  void note_found(int64_t reading) {
    hasFound = true;
    messageFound = reading;
  }
  void note_reply(int64_t confirmed) {
    hasReply = true;
    replyConfirmed = confirmed;
  }
  void note_sender(const std::string& number) {
    hasSender = true;
    sender = number;
  }
  void note_refusal(const std::string& text) {
    phase = RunPhase::kSetup;
    refusal = text;
  }
  void note_status(int code, const std::string& text, FileWrite outcome) {
    hasStatus = true;
    statusCode = code;
    statusText = text;
    statusFileWritten = outcome == FileWrite::kWritten;
  }
};

}  // namespace smstest
