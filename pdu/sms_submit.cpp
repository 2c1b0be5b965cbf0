#include "pdu/sms_submit.h"

#include <algorithm>

#include "common/text.h"
#include "pdu/alphabets.h"
#include "pdu/pdu_reader.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

const int kMaxAddressSemiOctets = 20;  // TS 23.040 9.1.2.5: ten octets of digits
const int kMaxUserDataSeptets = 160;
const int kMaxUserDataOctets = 140;

bool read_destination(PduReader& in, SmsSubmit& submit, std::string& error) {
  int length = 0;
  const unsigned char* data = nullptr;
  if (!in.octet("destination address", length) ||
      !in.octet("destination address", submit.numberType)) {
    return false;
  }
  if (length > kMaxAddressSemiOctets) {
    error = format("SMS-SUBMIT destination address of %d digits, at most %d", length,
                   kMaxAddressSemiOctets);
    return false;
  }
  if (!in.take((length + 1) / 2, "destination address", data)) return false;
  const int typeOfNumber = (submit.numberType >> 4) & 0x07;
  submit.number.clear();
  if (typeOfNumber == 0x05) {
    // Alphanumeric: GSM 7-bit packed text in the semi-octets.
    const int count = 4 * length / 7;
    unsigned char septets[kMaxAddressSemiOctets] = {};
    unpack_septets(data, count, septets);
    char text[kMaxAddressSemiOctets + 1];
    gsm_to_latin1(count, septets, text);
    submit.number = text;
    return true;
  }
  if (typeOfNumber == 0x01) submit.number += '+';
  for (int i = 0; i < length; ++i) {
    const int semiOctet = i % 2 == 0 ? data[i / 2] & 0x0F : data[i / 2] >> 4;
    if (semiOctet == 0x0F) {
      error = "SMS-SUBMIT destination address with the filler F among its digits";
      return false;
    }
    submit.number += address_digit(semiOctet);
  }
  return true;
}

// TS 23.038 section 4, as decode_pdu reads it: the general group without
// compression, and the 1111 group (7-bit with bit 2 clear, 8-bit with it set).
bool read_coding_scheme(int dcs, int& alphabet, std::string& error) {
  if ((dcs & 0xC0) == 0x00 && (dcs & 0x20) == 0 && ((dcs >> 2) & 0x03) != 0x03) {
    alphabet = (dcs >> 2) & 0x03;
    return true;
  }
  if ((dcs & 0xF0) == 0xF0) {
    alphabet = (dcs & 0x04) ? 1 : 0;
    return true;
  }
  error = format("SMS-SUBMIT data coding scheme %02X not supported", dcs);
  return false;
}

