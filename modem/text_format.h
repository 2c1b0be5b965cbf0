// Text mode of the standard SMS commands (AT+CMGF=1), for the standard
// session: messages go to the modem and come back as characters.
//
// The character set is "IRA" (AT+CSCS="IRA", the international reference
// alphabet, that is ASCII): every ASCII character of a message passes the
// line unchanged.  In "GSM", the other set every modem offers (and many
// start in), the line carries GSM 7-bit codes: '@' becomes a NUL byte, which
// the serial port drops, '$' and '_' other control bytes, and the characters
// [ ] { } \ ^ ~ | become ESC sequences, whose ESC would cancel the send
// during the text entry.
//
// With utf8Texts the set is "UCS2" (AT+CSCS="UCS2"): every string of the
// commands and answers, numbers included, is the hex of its UTF-16 code
// units, four digits each, so any character passes and nothing in the text
// can end its entry.
#pragma once

#include "modem/message_format.h"

namespace smstest {

class TextFormat : public MessageFormat {
 public:
  std::string mode_command() const override { return "AT+CMGF=1"; }
  std::vector<std::string> setting_commands() const override {
    return {utf8Texts ? "AT+CSCS=\"UCS2\"" : "AT+CSCS=\"IRA\""};
  }
  // A modem that does not take "UCS2" can't carry UTF-8 texts in text mode.
  std::string setting_needed(const std::string& setting) const override;
  std::string list_command() const override { return "AT+CMGL=\"ALL\""; }

  // AT+CMGS="<number>", the text after the prompt.  Refuses a number that
  // is empty or holds a double quote or control byte, and a text that holds
  // Ctrl-Z or ESC (either would end the text entry early).  With utf8Texts
  // the number and the text go as UCS2 hex, and a text that is not valid
  // UTF-8 is refused.  So is a text longer than one message
  // (text_mode_too_long).
  bool submit(const std::string& number, const std::string& text, std::string& command,
              std::string& payload, std::string& error) const override;

  // "<stat>,<oa>,[<alpha>],<scts>[,<tooa>,...]": the sender is <oa>, with a
  // "+" put in front when <tooa> says international (145) and the modem
  // left it out; the text is the data line.  With utf8Texts both are UCS2
  // hex, read back into UTF-8; a sender that is not such hex is taken as it
  // is (some modems give numbers plain), a data line that is not is refused.
  bool read_message(const std::string& header, const std::string& data, ReceivedMessage& message,
                    std::string& error) const override;

  // The text came as it is: nothing to decode.
  bool decode(ReceivedMessage& /*message*/, FILE* /*log*/, std::string& /*error*/) const override {
    return true;
  }

  // AT+CSMP with TP-SRR set asks for status reports.
  bool report_by_parameters() const override { return true; }
};

// Why `text` does not fit one message in text mode, which has no parts, or
// "" when it does: more than 160 septets of the GSM 7-bit alphabet, or more
// than 70 UCS2 characters when it has a character the alphabet lacks.  The
// text ("Message text too long for one SMS in text mode: ...") names the
// pdu command set.  A UTF-8 text (`utf8`) that is not valid UTF-8 gives "".
std::string text_mode_too_long(const std::string& text, bool utf8);

}  // namespace smstest
