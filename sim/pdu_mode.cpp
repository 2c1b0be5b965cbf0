#include "sim/pdu_mode.h"

#include <cstdio>

#include "common/text.h"
#include "pdu/gsm7_encode.h"
#include "pdu/pdu_encode.h"
#include "pdu/phone_number.h"
#include "pdu/sms_submit.h"
#include "sim/charset.h"
#include "sim/modem.h"

namespace smstest {

const char kServiceCentre[] = "+15550000000";

namespace {

const int kUdhiBit = 0x40;  // TP-UDHI in the first octet (TS 23.040 9.2.3.23)

bool phone_number(const std::string& text) { return is_phone_number(text); }

// The longest start of `text` that one message holds behind a user-data
// header of `headerOctets` (its UDHL octet included; 0 for none): 160
// septets less the header's when every byte has a 7-bit form (an extension
// character is never split from its escape), else 70 characters less the
// header's octets over two.
std::string one_message(const std::string& text, size_t headerOctets) {
  if (!maps_to_gsm7(text)) {
    return text.substr(0, (2 * static_cast<size_t>(kMaxUcs2Characters) - headerOctets) / 2);
  }
  const size_t most = static_cast<size_t>(kMaxSeptets) - (8 * headerOctets + 6) / 7;
  size_t septets = 0, bytes = 0;
  for (; bytes < text.size(); ++bytes) {
    unsigned char codes[2];
    size_t more =
        static_cast<size_t>(latin1_to_gsm7(static_cast<unsigned char>(text[bytes]), codes));
    if (septets + more > most) break;
    septets += more;
  }
  return text.substr(0, bytes);
}

std::string hex_octet(int value) { return format("%02X", value & 0xFF); }

// Damages `pdu` as `damage` says.  `userDataOctets` is the size of its user
// data, which ends the PDU.
void damage_pdu(PduDamage damage, int userDataOctets, ListedPdu& pdu) {
  if (damage == PduDamage::cut) {
    // The second half of the user data goes; without user data its length
    // octet does.  Either way the PDU ends inside a field it announced.
    int drop = userDataOctets == 0 ? 1 : (userDataOctets + 1) / 2;
    pdu.hex.resize(pdu.hex.size() - 2 * static_cast<size_t>(drop));
    pdu.length -= drop;
  } else if (damage == PduDamage::header) {
    // A header in front of the user data whose length octet (the user
    // data's first octet) counts one octet more than the PDU has left.
    size_t first = 2 * (1 + std::stoul(pdu.hex.substr(0, 2), nullptr, 16));
    int firstOctet = static_cast<int>(std::stoul(pdu.hex.substr(first, 2), nullptr, 16));
    pdu.hex.replace(first, 2, hex_octet(firstOctet | kUdhiBit));
    if (userDataOctets > 0) {
      pdu.hex.replace(pdu.hex.size() - 2 * static_cast<size_t>(userDataOctets), 2,
                      hex_octet(userDataOctets));
    }
  }
}

}  // namespace

bool read_submitted_pdu(const std::string& hex, int length, SubmittedPdu& out,
                        std::string& lastError) {
  SmsSubmit submit;
  if (!decode_sms_submit(hex, submit, lastError)) return false;
  if (submit.tpduLength != length) {
    lastError =
        format("SMS-SUBMIT TPDU of %d octets, but AT+CMGS announced %d", submit.tpduLength, length);
    return false;
  }
  if (!phone_number(submit.number)) {
    lastError = format("SMS-SUBMIT destination \"%s\" (type %02X) is not a phone number",
                       submit.number.c_str(), submit.numberType);
    return false;
  }
  out.to = submit.number;
  const NetworkText text = network_text_of_utf8(submit.utf8Text);
  out.text = text.utf8 ? text.text : submit.text;
  out.utf8 = text.utf8;
  out.header = submit.header;
  out.statusReport = submit.statusReportRequest != 0;
  return true;
}

bool concatenated_part(const std::vector<unsigned char>& header, ConcatenatedPart& part) {
  for (size_t at = 0; at + 2 <= header.size();) {
    const int id = header[at];
    const size_t length = header[at + 1];
    const size_t data = at + 2;
    if (data + length > header.size()) return false;
    at = data + length;
    const bool eightBit = id == 0x00 && length == 3;
    const bool sixteenBit = id == 0x08 && length == 4;
    if (!eightBit && !sixteenBit) continue;
    const size_t counts = eightBit ? data + 1 : data + 2;
    const int count = header[counts];
    const int sequence = header[counts + 1];
    if (count == 0 || sequence == 0 || sequence > count) return false;
    part.reference = eightBit ? header[data] : header[data] << 8 | header[data + 1];
    part.count = count;
    part.sequence = sequence;
    return true;
  }
  return false;
}

bool listed_pdu(const StoredMessage& message, PduDamage damage, ListedPdu& out,
                std::string& lastError) {
  DeliverMessage deliver;
  deliver.originator = message.from;
  deliver.userDataHeader = message.header;
  deliver.text = message.utf8 ? first_utf8_message(message.text)
                              : one_message(message.text,
                                            message.header.empty() ? 0 : message.header.size() + 1);
  deliver.utf8 = message.utf8;
  deliver.serviceCentre = kServiceCentre;
  CalendarTime t = calendar_time(message.arrived);
  deliver.timestamp.year = (t.year % 100 + 100) % 100;
  deliver.timestamp.month = t.month;
  deliver.timestamp.day = t.day;
  deliver.timestamp.hour = t.hour;
  deliver.timestamp.minute = t.minute;
  deliver.timestamp.second = t.second;
  EncodedPdu pdu;
  if (!encode_sms_deliver(deliver, pdu, lastError)) return false;
  ListedPdu listed;
  listed.hex = pdu.hex;
  listed.length = pdu.tpduLength;
  int userDataOctets =
      pdu.dataCodingScheme == 0 ? (7 * pdu.userDataLength + 7) / 8 : pdu.userDataLength;
  damage_pdu(damage, userDataOctets, listed);
  out = listed;
  return true;
}

}  // namespace smstest
