#include "pdu/pdu_encode.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/text.h"
#include "pdu/gsm7_encode.h"
#include "pdu/phone_number.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

using Octets = std::vector<unsigned char>;

// TS 23.040 9.1.2.5 type-of-address octets.
const int kInternational = 0x91;  // international number, ISDN numbering plan
const int kUnknown = 0x81;        // unknown type of number, ISDN numbering plan
const int kAlphanumeric = 0xD0;   // alphanumeric, GSM 7-bit packed

// First octets (TS 23.040 9.2.2): TP-MTI 01 with TP-VPF 10 or 00, and an
// SMS-DELIVER (TP-MTI 00) with TP-MMS set, as networks deliver single parts.
const int kSubmitRelativeValidity = 0x11;
const int kSubmitNoValidity = 0x01;
// TP-SRR, bit 5 of the first octet: a status report is asked for.
const int kSubmitStatusReportRequest = 0x20;
const int kDeliver = 0x04;
// TP-UDHI, bit 6: the user data starts with a header.
const int kUdhi = 0x40;
// The user data of one message: 140 octets.
const int kMaxUserDataOctets = 140;

const int kDcsGsm7 = 0x00;
const int kDcsUcs2 = 0x08;

struct UserData {
  int dcs = kDcsGsm7;
  int length = 0;  // TP-UDL
  Octets octets;
};

// The text before it is packed: septets of the GSM 7-bit alphabet, or
// UTF-16 code units as big-endian octet pairs.
struct TextUnits {
  bool gsm7 = true;
  Octets units;
};

// How many octets a user-data header of `elements` takes, its UDHL octet
// included; 0 without elements.
size_t header_octets(const Octets& elements) { return elements.empty() ? 0 : elements.size() + 1; }

bool too_long_for_7bit(int septets, int most, std::string& error) {
  if (septets <= most) return false;
  error =
      format("Message text too long for one SMS: %d septets in the GSM 7-bit alphabet, at most %d",
             septets, most);
  return true;
}

bool too_long_for_ucs2(size_t units, int most, std::string& error) {
  if (units <= static_cast<size_t>(most)) return false;
  error = format("Message text too long for one SMS: %d characters in UCS2, at most %d",
                 static_cast<int>(units), most);
  return true;
}

// The units of a UTF-8 text: 7-bit when every character has a 7-bit form,
// else UTF-16.
bool utf8_units(const std::string& text, TextCoding coding, TextUnits& out, std::string& error) {
  Octets utf16;
  if (!utf8_to_utf16(text, utf16)) {
    error = "Message text is not valid UTF-8";
    return false;
  }
  Octets septets;
  if (coding == TextCoding::kAuto && utf8_to_septets(text, septets)) {
    out.gsm7 = true;
    out.units = std::move(septets);
    return true;
  }
  out.gsm7 = false;
  out.units = std::move(utf16);
  return true;
}

// The units of `text`; false only for a UTF-8 text that is not valid.
bool text_units(const std::string& text, TextCoding coding, bool utf8, TextUnits& out,
                std::string& error) {
  if (utf8) return utf8_units(text, coding, out, error);
  if (coding == TextCoding::kAuto && gsm7_septet_count(text) >= 0) {
    out.gsm7 = true;
    out.units = latin1_to_septets(text);
    return true;
  }
  out.gsm7 = false;
  out.units = latin1_to_ucs2(text);
  return true;
}

// The user data of one message: the header (UDHL, then `elements`) when
// there are elements, then the text.  In the 7-bit alphabet the text starts
// at the septet boundary after the header (TS 23.040 9.2.3.24: fill bits,
// zero, pad the header) and TP-UDL counts the header's septets with the
// text's; in UCS2 it counts octets.  False with `error` set when it does not
// fit one message.
bool encode_text(const std::string& text, TextCoding coding, bool utf8, const Octets& elements,
                 UserData& out, std::string& error) {
  const size_t headerSize = header_octets(elements);
  if (headerSize > static_cast<size_t>(kMaxUserDataOctets)) {
    error = format("User-data header of %d octets, at most %d", static_cast<int>(headerSize),
                   kMaxUserDataOctets);
    return false;
  }
  TextUnits units;
  if (!text_units(text, coding, utf8, units, error)) return false;
  Octets header;
  if (headerSize > 0) {
    header.push_back(static_cast<unsigned char>(elements.size()));
    header.insert(header.end(), elements.begin(), elements.end());
  }
  if (units.gsm7) {
    const int headerSeptets = static_cast<int>((8 * headerSize + 6) / 7);
    if (too_long_for_7bit(static_cast<int>(units.units.size()), kMaxSeptets - headerSeptets,
                          error)) {
      return false;
    }
    Octets septets(static_cast<size_t>(headerSeptets), 0);
    septets.insert(septets.end(), units.units.begin(), units.units.end());
    out.dcs = kDcsGsm7;
    out.length = static_cast<int>(septets.size());
    out.octets = pack_septets(septets);
    // The header fills whole octets that only zero septets were packed into.
    std::copy(header.begin(), header.end(), out.octets.begin());
    return true;
  }
  const int most = (kMaxUserDataOctets - static_cast<int>(headerSize)) / 2;
  if (too_long_for_ucs2(units.units.size() / 2, most, error)) return false;
  out.dcs = kDcsUcs2;
  out.octets = header;
  out.octets.insert(out.octets.end(), units.units.begin(), units.units.end());
  out.length = static_cast<int>(out.octets.size());
  return true;
}

