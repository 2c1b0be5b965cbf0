// SMS-DELIVER PDUs for the decoding benchmark (pdu_bench), built here as a
// modem outside text mode delivers them: hex text of the service-centre
// address followed by the TPDU (3GPP TS 23.040), with a fixed originator and
// time stamp.  User data in the GSM 7-bit default alphabet or in UCS2, with
// or without a user-data header.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// One benchmark message: its PDU and what a decoder must read back.
struct PduSample {
  std::string name;      // short identifier, used in benchmark names
  std::string hex;       // the PDU as upper-case hex text
  std::string text;      // the user data as ISO-8859-1 text, header excluded
  int characters = 0;    // characters of user data, header excluded
  int concatenated = 0;  // 1 when the PDU carries a concatenation element
};

// The user-data header element of one part of a concatenated message with
// an 8-bit reference (IEI 0x00): 00 03 reference total sequence.
std::vector<unsigned char> concat_header(unsigned char reference, unsigned char total,
                                         unsigned char sequence);

// A PDU with `text` in the 7-bit default alphabet, behind a user-data header
// made of `header` (its elements, without the header length) when that is
// not empty.  Each byte of `text` is taken as one septet value, so the text
// must keep to characters that the default alphabet places where ASCII does:
// letters, digits, the blank and . , ! ? ( ) : ; ' " - + / * % & # = < >.
// At most 160 septets including the header's.
std::string deliver_pdu_7bit(const std::string& text, const std::vector<unsigned char>& header);

// A PDU with `text` as UCS2 (big-endian code units), behind a user-data
// header made of `header` when that is not empty.  At most 140 octets.
std::string deliver_pdu_ucs2(const std::u16string& text, const std::vector<unsigned char>& header);

// The three messages of the benchmark: a 160-character 7-bit message, a
// 70-character UCS2 message (characters of ISO-8859-1, so that decoding
// traces nothing) and the middle part of a concatenated 7-bit message (153
// characters behind a concatenation header).
std::vector<PduSample> benchmark_samples();

}  // namespace smstest
