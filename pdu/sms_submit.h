// SMS-SUBMIT decoder: reads what a sender hands a modem after the prompt of
// AT+CMGS=<length> in PDU mode, the service-centre address part first and
// then the SMS-SUBMIT TPDU of 3GPP TS 23.040.  The simulator uses it on what
// the tool sends; the tests check encode_sms_submit (pdu_encode.h) against it.
//
// The input comes from outside, so the decoder is strict and bounded: hex
// digits only, in pairs; every field must lie inside the PDU; nothing may
// follow the user data.  It returns false and overwrites `lastError` with one
// line of text (no line end) naming the first fault:
//   "Empty SMS-SUBMIT PDU"
//   "SMS-SUBMIT PDU with an odd number of hex digits (%d)"
//   "SMS-SUBMIT PDU with a character other than a hex digit at position %d"
//   "SMS-SUBMIT PDU too short for its <field>"  (service-centre address,
//       first octet, message reference, destination address, protocol
//       identifier, data coding scheme, validity period, user data length,
//       user data header, user data)
//   "Not an SMS-SUBMIT: message type indicator %d"
//   "SMS-SUBMIT destination address of %d digits, at most 20"
//   "SMS-SUBMIT destination address with the filler F among its digits"
//   "SMS-SUBMIT data coding scheme %02X not supported" (compressed, or
//       outside the general and the 1111 groups, or alphabet 11)
//   "SMS-SUBMIT user data length %d exceeds one message (%d %s)"
//   "SMS-SUBMIT user data header of %d octets exceeds the user data length"
//   "SMS-SUBMIT UCS2 text of an odd number of octets (%d)"
//   "SMS-SUBMIT PDU with octets after its user data (%d)"
// On success `lastError` is left as it was; on failure `submit` is left
// unchanged.  Nothing throws or traces.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// The decoded SMS-SUBMIT.
struct SmsSubmit {
  // The service-centre number in front of the TPDU as for `number`; empty
  // when the PDU starts with 00 (the modem's own service centre).
  std::string serviceCentre;
  int tpduLength = 0;  // octets after the service-centre part: AT+CMGS must name this

  int replyPath = 0;             // TP-RP, bit 7 of the first octet
  int udhi = 0;                  // TP-UDHI, bit 6
  int statusReportRequest = 0;   // TP-SRR, bit 5
  int validityPeriodFormat = 0;  // TP-VPF, bits 4-3: 0 none, 2 relative, 1 enhanced, 3 absolute
  int rejectDuplicates = 0;      // TP-RD, bit 2
  int messageReference = 0;      // TP-MR

  // TP-DA as a person writes it: "+" and the digits for an international
  // number (type of number 001), the digits alone for every other numeric
  // type; semi-octets A-E are '*', '#', 'a', 'b', 'c'.  An alphanumeric
  // address (type of number 101) is its GSM 7-bit text in ISO-8859-1.
  std::string number;
  int numberType = 0;  // the TP-DA type-of-address octet (0x91, 0x81, ...)

  int protocolId = 0;        // TP-PID
  int dataCodingScheme = 0;  // TP-DCS
  int alphabet = 0;          // 0 GSM 7-bit, 1 8-bit data, 2 UCS2 (as SmsDeliver::alphabet)
  std::vector<unsigned char> validityPeriod;  // TP-VP as sent: 0, 1 or 7 octets
  int userDataLength = 0;                     // TP-UDL: septets for 7-bit, else octets
  std::vector<unsigned char> header;          // the user-data header after its UDHL octet
  // The text after the header in ISO-8859-1: 7-bit data through
  // gsm_to_latin1, 8-bit data as it is, UCS2 as one byte per code unit, with
  // '?' for each code unit above U+00FF (counted in `replacedCharacters`).
  // 8-bit and UCS2 texts may hold zero bytes.
  std::string text;
  int replacedCharacters = 0;
  // The same text in UTF-8, every character kept (as SmsDeliver::utf8Text).
  std::string utf8Text;
};

// Decodes `hex` (the service-centre part, then the TPDU; upper or lower case
// hex digits, nothing else) into `submit`.  False with `lastError` set, as
// the header comment lists.
bool decode_sms_submit(const std::string& hex, SmsSubmit& submit, std::string& lastError);

}  // namespace smstest
