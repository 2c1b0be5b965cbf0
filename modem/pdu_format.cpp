#include "modem/pdu_format.h"

#include <memory>

#include "common/text.h"
#include "modem/at_answer.h"
#include "pdu/alphabets.h"
#include "pdu/concatenation.h"
#include "pdu/pdu_encode.h"
#include "pdu/sms_deliver.h"

namespace smstest {

namespace {

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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
  SubmitOptions options;
  options.statusReportRequest = requestReport;
  options.utf8 = utf8Texts;
  if (!encode_sms_submit(number, text, pdu, why, options)) {
    error = "Cannot send the message in PDU mode: " + why;
    return false;
  }
  command = format("AT+CMGS=%d", pdu.tpduLength);
  payload = pdu.hex;
  return true;
}

bool PduFormat::submit_parts(const std::string& number, const std::string& text, int reference,
                             std::vector<Submission>& parts, std::string& error) const {
  ConcatOptions options;
  options.referenceBits = referenceBits;
  options.maxParts = maxParts;
  options.submit.statusReportRequest = requestReport;
  options.submit.utf8 = utf8Texts;
  std::vector<EncodedPdu> pdus;
  std::string why;
  if (!encode_concatenated_submit(number, text, reference, pdus, why, options)) {
    error = "Cannot send the message in PDU mode: " + why;
    return false;
  }
  parts.clear();
  for (const EncodedPdu& pdu : pdus)
    parts.push_back({format("AT+CMGS=%d", pdu.tpduLength), pdu.hex});
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
  // The bytes came from the modem: escaped as every modem text is.
  const std::string cannot = format("Cannot decode %s\n", escape_text(message.raw).c_str());
  // Whole octets of hex, or nothing is decoded: the decoder itself would
  // read an odd last digit as an octet.
  size_t digits = 0;
  while (digits < message.raw.size() && hex_digit_value(message.raw[digits]) >= 0) ++digits;
  if (digits != message.raw.size() || digits % 2 != 0) {
    traceFile = log;
    trace(digits != message.raw.size() ? "Cannot decode a PDU with a byte that is no hex digit\n"
                                       : "Cannot decode an odd number of hex digits (%d)\n",
          static_cast<int>(digits));
    error = cannot;
    return false;
  }
  // A character the text can't hold goes to the debug log only.
  traceLossToStderr = false;
  std::unique_ptr<SmsDeliver> pdu = decode_pdu(message.raw.c_str(), log);
  traceLossToStderr = true;
  if (!pdu) {
    error = cannot;
    return false;
  }
  message.sender = address_text(pdu->originator);
  if (((pdu->originator.type >> 4) & 0x07) == 0x01 && !message.sender.empty()) {
    message.sender = "+" + message.sender;
  }
  // The whole text: a UCS2 or 8-bit NUL is a character of it, not its end.
  message.text = utf8Texts ? pdu->utf8Text : pdu->text;
  message.alphabet = alphabet_of(pdu->alphabet);
  message.concatenation.present = pdu->concatenated != 0;
  message.concatenation.reference = pdu->concatReference;
  message.concatenation.total = pdu->concatTotal;
  message.concatenation.sequence = pdu->concatSequence;
  return true;
}

}  // namespace smstest
