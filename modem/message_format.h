// MessageFormat: what differs between the two message formats of the
// standard SMS commands (3GPP TS 27.005): text mode (AT+CMGF=1, the message
// as characters, text_format.h) and PDU mode (AT+CMGF=0, the message as a
// hex TPDU).  The standard session (standard_session.h) runs the same
// dialogue for both and asks its format for the commands and the parsing
// that depend on the mode: the AT+CMGF value and the settings that go with
// it, the listing command, what AT+CMGS carries and what follows its prompt,
// how a read message gives its sender and text, and their decoding.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "modem/sms_records.h"

namespace smstest {

// One AT+CMGS of a send: the command line (without its CR) and what goes
// after the prompt (without the Ctrl-Z).
struct Submission {
  std::string command;
  std::string payload;
};

class MessageFormat {
 public:
  virtual ~MessageFormat() = default;

  // "AT+CMGF=1" or "AT+CMGF=0".  An error answer to it fails the open.
  virtual std::string mode_command() const = 0;

  // Commands sent after the mode command, each answered on its own; an
  // error answer is noted in the debug log and otherwise ignored, unless
  // setting_needed() gives why the format can't work without the setting:
  // then the error fails the open, with that reason.
  virtual std::vector<std::string> setting_commands() const = 0;
  virtual std::string setting_needed(const std::string& /*setting*/) const { return ""; }

  // The listing of every stored message: AT+CMGL="ALL" (text mode) or
  // AT+CMGL=4 (PDU mode).  Its information lines begin "+CMGL: <index>,".
  virtual std::string list_command() const = 0;

  // The send of `text` to `number`: `command` is the AT+CMGS line (without
  // its CR), `payload` what goes after the prompt (without the Ctrl-Z).
  // False, with the reason in `error`, when the message can't be sent in
  // this format.
  virtual bool submit(const std::string& number, const std::string& text, std::string& command,
                      std::string& payload, std::string& error) const = 0;

  // The sends of `text` to `number`, one per part: a text that fits one
  // message is the one send of submit(); a longer one goes in parts where
  // the format can (PDU mode), each carrying the concatenation `reference`
  // (kept to referenceBits).  False, with the reason in `error`, as
  // submit(), and for a text that needs more than maxParts parts or that
  // the format can't send in parts (text mode).
  virtual bool submit_parts(const std::string& number, const std::string& text, int reference,
                            std::vector<Submission>& parts, std::string& error) const {
    (void)reference;
    Submission one;
    if (!submit(number, text, one.command, one.payload, error)) return false;
    parts.assign(1, one);
    return true;
  }

  // Takes a read message from the values of its "+CMGR: " line (after the
  // prefix) and its data line: `raw` the data line as the modem gave it,
  // and what the header holds.  False, with the reason in `error`, when
  // they are not of this format.
  virtual bool read_message(const std::string& header, const std::string& data,
                            ReceivedMessage& message, std::string& error) const = 0;

  // Decodes `message.raw` into the record's sender, text, alphabet and
  // concatenation; the decoder's trace also goes to `log` (may be null).
  // False, with "Cannot decode <raw>\n" in `error`, when it does not decode.
  virtual bool decode(ReceivedMessage& message, FILE* log, std::string& error) const = 0;

  // Whether a status report is asked for with AT+CSMP (text mode) rather
  // than in the PDU that submit() makes (PDU mode, with requestReport).
  virtual bool report_by_parameters() const { return false; }

  // The sends that submit() makes ask for a status report (PDU mode).
  bool requestReport = false;

  // Texts are UTF-8 both ways rather than ISO-8859-1: what submit() takes
  // and what decode() gives, so that a character beyond U+00FF (the euro
  // sign, Cyrillic, an emoji) goes and comes back whole.  Off, the formats
  // work as they always did.
  bool utf8Texts = false;

  // The parts of a long text (submit_parts): the size of the
  // concatenation reference, 8 (IEI 0x00) or 16 (IEI 0x08), and the most
  // parts a message may take.
  int referenceBits = 8;
  int maxParts = 10;
};

}  // namespace smstest
