// PDU encoders: SMS-SUBMIT for sending in PDU mode (AT+CMGS=<length>), and
// SMS-DELIVER as a modem lists a received message (+CMGL / +CMGR), for the
// simulator and the tests.  The reading direction is in sms_submit.h
// (decode_sms_submit) and sms_deliver.h (decode_pdu).
//
// Texts are ISO-8859-1 bytes, the alphabet the decoders produce, unless the
// options say UTF-8 (then any character goes: unicode_text.h).  A text goes
// out in the GSM 7-bit default alphabet (TP-DCS 0x00, extension table
// included) when every byte of it maps there (gsm7_encode.h), otherwise in
// UCS2 (TP-DCS 0x08), so that it decodes to the same bytes.  One message
// holds at most 160 septets (an extension character takes two) or 70 UCS2
// characters; no text is split over several messages.
//
// Errors: each encoder returns false and overwrites `lastError` with one line
// of text (no line end) naming the fault; on success `lastError` is left as
// it was and `pdu` is filled.  On failure `pdu` is left unchanged.  The checks
// come in this order, and the first that fails is reported:
//   - the text: "Message text is not valid UTF-8" (a UTF-8 text only),
//     "Message text too long for one SMS: 161 septets in the GSM
//     7-bit alphabet, at most 160" or "... 71 characters in UCS2, at most 70";
//   - the number or the address: empty, a character other than a digit after
//     an optional leading '+', more than 20 digits; an alphanumeric
//     originator that has no GSM 7-bit form or takes more than 11 septets;
//   - the options: a validity period outside -1..255 (SMS-SUBMIT), a
//     protocol identifier outside 0..255 (SMS-DELIVER);
//   - the time stamp (SMS-DELIVER): a field out of range.
// Nothing throws.
#pragma once

#include <string>
#include <vector>

#include "pdu/phone_number.h"  // kMaxNumberDigits

