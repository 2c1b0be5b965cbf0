// SmsSession: what the test sequences need of one modem session, whichever
// command set the modem speaks.
//
// The driver makes one session per modem with make_sms_session() for the
// command set of the run (the command file's `commandSet` field), opens it,
// and hands it to the round trip or the reflector, which send, receive and
// delete through this interface only.  Two implementations:
// - SmsModem (sms_modem.h): the modem's proprietary SMS commands, AT!SSMS,
//   AT!GSMS?2,0, AT!DSMS=3,0;
// - StandardSession (standard_session.h): the standard SMS commands of
//   3GPP TS 27.005, with a MessageFormat (message_format.h) for the mode:
//   text mode (text_format.h) or PDU mode (pdu_format.h).
// Every operation returns false and leaves the reason in last_error(); a
// success never clears it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace smstest {

class Clock;
class SerialDevice;

// The command sets a run can use.
enum class CommandSet {
  kProprietary,  // AT!SSMS, AT!GSMS?2,0, AT!DSMS=3,0 (the command file names none)
  kText,         // 3GPP TS 27.005 in text mode ("text")
  kPdu,          // 3GPP TS 27.005 in PDU mode ("pdu")
};

// The command set named `name` in a command file ("" for the proprietary set,
// "text", "pdu"); false for any other name.
bool command_set_from_name(const std::string& name, CommandSet& set);

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

  // Sends `text` to `number` and waits for the modem's confirmation.
  // `sendStart` is read once the message has been handed to the modem,
  // `sendEnd` when its confirmation has been read.  Gives up once more than
  // `timeoutSeconds` whole seconds have passed since the call; with a
  // negative time-out only the first answer to the message can confirm it.
  virtual bool send_sms(const char* number, const char* text, int64_t& sendStart, int64_t& sendEnd,
                        int timeoutSeconds) = 0;

  // Waits for a received message and takes its sender and body; `foundAt`
  // is read when the session learnt of the message.  The deadline is now +
  // `timeoutSeconds`, or the test deadline when `timeoutSeconds` is 0 or
  // less.
  virtual bool receive_sms(std::string& sender, std::string& body, int64_t& foundAt,
                           int timeoutSeconds) = 0;

  // Deletes what the receive took.
  virtual bool delete_messages() = 0;

  // Closes the port (the session stays usable for its texts).
  virtual void close_port() = 0;

  // The failure text of the latest failed operation.
  virtual const std::string& last_error() const = 0;

  // 1 when receive_sms gives the message's text; 0 when it gives an
  // SMS-DELIVER PDU as hex text, which the caller decodes.
  virtual int text_mode() const = 0;

  // The open debug log, or null; for the PDU decoder's trace.
  virtual FILE* debug_log() const = 0;
};

// A session for `set` on `device` and `clock` (which must outlive it).
std::unique_ptr<SmsSession> make_sms_session(CommandSet set, std::unique_ptr<SerialDevice> device,
                                             Clock& clock);

}  // namespace smstest
