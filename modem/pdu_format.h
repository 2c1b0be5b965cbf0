// PDU mode of the standard SMS commands (AT+CMGF=0), for the standard
// session: messages go to the modem as SMS-SUBMIT PDUs and come back as
// SMS-DELIVER PDUs, both as hex text.
//
// A send is AT+CMGS=<length>, <length> counting the octets of the TPDU (the
// PDU without its service-centre part, here the single octet 00: the modem
// uses its own centre), then the hex and Ctrl-Z.  The text goes in the GSM
// 7-bit default alphabet when every byte of it maps there, otherwise in UCS2
// (pdu/pdu_encode.h); with utf8Texts the text is UTF-8 and any character
// goes.  A read message keeps its PDU as the modem gave it
// until decode() turns it into the record (pdu/sms_deliver.h), after the
// pickup's delete.  No character set is set: the hex is ASCII whatever
// AT+CSCS says.
#pragma once

#include "modem/message_format.h"

namespace smstest {

class PduFormat : public MessageFormat {
 public:
  std::string mode_command() const override { return "AT+CMGF=0"; }
  std::vector<std::string> setting_commands() const override { return {}; }
  std::string list_command() const override { return "AT+CMGL=4"; }

  // AT+CMGS=<TPDU octets>, the SMS-SUBMIT in upper-case hex after the
  // prompt.  Refuses, with encode_sms_submit's text, a text longer than one
  // message (160 septets, 70 UCS2 characters: submit_parts sends those) and
  // a number that is empty or
  // holds anything but digits after an optional leading '+'.
  bool submit(const std::string& number, const std::string& text, std::string& command,
              std::string& payload, std::string& error) const override;

  // As submit() for a text that fits one message (the same bytes); a longer
  // one goes as a concatenated message (pdu/concatenation.h), one
  // AT+CMGS=<TPDU octets> per part.  Refuses, with "Cannot send the message
  // in PDU mode: " and encode_concatenated_submit's text, a text of more
  // than maxParts parts.
  bool submit_parts(const std::string& number, const std::string& text, int reference,
                    std::vector<Submission>& parts, std::string& error) const override;

  // "<stat>,[<alpha>],<length>" and the PDU's hex line: `raw` is the hex
  // with the white space around it removed; nothing else is read yet.
  // False when there is no hex line.
  bool read_message(const std::string& header, const std::string& data, ReceivedMessage& message,
                    std::string& error) const override;

  // Decodes the SMS-DELIVER: the sender with its type of address (an
  // international number gets the "+" that address_text leaves out; national
  // numbers and names stay as they are), the text, the alphabet and the
  // concatenation element of the user-data header.
  bool decode(ReceivedMessage& message, FILE* log, std::string& error) const override;
};

}  // namespace smstest