// The type octet and the semi-octets (low nibble first, F filler) of a
// number.  `what` names the field in the error text.
bool encode_number(const std::string& number, const char* what, int& type, int& digitCount,
                   Octets& digits, std::string& error) {
  if (number.empty()) {
    error = format("No %s number", what);
    return false;
  }
  if (!is_phone_number(number)) {
    error = format("Bad %s number \"%s\": only digits, after an optional leading +", what,
                   number.c_str());
    return false;
  }
  const bool international = number[0] == '+';
  const std::string d = international ? number.substr(1) : number;
  if (d.size() > static_cast<size_t>(kMaxNumberDigits)) {
    error = format("Bad %s number \"%s\": %d digits, at most %d", what, number.c_str(),
                   static_cast<int>(d.size()), kMaxNumberDigits);
    return false;
  }
  type = international ? kInternational : kUnknown;
  digitCount = static_cast<int>(d.size());
  digits.clear();
  for (size_t i = 0; i < d.size(); i += 2) {
    const int low = d[i] - '0';
    const int high = i + 1 < d.size() ? d[i + 1] - '0' : 0x0F;
    digits.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  return true;
}

// TP-DA / TP-OA of a number: length in semi-octets, type, digits.
bool append_number_address(const std::string& number, const char* what, Octets& out,
                           std::string& error) {
  int type = 0;
  int digitCount = 0;
  Octets digits;
  if (!encode_number(number, what, type, digitCount, digits, error)) return false;
  out.push_back(static_cast<unsigned char>(digitCount));
  out.push_back(static_cast<unsigned char>(type));
  out.insert(out.end(), digits.begin(), digits.end());
  return true;
}

// TS 23.040 9.1.2.5: an alphanumeric address holds GSM 7-bit packed text; its
// length counts the semi-octets that the septets fill.
bool append_alphanumeric_address(const std::string& name, Octets& out, std::string& error) {
  const int septets = gsm7_septet_count(name);
  if (septets < 0) {
    error = format("Bad originator \"%s\": a sender name must use the GSM 7-bit alphabet",
                   name.c_str());
    return false;
  }
  if (septets > kMaxAlphanumericSeptets) {
    error = format("Bad originator \"%s\": %d septets, at most %d", name.c_str(), septets,
                   kMaxAlphanumericSeptets);
    return false;
  }
  const Octets packed = pack_septets(latin1_to_septets(name));
  out.push_back(static_cast<unsigned char>((7 * septets + 3) / 4));
  out.push_back(static_cast<unsigned char>(kAlphanumeric));
  out.insert(out.end(), packed.begin(), packed.end());
  return true;
}

// The service-centre part: its length counts the octets after itself.
bool append_service_centre(const std::string& number, Octets& out, std::string& error) {
  if (number.empty()) {
    out.push_back(0x00);
    return true;
  }
  int type = 0;
  int digitCount = 0;
  Octets digits;
  if (!encode_number(number, "service-centre", type, digitCount, digits, error)) return false;
  out.push_back(static_cast<unsigned char>(1 + digits.size()));
  out.push_back(static_cast<unsigned char>(type));
  out.insert(out.end(), digits.begin(), digits.end());
  return true;
}

bool in_range(int value, int low, int high) { return value >= low && value <= high; }

unsigned char bcd_swapped(int value) {
  return static_cast<unsigned char>((value % 10) << 4 | (value / 10));
}

// TS 23.040 9.2.3.11: seven octets of swapped semi-octets; the zone in
// quarter hours with its sign in bit 3.
bool append_timestamp(const ServiceCentreTime& t, Octets& out, std::string& error) {
  if (!in_range(t.year, 0, 99) || !in_range(t.month, 1, 12) || !in_range(t.day, 1, 31) ||
      !in_range(t.hour, 0, 23) || !in_range(t.minute, 0, 59) || !in_range(t.second, 0, 59) ||
      !in_range(t.zoneQuarterHours, -79, 79)) {
    error = format("Bad service-centre time stamp %d/%d/%d %d:%d:%d, zone %d quarter hours", t.year,
                   t.month, t.day, t.hour, t.minute, t.second, t.zoneQuarterHours);
    return false;
  }
  for (int field : {t.year, t.month, t.day, t.hour, t.minute, t.second}) {
    out.push_back(bcd_swapped(field));
  }
  const int zone = t.zoneQuarterHours < 0 ? -t.zoneQuarterHours : t.zoneQuarterHours;
  out.push_back(
      static_cast<unsigned char>(bcd_swapped(zone) | (t.zoneQuarterHours < 0 ? 0x08 : 0)));
  return true;
}

void finish(const Octets& serviceCentre, const Octets& tpdu, const UserData& userData,
            EncodedPdu& pdu) {
  pdu.hex = upper_hex(serviceCentre) + upper_hex(tpdu);
  pdu.tpduLength = static_cast<int>(tpdu.size());
  pdu.dataCodingScheme = userData.dcs;
  pdu.userDataLength = userData.length;
}

}  // namespace

