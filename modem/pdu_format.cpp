#include "modem/pdu_format.h"

#include "common/text.h"
#include "modem/at_answer.h"
#include "pdu/pdu_encode.h"

namespace smstest {

bool PduFormat::submit(const std::string& number, const std::string& text, std::string& command,
                       std::string& payload, std::string& error) const {
  EncodedPdu pdu;
  std::string why;
  if (!encode_sms_submit(number, text, pdu, why)) {
    error = "Cannot send the message in PDU mode: " + why;
    return false;
  }
  command = format("AT+CMGS=%d", pdu.tpduLength);
  payload = pdu.hex;
  return true;
}

bool PduFormat::read_message(const std::string& header, const std::string& data,
                             std::string& sender, std::string& body, std::string& error) const {
  const std::string hex = trim_text(data);
  if (hex.empty()) {
    error = format("no PDU after \"+CMGR: %s\"", escape_text(header).c_str());
    return false;
  }
  sender.clear();
  body = hex;
  return true;
}

}  // namespace smstest
