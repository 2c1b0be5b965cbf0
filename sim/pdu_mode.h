// The PDU mode of a simulated modem's standard SMS commands (AT+CMGF=0):
// what a client types after the prompt of AT+CMGS=<length>, read with the
// SMS-SUBMIT decoder, and the SMS-DELIVER that AT+CMGL and AT+CMGR show for
// a stored message, built with the SMS-DELIVER encoder (pdu/pdu_encode.h).
// Both come from pdu/, so what the simulator lists the tool's decoder reads
// back, and what the tool's encoder sends the simulator reads.  Used by
// standard_commands.cpp; no I/O, no state.
#pragma once

#include <string>
#include <vector>

#include "sim/message_store.h"
#include "sim/sim_config.h"

namespace smstest {

// The service centre that delivers every message of the simulated network:
// its address stands in front of every listed PDU, as modems print it
// ("07915155000000F0").
extern const char kServiceCentre[];

// The most octets an SMS-SUBMIT TPDU can take (first octet, reference, a
// destination of 20 digits, identifiers, a 7-octet validity period, 140
// octets of user data): the largest <length> that AT+CMGS=<length> takes.
constexpr int kMaxSubmitLength = 164;

// A message that a client hands over in PDU mode, as the network carries it.
struct SubmittedPdu {
  std::string to;     // "+" and the digits for an international number, else the digits
  std::string text;   // ISO-8859-1 bytes, after the user-data header
  bool utf8 = false;  // `text` is UTF-8: a character of it lies beyond U+00FF
  // The elements of the user-data header (TP-UDHI set), without its UDHL
  // octet: the concatenation element of a part, for one.  Empty for none.
  std::vector<unsigned char> header;
  bool statusReport = false;  // TP-SRR: the sender asks for a status report
};

// Reads `hex`, typed after the prompt of AT+CMGS=`length` (without its
// Ctrl-Z).  False, with one line naming the fault in `lastError`, when it
// does not decode as an SMS-SUBMIT (the decoder's own text), when its TPDU is
// not `length` octets, or when its destination is not a phone number
// (digits, "+" first for an international one).  A modem answers each of
// these with +CMS ERROR: 304.  On failure `out` is left as it was.
bool read_submitted_pdu(const std::string& hex, int length, SubmittedPdu& out,
                        std::string& lastError);

// Where a part stands in its concatenated message.
struct ConcatenatedPart {
  int reference = 0;  // 0-255 (element 0x00) or 0-65535 (element 0x08)
  int count = 0;      // parts of the message, 1-255
  int sequence = 0;   // this part's number, 1 to `count`
};

// Reads the concatenation element (TS 23.040 9.2.3.24.1, IEI 0x00, or
// 9.2.3.24.8, IEI 0x08) from the elements of a user-data header (without
// UDHL).  False when there is none, when the elements run past the header,
// or when the element's count is 0 or its sequence number is 0 or past the
// count (a receiver ignores such an element).
bool concatenated_part(const std::vector<unsigned char>& header, ConcatenatedPart& part);

// A stored message as AT+CMGL and AT+CMGR show it in PDU mode.
struct ListedPdu {
  std::string hex;  // the service-centre part, then the TPDU; upper-case hex
  int length = 0;   // octets of the TPDU of `hex`: the <length> of +CMGL / +CMGR
};

// The SMS-DELIVER of `message`: TP-OA from its sender (type 0x91 when it is
// international, else 0x81), its user-data header when it came with one
// (TP-UDHI, the header, fill bits), its text in the GSM 7-bit alphabet when
// every byte maps there, else in UCS2, its arrival as the time stamp (UTC,
// zone +00).  A text longer than one message (which only the proprietary
// send, an injection or a prefix alteration can store) shows its first 160
// septets, or 70 characters in UCS2, less what the header takes.  `damage` then spoils the PDU so
// that a decoder refuses it; `length` always counts the octets that `hex` holds. False, with the
// encoder's text in `lastError`, for a sender that no PDU can carry.
bool listed_pdu(const StoredMessage& message, PduDamage damage, ListedPdu& out,
                std::string& lastError);

}  // namespace smstest
