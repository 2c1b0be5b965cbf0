// SmsSession: what the test sequences need of one modem session, whichever
// command set the modem speaks.
//
// The driver makes one session per modem with make_sms_session() for the
// command set of the run (the command file's `commandSet` field), opens it,
// and hands it to the round trip or the reflector, which send, receive and
// delete through this interface only, in records (sms_records.h).  Two
// implementations:
// - SmsModem (sms_modem.h): the modem's proprietary SMS commands, AT!SSMS,
//   AT!GSMS?2,0, AT!DSMS=3,0;
// - StandardSession (standard_session.h): the standard SMS commands of
//   3GPP TS 27.005, with a MessageFormat (message_format.h) for the mode:
//   text mode (text_format.h) or PDU mode (pdu_format.h), which also decodes
//   what the modem gives.
// Both talk to their modem through an AtChannel (at_channel.h); what a modem
// announces by itself becomes a Notice (unsolicited.h) that the session
// queues: the receive takes the new-message ones, take_notice the others.
// Every operation returns false and leaves the reason in last_error(); a
// success never clears it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/command_set.h"
#include "modem/sms_records.h"

namespace smstest {

class AtChannel;
class Clock;
class SerialDevice;

class SmsSession {
 public:
  virtual ~SmsSession() = default;

  // Creates the debug log at `path` (reported on the error stream and left
  // off when it can't be created).  Call before open() so that the whole
  // dialogue is logged.
  virtual void open_log(const char* path) = 0;

  // Opens the port with the test's settings and sets the modem up.  The
  // test deadline is `testStart` + `testTimeout` (calendar seconds).
  virtual bool open(int portNumber, int baudRate, int testTimeout, int64_t testStart) = 0;

  // Sends `message` and waits for the modem's confirmation; `receipt`
  // gets its readings: sendStart once the message has been handed to the
  // modem, sendEnd when its confirmation has been read, and one part per
  // confirmation with the message reference when the modem gave one.  Gives
  // up once more than `timeoutSeconds` whole seconds have passed since the
  // call; with a negative time-out only the first answer to the message can
  // confirm it.
  virtual bool send(const OutgoingMessage& message, SendReceipt& receipt, int timeoutSeconds) = 0;

  // Waits for a received message and takes it: sender, store index, the
  // message as the modem gave it (`raw`), and `foundAt`, read when the
  // session learnt of the message; its text when the format gives it as it
  // is.  The deadline is now + `timeoutSeconds`, or the test deadline when
  // `timeoutSeconds` is 0 or less.  While it waits, the session named by
  // watch_also() is read too.
  virtual bool receive(ReceivedMessage& message, int timeoutSeconds) = 0;

  // Deletes what the receive took.
  virtual bool delete_messages() = 0;

  // Decodes what the receive took, in the session's format: sender, text,
  // alphabet and concatenation from a PDU (its decoder's trace goes to the
  // error stream and this session's debug log); nothing to do for a text.
  // Apart from the receive so that the decoder's trace comes after the
  // delete.  False with "Cannot decode <raw>\n" when it does not decode.
  virtual bool decode(ReceivedMessage& message) = 0;

  // Reads what the modem sends by itself until the counter reaches
  // `untilMs` (of now_ms()), in requests short enough that a caller who
  // polls several sessions in turn reads each line within a millisecond or
  // two of its arrival; with kTakeArrived, takes only what has arrived by
  // now, without waiting.  Announcements are queued.  False when the port
  // failed.  The proprietary session reads nothing here: its set announces
  // nothing, and its port is read by its commands only.
  virtual bool poll(int64_t untilMs) = 0;
  static constexpr int64_t kTakeArrived = -1;

  // The oldest queued notice the receive does not take (status reports,
  // registration changes); false when there is none.
  virtual bool take_notice(Notice& notice) = 0;

  // Status reports.  want_reports(), before open(), has the session set its
  // modem up to hand reports over (the standard sessions: <ds> of AT+CNMI
  // and the acknowledgement AT+CSMS asks for); the proprietary set has none,
  // and its session never gets one.
  virtual void want_reports() {}

  // Texts in UTF-8.  want_utf8_texts(), before open(), has the session take
  // the texts it sends and give those it receives as UTF-8 rather than
  // ISO-8859-1, so that a character beyond U+00FF goes and comes back
  // whole (the standard sessions; text mode needs AT+CSCS="UCS2" for it and
  // fails the open without).  The proprietary set sends bytes as they are.
  virtual void want_utf8_texts() {}

  // Waits until the counter reaches `untilMs` for a status report that
  // `ours` takes, and hands it over with `got` set; reports `ours` does not
  // take are noted in the debug log and left alone (a stored one stays
  // stored).  `got` false: none came in time.  False when the port failed.
  using ReportFilter = std::function<bool(const StatusReport&)>;
  virtual bool next_report(const ReportFilter& ours, StatusReport& report, int64_t untilMs,
                           bool& got) {
    (void)ours;
    (void)report;
    (void)untilMs;
    got = false;
    return true;
  }

  // Puts back the settings the session changed for its sends (the text-mode
  // parameters of AT+CSMP when a report was asked for).  False when the port
  // failed; a refusal is only noted.
  virtual bool restore_settings() { return true; }

  // The counter in milliseconds, as poll() counts it.
  virtual int64_t now_ms() = 0;

  // While a receive of this session waits, `other` (null: none) is polled
  // too, so that what its modem sends is read and timed as it comes.
  void watch_also(SmsSession* other) { watched_ = other; }

  // Closes the port (the session stays usable for its texts).
  virtual void close_port() = 0;

  // The failure text of the latest failed operation.
  virtual const std::string& last_error() const = 0;

  // Whether a modem answered the handshake of the latest open(): when an
  // open fails without it, the port did not open or nothing answered there.
  bool modem_answered() const { return answered_; }

  // The session's AT channel, for the commands that are no part of its
  // SMS dialogue (the radio snapshot, radio_snapshot.h); null for a session
  // without one.
  virtual AtChannel* at_channel() { return nullptr; }

 protected:
  SmsSession* watched_ = nullptr;
  bool answered_ = false;
};

// A session for `set` on `device` and `clock` (which must outlive it).
std::unique_ptr<SmsSession> make_sms_session(CommandSet set, std::unique_ptr<SerialDevice> device,
                                             Clock& clock);

}  // namespace smstest
