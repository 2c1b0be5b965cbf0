// SMS-STATUS-REPORT decoder: reads the report a service centre sends back
// when an SMS-SUBMIT asked for one (TP-SRR), the way a modem hands it over in
// PDU mode: in a +CDS line, or in the answer of AT+CMGR/AT+CMGL on the "SR"
// storage.  Some modems put the service-centre address part in front of the
// TPDU of 3GPP TS 23.040 9.2.2.3, some do not; the caller says which, usually
// from the length the modem announced (service_centre_part).
//
// The input comes from outside, so the decoder is strict and bounded: hex
// digits only, in pairs; every field must lie inside the PDU; nothing may
// follow the last field.  It returns false and overwrites `lastError` with one
// line of text (no line end) naming the first fault:
//   "Empty SMS-STATUS-REPORT PDU"
//   "SMS-STATUS-REPORT PDU with an odd number of hex digits (%d)"
//   "SMS-STATUS-REPORT PDU with a character other than a hex digit at position %d"
//   "SMS-STATUS-REPORT PDU too short for its <field>"  (service-centre
//       address, first octet, message reference, recipient address, service
//       centre time stamp, discharge time, status, protocol identifier, data
//       coding scheme, user data length, user data)
//   "Not an SMS-STATUS-REPORT: message type indicator %d"
//   "SMS-STATUS-REPORT recipient address of %d digits, at most 20"
//   "SMS-STATUS-REPORT <stamp> with a digit out of range (%02X)"  (service
//       centre time stamp, discharge time: a semi-octet above 9, or a month,
//       day, hour, minute or second out of its range)
//   "SMS-STATUS-REPORT user data length %d exceeds one message (%d %s)"
//   "SMS-STATUS-REPORT PDU with octets after its last field (%d)"
// On success `lastError` is left as it was; on failure `report` is left
// unchanged.  Nothing throws or traces.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// A TP-SCTS or TP-DT: the seven semi-octet pairs read as decimal numbers.
struct SmsTimeStamp {
  int year = 0;  // 0-99, the two last digits
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int zoneQuarterHours = 0;  // offset from UTC in quarter hours, signed

  // Seconds from 2000-01-01 00:00:00 UTC (years 00-99 read as 2000-2099), the
  // zone taken off: the difference of two stamps is the time between them.
  long long utc_seconds() const;
};

// Whether a status-report PDU of `hexDigits` characters starts with the
// service-centre part: a modem announces the TPDU's length in octets (as in
// "+CDS: <length>"), so a PDU longer than that carries the address in front.
bool service_centre_part(size_t hexDigits, int announcedLength);

// The decoded SMS-STATUS-REPORT.
struct SmsStatusReport {
  bool withServiceCentre = false;  // the PDU had the service-centre part
  // The service-centre number as SmsSubmit::serviceCentre (empty for 00 or
  // without the part).
  std::string serviceCentre;
  int tpduLength = 0;  // octets after the service-centre part

  int udhi = 0;                   // TP-UDHI, bit 6 of the first octet
  int statusReportQualifier = 0;  // TP-SRQ, bit 5: 1 for a report on an SMS-COMMAND
  int loopPrevention = 0;         // TP-LP, bit 3
  int moreMessagesToSend = 0;     // TP-MMS, bit 2
  int messageReference = 0;       // TP-MR: the reference of the SMS-SUBMIT it reports on

  // TP-RA, the recipient, written as SmsSubmit::number ("+" for type of
  // number 001; semi-octets A-E as '*', '#', 'a', 'b', 'c').
  std::string recipient;
  int recipientType = 0;  // the type-of-address octet

  SmsTimeStamp serviceCentreTime;  // TP-SCTS: when the centre took the message
  SmsTimeStamp dischargeTime;      // TP-DT: when it was delivered, or the attempt ended
  int status = 0;                  // TP-ST

  // The optional trailer: TP-PI and the fields it announces; -1 where absent.
  int parameterIndicator = -1;
  int protocolId = -1;
  int dataCodingScheme = -1;
  int userDataLength = -1;              // septets for a 7-bit coding, else octets
  std::vector<unsigned char> userData;  // the user data's octets as sent
};

// Status classes of TP-ST (TS 23.040 9.2.3.15).
enum class ReportStatusClass {
  kDelivered,          // 0-31: the transaction is complete
  kPending,            // 32-63: the centre is still trying
  kFailedPermanently,  // 64-95: it stopped trying
  kFailedTemporarily,  // 96-127: it gave up after a temporary error
};

// The class of a TP-ST value; values from 128 (reserved) count as permanent
// failures, as the receiving side is told to treat them.
ReportStatusClass report_status_class(int status);

// "delivered", "pending", "failed permanently", "failed temporarily".
const char* report_status_class_name(ReportStatusClass statusClass);

// Decodes `hex` (upper or lower case hex digits, nothing else) into `report`;
// with `withServiceCentre` the PDU starts with the service-centre part.
bool decode_sms_status_report(const std::string& hex, bool withServiceCentre,
                              SmsStatusReport& report, std::string& lastError);

}  // namespace smstest