bool read_user_data(PduReader& in, SmsSubmit& submit, std::string& error) {
  const bool septets = submit.alphabet == 0;
  const int udl = submit.userDataLength;
  const int limit = septets ? kMaxUserDataSeptets : kMaxUserDataOctets;
  if (udl > limit) {
    error = format("SMS-SUBMIT user data length %d exceeds one message (%d %s)", udl, limit,
                   septets ? "septets" : "octets");
    return false;
  }
  const size_t octetCount = septets ? (7 * udl + 7) / 8 : udl;
  const unsigned char* data = nullptr;
  if (!in.take(octetCount, "user data", data)) return false;

  // The header, when there is one, opens the user data; a 7-bit text starts
  // at the next septet boundary after it (TS 23.040 9.2.3.24).
  int headerOctets = 0;
  if (submit.udhi) {
    if (octetCount == 0) {
      error = "SMS-SUBMIT PDU too short for its user data header";
      return false;
    }
    headerOctets = data[0] + 1;
    const int headerUnits = septets ? (8 * headerOctets + 6) / 7 : headerOctets;
    if (headerUnits > udl) {
      error = format("SMS-SUBMIT user data header of %d octets exceeds the user data length",
                     headerOctets);
      return false;
    }
    submit.header.assign(data + 1, data + headerOctets);
  }
  submit.text.clear();
  submit.replacedCharacters = 0;
  if (septets) {
    const int headerSeptets = (8 * headerOctets + 6) / 7;
    std::vector<unsigned char> all(udl + 1);
    unpack_septets(data, udl, all.data());
    const int count = std::max(udl - headerSeptets, 0);  // the header fits: checked above
    std::vector<char> text(static_cast<size_t>(count) + 1);
    gsm_to_latin1(count, all.data() + headerSeptets, text.data());
    submit.text = text.data();  // the default alphabet has no zero byte
    submit.utf8Text = septets_to_utf8(std::vector<unsigned char>(
        all.begin() + headerSeptets, all.begin() + headerSeptets + count));
    return true;
  }
  const unsigned char* body = data + headerOctets;
  const int bodyOctets = udl - headerOctets;
  if (submit.alphabet == 1) {
    submit.text.assign(reinterpret_cast<const char*>(body), bodyOctets);
    submit.utf8Text = utf8_of_latin1(submit.text);
    return true;
  }
  if (bodyOctets % 2 != 0) {
    error = format("SMS-SUBMIT UCS2 text of an odd number of octets (%d)", bodyOctets);
    return false;
  }
  for (int i = 0; i < bodyOctets; i += 2) {
    const unsigned unit = static_cast<unsigned>(body[i]) << 8 | body[i + 1];
    if (unit > 0xFF) ++submit.replacedCharacters;
    submit.text += static_cast<char>(unit > 0xFF ? '?' : unit);
  }
  submit.utf8Text = utf16_to_utf8(body, bodyOctets);
  return true;
}

bool decode(const std::string& hex, SmsSubmit& s, std::string& error) {
  std::vector<unsigned char> octets;
  if (!hex_octets(hex, "SMS-SUBMIT", octets, error)) return false;
  PduReader in(octets, "SMS-SUBMIT", error);
  if (!read_service_centre(in, s.serviceCentre)) return false;
  s.tpduLength = static_cast<int>(in.left());

  int first = 0;
  if (!in.octet("first octet", first)) return false;
  if ((first & 0x03) != 0x01) {
    error = format("Not an SMS-SUBMIT: message type indicator %d", first & 0x03);
    return false;
  }
  s.rejectDuplicates = (first >> 2) & 1;
  s.validityPeriodFormat = (first >> 3) & 0x03;
  s.statusReportRequest = (first >> 5) & 1;
  s.udhi = (first >> 6) & 1;
  s.replyPath = (first >> 7) & 1;

  if (!in.octet("message reference", s.messageReference) || !read_destination(in, s, error) ||
      !in.octet("protocol identifier", s.protocolId) ||
      !in.octet("data coding scheme", s.dataCodingScheme) ||
      !read_coding_scheme(s.dataCodingScheme, s.alphabet, error)) {
    return false;
  }
  // TS 23.040 9.2.3.3: relative is one octet, enhanced and absolute seven.
  const size_t validityOctets = s.validityPeriodFormat == 0   ? 0
                                : s.validityPeriodFormat == 2 ? 1
                                                              : 7;
  const unsigned char* validity = nullptr;
  if (!in.take(validityOctets, "validity period", validity)) return false;
  s.validityPeriod.assign(validity, validity + validityOctets);

  if (!in.octet("user data length", s.userDataLength) || !read_user_data(in, s, error)) {
    return false;
  }
  if (in.left() != 0) {
    error =
        format("SMS-SUBMIT PDU with octets after its user data (%d)", static_cast<int>(in.left()));
    return false;
  }
  return true;
}

}  // namespace

bool decode_sms_submit(const std::string& hex, SmsSubmit& submit, std::string& lastError) {
  std::string error;
  SmsSubmit decoded;
  if (!decode(hex, decoded, error)) {
    lastError = error;
    return false;
  }
  submit = std::move(decoded);
  return true;
}

}  // namespace smstest
