#include "pdu/sms_status_report.h"

#include "common/text.h"
#include "pdu/pdu_reader.h"

namespace smstest {

namespace {

const int kMaxAddressSemiOctets = 20;  // TS 23.040 9.1.2.5: ten octets of digits
const int kMaxUserDataSeptets = 160;
const int kMaxUserDataOctets = 140;

// TP-RA: the length counts semi-octets; a trailing filler F of an odd
// length is not a digit.  Alphanumeric recipients are kept as their digits.
bool read_recipient(PduReader& in, SmsStatusReport& report, std::string& error) {
  int length = 0;
  const unsigned char* data = nullptr;
  if (!in.octet("recipient address", length) ||
      !in.octet("recipient address", report.recipientType)) {
    return false;
  }
  if (length > kMaxAddressSemiOctets) {
    error = format("SMS-STATUS-REPORT recipient address of %d digits, at most %d", length,
                   kMaxAddressSemiOctets);
    return false;
  }
  if (!in.take((length + 1) / 2, "recipient address", data)) return false;
  report.recipient.clear();
  if (((report.recipientType >> 4) & 0x07) == 0x01) report.recipient += '+';
  for (int i = 0; i < length; ++i) {
    const int semiOctet = i % 2 == 0 ? data[i / 2] & 0x0F : data[i / 2] >> 4;
    if (semiOctet == 0x0F) break;
    report.recipient += address_digit(semiOctet);
  }
  return true;
}

// A time stamp of seven octets, each the two semi-octets of a decimal
// number, the first digit in the low nibble; the zone's sign is bit 3.
bool read_stamp(PduReader& in, const char* field, SmsTimeStamp& stamp, std::string& error) {
  const unsigned char* data = nullptr;
  if (!in.take(7, field, data)) return false;
  int value[7];
  for (int k = 0; k < 7; ++k) {
    const int tens = k == 6 ? data[k] & 0x07 : data[k] & 0x0F;
    const int units = data[k] >> 4;
    if (tens > 9 || units > 9) {
      error = format("SMS-STATUS-REPORT %s with a digit out of range (%02X)", field, data[k]);
      return false;
    }
    value[k] = 10 * tens + units;
  }
  const int lowest[6] = {0, 1, 1, 0, 0, 0};
  const int highest[6] = {99, 12, 31, 23, 59, 59};
  for (int k = 0; k < 6; ++k) {
    if (value[k] < lowest[k] || value[k] > highest[k]) {
      error = format("SMS-STATUS-REPORT %s with a digit out of range (%02X)", field, data[k]);
      return false;
    }
  }
  stamp.year = value[0];
  stamp.month = value[1];
  stamp.day = value[2];
  stamp.hour = value[3];
  stamp.minute = value[4];
  stamp.second = value[5];
  stamp.zoneQuarterHours = (data[6] & 0x08) ? -value[6] : value[6];
  return true;
}

// TS 23.040 9.2.3.27: TP-PI, then each field its bits announce, in order;
// the user data follows only when TP-UDL is announced.
bool read_trailer(PduReader& in, SmsStatusReport& r, std::string& error) {
  if (in.left() == 0) return true;
  if (!in.octet("parameter indicator", r.parameterIndicator)) return false;
  const int pi = r.parameterIndicator;
  if ((pi & 0x01) && !in.octet("protocol identifier", r.protocolId)) return false;
  if ((pi & 0x02) && !in.octet("data coding scheme", r.dataCodingScheme)) return false;
  if ((pi & 0x04) == 0) return true;
  if (!in.octet("user data length", r.userDataLength)) return false;
  // Without TP-DCS the default alphabet applies; the 8-bit and UCS2 codings
  // of the general and 1111 groups count octets, everything else septets.
  const int dcs = r.dataCodingScheme < 0 ? 0 : r.dataCodingScheme;
  const bool octetUnits = ((dcs & 0xC0) == 0x00 && ((dcs >> 2) & 0x03) != 0) ||
                          ((dcs & 0xF0) == 0xF0 && (dcs & 0x04) != 0);
  const int limit = octetUnits ? kMaxUserDataOctets : kMaxUserDataSeptets;
  if (r.userDataLength > limit) {
    error = format("SMS-STATUS-REPORT user data length %d exceeds one message (%d %s)",
                   r.userDataLength, limit, octetUnits ? "octets" : "septets");
    return false;
  }
  const size_t count = octetUnits ? r.userDataLength : (7 * r.userDataLength + 7) / 8;
  const unsigned char* data = nullptr;
  if (!in.take(count, "user data", data)) return false;
  r.userData.assign(data, data + count);
  return true;
}

bool decode(const std::string& hex, bool withServiceCentre, SmsStatusReport& r,
            std::string& error) {
  std::vector<unsigned char> octets;
  if (!hex_octets(hex, "SMS-STATUS-REPORT", octets, error)) return false;
  PduReader in(octets, "SMS-STATUS-REPORT", error);
  r.withServiceCentre = withServiceCentre;
  if (withServiceCentre && !read_service_centre(in, r.serviceCentre)) return false;
  r.tpduLength = static_cast<int>(in.left());

  int first = 0;
  if (!in.octet("first octet", first)) return false;
  if ((first & 0x03) != 0x02) {
    error = format("Not an SMS-STATUS-REPORT: message type indicator %d", first & 0x03);
    return false;
  }
  r.moreMessagesToSend = (first >> 2) & 1;
  r.loopPrevention = (first >> 3) & 1;
  r.statusReportQualifier = (first >> 5) & 1;
  r.udhi = (first >> 6) & 1;

  if (!in.octet("message reference", r.messageReference) || !read_recipient(in, r, error) ||
      !read_stamp(in, "service centre time stamp", r.serviceCentreTime, error) ||
      !read_stamp(in, "discharge time", r.dischargeTime, error) || !in.octet("status", r.status) ||
      !read_trailer(in, r, error)) {
    return false;
  }
  if (in.left() != 0) {
    error = format("SMS-STATUS-REPORT PDU with octets after its last field (%d)",
                   static_cast<int>(in.left()));
    return false;
  }
  return true;
}

// Days from 2000-01-01 to the given date of the proleptic Gregorian calendar.
long long days_since_2000(int year, int month, int day) {
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int monthIndex = month > 2 ? month - 3 : month + 9;
  const int dayOfYear = (153 * monthIndex + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<long long>(era) * 146097 + dayOfEra - 730425;  // 730425: 0000-03-01 to 2000
}

}  // namespace

long long SmsTimeStamp::utc_seconds() const {
  const long long days = days_since_2000(2000 + year, month, day);
  return days * 86400 + hour * 3600 + minute * 60 + second - zoneQuarterHours * 900LL;
}

bool service_centre_part(size_t hexDigits, int announcedLength) {
  return announcedLength >= 0 && hexDigits > 2 * static_cast<size_t>(announcedLength);
}

ReportStatusClass report_status_class(int status) {
  if (status >= 0 && status <= 31) return ReportStatusClass::kDelivered;
  if (status >= 32 && status <= 63) return ReportStatusClass::kPending;
  if (status >= 96 && status <= 127) return ReportStatusClass::kFailedTemporarily;
  return ReportStatusClass::kFailedPermanently;
}

const char* report_status_class_name(ReportStatusClass statusClass) {
  switch (statusClass) {
    case ReportStatusClass::kDelivered:
      return "delivered";
    case ReportStatusClass::kPending:
      return "pending";
    case ReportStatusClass::kFailedPermanently:
      return "failed permanently";
    case ReportStatusClass::kFailedTemporarily:
      return "failed temporarily";
  }
  return "failed permanently";
}

bool decode_sms_status_report(const std::string& hex, bool withServiceCentre,
                              SmsStatusReport& report, std::string& lastError) {
  std::string error;
  SmsStatusReport decoded;
  if (!decode(hex, withServiceCentre, decoded, error)) {
    lastError = error;
    return false;
  }
  report = std::move(decoded);
  return true;
}

}  // namespace smstest