namespace smstest {

// Hex text of an encoded PDU and what the AT command around it needs.
struct EncodedPdu {
  // The PDU as the modem exchanges it: the service-centre address part
  // ("00" when there is none), then the TPDU; upper-case hex, no spaces.
  std::string hex;
  // Octets of the TPDU alone, the service-centre part not counted: the
  // <length> of AT+CMGS=<length> and of a +CMGL / +CMGR header line.
  int tpduLength = 0;
  int dataCodingScheme = 0;  // 0x00 GSM 7-bit or 0x08 UCS2
  int userDataLength = 0;    // TP-UDL: septets for 7-bit, octets for UCS2
};

// How the text is coded.  kAuto: GSM 7-bit when every byte maps, else UCS2.
// kUcs2: UCS2 whatever the text (every ISO-8859-1 byte has a UCS2 form).
enum class TextCoding { kAuto, kUcs2 };

// Limits of one message.
constexpr int kMaxSeptets = 160;
constexpr int kMaxUcs2Characters = 70;
// Septets of an alphanumeric originator (ten octets, 80 bits).
constexpr int kMaxAlphanumericSeptets = 11;

// The relative validity period that SMS-SUBMIT carries unless told otherwise:
// 0xAA, four days (TS 23.040 9.2.3.12.1: values 168-196 count (value - 166)
// days), long enough for any test and short enough that a lost message does
// not linger for weeks.
constexpr int kDefaultValidityPeriod = 0xAA;

struct SubmitOptions {
  // TP-VP in the relative format (first octet 0x11, TP-VPF 10), 0-255; -1
  // for none (first octet 0x01, TP-VPF 00: the network's default).
  int validityPeriod = kDefaultValidityPeriod;
  TextCoding coding = TextCoding::kAuto;
  // TP-SRR: the service centre is to send a status report on the message
  // (first octet 0x31, or 0x21 without a validity period).
  bool statusReportRequest = false;
  // The text is UTF-8, not ISO-8859-1: every character goes out, in UCS2
  // as UTF-16 when the 7-bit alphabet lacks one (a character beyond U+FFFF
  // is a surrogate pair and counts two of the 70).
  bool utf8 = false;
};

// Encodes `text` to `number` as an SMS-SUBMIT: no service-centre address
// ("00", the modem uses its own), first octet 0x11 (relative validity
// period), TP-MR 0 (the modem assigns it), TP-DA from `number` (a leading '+'
// gives type 0x91, international; otherwise 0x81, unknown numbering, as
// modems expect a national number), TP-PID 0, TP-DCS by the text, TP-VP,
// TP-UDL and the user data.  `pdu.hex` is what to send after the prompt of
// AT+CMGS=`pdu.tpduLength`.  False with `lastError` set (see above).
bool encode_sms_submit(const std::string& number, const std::string& text, EncodedPdu& pdu,
                       std::string& lastError, const SubmitOptions& options = SubmitOptions());

// The service-centre time stamp of an SMS-DELIVER, as local time of the
// service centre and its offset from UTC.
struct ServiceCentreTime {
  int year = 0;   // of the century, 0-99
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;   // 0-23
  int minute = 0;
  int second = 0;
  int zoneQuarterHours = 0;  // -79..79: +08 is UTC+2:00
};

struct DeliverMessage {
  // TP-OA: "+" and digits is an international number (type 0x91), digits
  // alone a number of unknown numbering (0x81), anything else an
  // alphanumeric sender name (0xD0) in ISO-8859-1, at most 11 septets of the
  // GSM 7-bit alphabet.  decode_pdu's address_text gives back the digits
  // (without the '+') or the name.
  std::string originator;
  std::string text;  // ISO-8859-1
  ServiceCentreTime timestamp;
  // The service-centre address in front of the TPDU: empty for none ("00"),
  // else a number as for `originator` (alphanumeric not allowed).
  std::string serviceCentre;
  int protocolId = 0;  // TP-PID, 0-255
  TextCoding coding = TextCoding::kAuto;
  bool utf8 = false;  // `text` is UTF-8 (as SubmitOptions::utf8)
  // The information elements of a user-data header (TS 23.040 9.2.3.24),
  // without the header's length octet (UDHL), which the encoder puts in
  // front: "00 03 2A 03 01" is part 1 of 3 of a message concatenated with
  // the 8-bit reference 0x2A.  Empty for none: no TP-UDHI, no header.  The
  // elements are taken as they are, not checked.
  std::vector<unsigned char> userDataHeader = {};
};

// Encodes an SMS-DELIVER as a modem prints it in PDU mode: the
// service-centre part, then the TPDU with first octet 0x04 (no more
// messages; no reply path or status report), TP-OA, TP-PID, TP-DCS by the
// text, TP-SCTS, TP-UDL and the user data.  With a user-data header the
// first octet is 0x44 (TP-UDHI) and the user data starts with the header;
// in the 7-bit alphabet fill bits pad it to a septet boundary and TP-UDL
// counts its septets too, so the text holds 160 septets less those (153
// with a 6-octet header), in UCS2 (140 octets less the header) / 2
// characters (67).  The "too long" texts then name those limits; a header
// of more than 140 octets is refused with "User-data header of %d octets,
// at most 140".  decode_pdu reads `pdu.hex` back to the same fields and
// text, and its concatenation fields from the header.  Without a header the
// PDU is as it always was.  False with `lastError` set (see above).
bool encode_sms_deliver(const DeliverMessage& message, EncodedPdu& pdu, std::string& lastError);

// An SMS-STATUS-REPORT as a service centre sends it back (no trailer).
struct StatusReportMessage {
  int messageReference = 0;             // TP-MR of the SMS-SUBMIT reported on, 0-255
  std::string recipient;                // TP-RA, a number as for DeliverMessage::originator
  ServiceCentreTime serviceCentreTime;  // TP-SCTS
  ServiceCentreTime dischargeTime;      // TP-DT
  int status = 0;                       // TP-ST, 0-255
  // The service-centre part in front of the TPDU: empty for none ("00").
  std::string serviceCentre;
};

// Encodes an SMS-STATUS-REPORT: the service-centre part, first octet 0x06
// (TP-MTI 10, TP-MMS), TP-MR, TP-RA, TP-SCTS, TP-DT, TP-ST.
// decode_sms_status_report reads it back.  False with `lastError` set for a
// bad number, time stamp, reference or status.
bool encode_sms_status_report(const StatusReportMessage& message, EncodedPdu& pdu,
                              std::string& lastError);

}  // namespace smstest