bool encode_sms_submit(const std::string& number, const std::string& text, EncodedPdu& pdu,
                       std::string& lastError, const SubmitOptions& options) {
  std::string error;
  UserData userData;
  if (!encode_text(text, options.coding, options.utf8, Octets(), userData, error)) {
    lastError = error;
    return false;
  }
  Octets address;
  if (!append_number_address(number, "destination", address, error)) {
    lastError = error;
    return false;
  }
  if (!in_range(options.validityPeriod, -1, 0xFF)) {
    lastError = format("Bad validity period %d: -1 (none) or 0 to 255", options.validityPeriod);
    return false;
  }
  const bool hasValidity = options.validityPeriod >= 0;
  Octets tpdu;
  const int srr = options.statusReportRequest ? kSubmitStatusReportRequest : 0;
  tpdu.push_back(static_cast<unsigned char>(
      (hasValidity ? kSubmitRelativeValidity : kSubmitNoValidity) | srr));
  tpdu.push_back(0x00);  // TP-MR: the modem numbers the message
  tpdu.insert(tpdu.end(), address.begin(), address.end());
  tpdu.push_back(0x00);  // TP-PID: plain short message
  tpdu.push_back(static_cast<unsigned char>(userData.dcs));
  if (hasValidity) tpdu.push_back(static_cast<unsigned char>(options.validityPeriod));
  tpdu.push_back(static_cast<unsigned char>(userData.length));
  tpdu.insert(tpdu.end(), userData.octets.begin(), userData.octets.end());
  finish({0x00}, tpdu, userData, pdu);
  return true;
}

bool encode_sms_deliver(const DeliverMessage& message, EncodedPdu& pdu, std::string& lastError) {
  std::string error;
  UserData userData;
  if (!encode_text(message.text, message.coding, message.utf8, message.userDataHeader, userData,
                   error)) {
    lastError = error;
    return false;
  }
  Octets tpdu;
  tpdu.push_back(
      static_cast<unsigned char>(kDeliver | (message.userDataHeader.empty() ? 0 : kUdhi)));
  const bool addressed = message.originator.empty() || is_phone_number(message.originator)
                             ? append_number_address(message.originator, "originator", tpdu, error)
                             : append_alphanumeric_address(message.originator, tpdu, error);
  Octets serviceCentre;
  if (!addressed || !append_service_centre(message.serviceCentre, serviceCentre, error)) {
    lastError = error;
    return false;
  }
  if (!in_range(message.protocolId, 0, 0xFF)) {
    lastError = format("Bad protocol identifier %d: 0 to 255", message.protocolId);
    return false;
  }
  tpdu.push_back(static_cast<unsigned char>(message.protocolId));
  tpdu.push_back(static_cast<unsigned char>(userData.dcs));
  if (!append_timestamp(message.timestamp, tpdu, error)) {
    lastError = error;
    return false;
  }
  tpdu.push_back(static_cast<unsigned char>(userData.length));
  tpdu.insert(tpdu.end(), userData.octets.begin(), userData.octets.end());
  finish(serviceCentre, tpdu, userData, pdu);
  return true;
}

bool encode_sms_status_report(const StatusReportMessage& message, EncodedPdu& pdu,
                              std::string& lastError) {
  std::string error;
  if (!in_range(message.messageReference, 0, 0xFF) || !in_range(message.status, 0, 0xFF)) {
    lastError = format("Bad message reference %d or status %d: 0 to 255", message.messageReference,
                       message.status);
    return false;
  }
  Octets tpdu;
  tpdu.push_back(0x06);  // TP-MTI 10 (status report), TP-MMS: no more messages
  tpdu.push_back(static_cast<unsigned char>(message.messageReference));
  Octets serviceCentre;
  if (!append_number_address(message.recipient, "recipient", tpdu, error) ||
      !append_service_centre(message.serviceCentre, serviceCentre, error) ||
      !append_timestamp(message.serviceCentreTime, tpdu, error) ||
      !append_timestamp(message.dischargeTime, tpdu, error)) {
    lastError = error;
    return false;
  }
  tpdu.push_back(static_cast<unsigned char>(message.status));
  finish(serviceCentre, tpdu, UserData(), pdu);
  return true;
}

}  // namespace smstest
