// SMS-DELIVER PDU decoder: open this header first in pdu/.
//
// decode_pdu turns one received short message, given as hex text the way a
// modem outside text mode delivers it (service-centre address, then the
// SMS-DELIVER TPDU of 3GPP TS 23.040), into an SmsDeliver record: the header
// flags, the originating address, the service-centre time stamp, the elements
// of the user-data header and the user data as ISO-8859-1 text.  The message
// pickup calls it for sessions that are not in text mode; tools/pdu_decode
// prints its records as JSON.  The alphabets and `trace` are in alphabets.h.
//
// Failures are reported the decoder's way: one line through `trace` (standard
// error and `traceFile`) and no record.  The decoder keeps no state apart from
// `traceFile`.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pdu/alphabets.h"

namespace smstest {

// TS 23.040 allows originating addresses of up to 20 semi-octets.
constexpr int kMaxAddressDigits = 20;

// One address field as it stands in the PDU.
struct PduAddress {
  int length = 0;  // the length octet: for the originating address, semi-octets
  int type = 0;    // the type-of-address octet
  // One semi-octet value (0..15) per byte in address order, the low nibble of
  // each octet first, and a zero byte at index `length`.
  std::array<unsigned char, kMaxAddressDigits + 1> digits{};
};

// One information element of the user-data header; a singly linked list
// node that owns the rest of the list.
struct UdhElement {
  int length = 0;                   // IEDL
  int id = 0;                       // IEI
  std::vector<unsigned char> data;  // a copy of the element's `length` octets
  uint16_t destinationPort = 0;     // application port elements (0x04, 0x05) only
  uint16_t originatorPort = 0;      // application port elements only
  std::unique_ptr<UdhElement> next;
};

// The decoded SMS-DELIVER record.  Owns everything it points to.
struct SmsDeliver {
  int replyPath = 0;               // TP-RP, bit 7 of the first octet
  int udhi = 0;                    // TP-UDHI, bit 6: a user-data header is present
  int statusReportIndication = 0;  // TP-SRI, bit 5
  int moreMessagesToSend = 0;      // TP-MMS, bit 2
  int messageTypeIndicator = 0;    // TP-MTI, bits 1-0; stored, never checked
  PduAddress originator;           // TP-OA
  int protocolId = 0;              // TP-PID
  int dataCodingScheme = 0;        // TP-DCS
  int alphabet = 0;                // 0 GSM 7-bit default alphabet, 1 8-bit data, 2 UCS2
  // TP-SCTS: year, month, day, hour, minute, second, time zone, each octet
  // with its nibbles swapped so that it reads as BCD (octet 0x21 is held as
  // 0x12).  The time zone's sign (bit 3 of the octet as received) ends up in
  // bit 7 and is not interpreted.
  std::array<int, 7> timestamp{};
  int userDataLength = 0;                // TP-UDL as received: septets for 7-bit, else octets
  std::unique_ptr<UdhElement> elements;  // header elements in order; none without a header
  // The user-data units decoded into `text`: TP-UDL less the header.  For
  // 7-bit data the header takes ceil(8 * (UDHL + 1) / 7) septets, fill bits
  // included; for 8-bit and UCS2 data UDHL + 1 octets.
  int textLength = 0;
  unsigned char concatenated = 0;  // 1 when a concatenation element (0x00, 0x08) was found
  uint16_t concatReference = 0;
  unsigned char concatTotal = 0;     // maximum number of parts
  unsigned char concatSequence = 0;  // sequence number of this part
  // The decoded user data (ISO-8859-1).  8-bit and UCS2 data may hold zero
  // bytes; text.c_str() is the zero-terminated form.
  std::string text;
  // The same text in UTF-8, every character kept: the 7-bit alphabet's Greek
  // capitals and euro sign, UCS2 beyond U+00FF (a surrogate pair as its one
  // character, an unpaired half as U+FFFD); 8-bit data read as ISO-8859-1.
  std::string utf8Text;

  SmsDeliver() = default;
  SmsDeliver(const SmsDeliver&) = delete;
  SmsDeliver& operator=(const SmsDeliver&) = delete;
  ~SmsDeliver();  // unlinks the element list without recursing
};

// Decodes one PDU given as zero-terminated hex text; `logFile` (may be null)
// first becomes `traceFile`, so this and every later trace line also goes
// there.  Returns the new record, or null after one trace line naming the
// failure.  A successful decode prints nothing except "Error calling
// wctomb!\n" for each UCS2 character that ISO-8859-1 lacks.  Octets after the
// user data are ignored.  A null `hexText` counts as empty.
std::unique_ptr<SmsDeliver> decode_pdu(const char* hexText, FILE* logFile);

// The octets of a hex text: (c + 1) / 2 of them for c characters, octet k
// read from characters 2k and 2k + 1 (for odd c the last from one character)
// the way strtol reads base 16 in the C locale, keeping the low 8 bits: so
// leading white space and a sign are accepted, reading stops at the first
// non-hex character, and a pair without digits gives 0 ("-1" gives 0xFF).
std::vector<unsigned char> hex_to_octets(const char* hexText);

// Reads one address at `position` of the `pduLength` octets into `address`
// and moves `position` past it.  With `countsDigits` the length octet counts
// semi-octets (originating address) and the digits are stored; without it the
// length counts the octets after itself (service-centre address), and only
// `length` and `type` are stored, the digits being left empty.  Fails, after
// one trace line and with `position` and `address` unchanged, when the
// address does not leave at least one octet after it in the PDU, or when an
// originating address has more than kMaxAddressDigits semi-octets.
bool read_address(int& position, PduAddress& address, const unsigned char* octets, int pduLength,
                  bool countsDigits);

// The address as the sender text of a message.  Usually `length` characters:
// digit values 0-9 become '0'-'9' and 10-15 the bytes 0x0A-0x0F.  An
// alphanumeric address (type of number 101 in bits 6-4 of `type`, as in 0xD0)
// holds GSM 7-bit packed text instead: floor(4 * length / 7) septets, returned
// in ISO-8859-1 as gsm_to_latin1 converts them.  Meant for addresses read with
// `countsDigits`.
std::string address_text(const PduAddress& address);

}  // namespace smstest
