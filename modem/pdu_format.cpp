#include "modem/pdu_format.h"

#include <memory>

#include "common/text.h"
#include "modem/at_answer.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"

namespace smstest {

namespace {

Alphabet alphabet_of(int decoded) {
  switch (decoded) {
    case 0:
      return Alphabet::kGsm7;
    case 1:
      return Alphabet::kEightBit;
    case 2:
      return Alphabet::kUcs2;
    default:
      return Alphabet::kUnknown;
  }
}

}  // namespace

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
                             ReceivedMessage& message, std::string& error) const {
  const std::string hex = trim_text(data);
  if (hex.empty()) {
    error = format("no PDU after \"+CMGR: %s\"", escape_text(header).c_str());
    return false;
  }
  message.sender.clear();
  message.raw = hex;
  return true;
}

bool PduFormat::decode(ReceivedMessage& message, FILE* log, std::string& error) const {
  std::unique_ptr<SmsDeliver> pdu = decode_pdu(message.raw.c_str(), log);
  if (!pdu) {
    error = format("Cannot decode %s\n", message.raw.c_str());
    return false;
  }
  message.sender = address_text(pdu->originator);
  if (((pdu->originator.type >> 4) & 0x07) == 0x01 && !message.sender.empty()) {
    message.sender = "+" + message.sender;
  }
  message.text = pdu->text.c_str();
  message.alphabet = alphabet_of(pdu->alphabet);
  message.concatenation.present = pdu->concatenated != 0;
  message.concatenation.reference = pdu->concatReference;
  message.concatenation.total = pdu->concatTotal;
  message.concatenation.sequence = pdu->concatSequence;
  return true;
}

}  // namespace smstest
