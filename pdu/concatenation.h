// Concatenated SMS-SUBMIT: a text longer than one message split into parts,
// each an SMS-SUBMIT whose user data starts with a header holding the
// concatenation element of TS 23.040 9.2.3.24.1 (IEI 0x00, 8-bit reference)
// or 9.2.3.24.8 (IEI 0x08, 16-bit reference).  A text that fits one message
// is encoded exactly as encode_sms_submit does it (pdu_encode.h), without a
// header.
//
// Part sizes: with the 8-bit reference the header takes six octets (UDHL,
// IEI, IEDL, reference, count, sequence), which leaves 153 septets (one fill
// bit pads the header to seven septets) or 67 UCS2 characters; with the
// 16-bit reference seven octets, 152 septets (no fill) or 66 characters.
// A part never ends inside an escape pair (an extension character stays in
// one part, so a part may carry one septet less) nor between the two halves
// of a UTF-16 surrogate pair.
//
// Errors: false with `lastError` overwritten by one line (no line end):
//   "Message text too long: %d parts, at most %d (option maxParts)"
//   "Bad concatenation reference size %d: 8 or 16"
//   "Bad part ceiling %d: 1 to 255"
// and encode_sms_submit's texts for the number and the options.  On failure
// `parts` is left unchanged.  Nothing throws.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pdu/pdu_encode.h"

namespace smstest {

constexpr int kDefaultMaxParts = 10;

struct ConcatOptions {
  int referenceBits = 8;  // 8: IEI 0x00; 16: IEI 0x08
  int maxParts = kDefaultMaxParts;
  SubmitOptions submit;
};

// Units of text one part carries: septets for GSM 7-bit, characters (code
// units) for UCS2.
int gsm7_part_capacity(int referenceBits);
int ucs2_part_capacity(int referenceBits);

// Splits `text` (ISO-8859-1, every byte with a GSM 7-bit form) into pieces
// of at most `septetsPerPart` septets, an extension character never cut.
std::vector<std::string> split_gsm7_text(const std::string& text, int septetsPerPart);

// Splits UTF-8 `text` (valid, every character with a GSM 7-bit form) into
// pieces of at most `septetsPerPart` septets, an extension character (the
// euro sign, say) never cut.
std::vector<std::string> split_utf8_gsm7_text(const std::string& text, int septetsPerPart);

// Splits UTF-16 code units into pieces of at most `unitsPerPart`, a
// surrogate pair never cut (a lone surrogate counts as one unit).
std::vector<std::u16string> split_utf16(const std::u16string& units, int unitsPerPart);

// The user-data header of one part: UDHL then the concatenation element.
std::vector<unsigned char> concatenation_header(int referenceBits, int reference, int count,
                                                int sequence);

// Encodes one part: `header` (UDHL included) in front of the 7-bit text
// `text` (UTF-8 when options.utf8), or of UCS2 `units` when `ucs2`.  The
// first octet gets TP-UDHI.
// False with `lastError` set for a bad number or option.
bool encode_submit_part(const std::string& number, const std::vector<unsigned char>& header,
                        bool ucs2, const std::string& text, const std::u16string& units,
                        EncodedPdu& pdu, std::string& lastError, const SubmitOptions& options);

// Encodes `text` as one message when it fits, else as concatenated parts
// carrying `reference` (kept to the reference size).  With
// options.submit.utf8 `text` is UTF-8: the parts are 7-bit when every
// character has a 7-bit form (the euro sign an escape pair), else UCS2,
// where a character beyond U+FFFF (an emoji) keeps its surrogate pair in
// one part; an invalid text gives "Message text is not valid UTF-8".  False
// with `lastError` set (see above).
bool encode_concatenated_submit(const std::string& number, const std::string& text, int reference,
                                std::vector<EncodedPdu>& parts, std::string& lastError,
                                const ConcatOptions& options = ConcatOptions());

// Concatenation references for one run: the first drawn from
// std::random_device once, each later one the next value, so two long
// messages of one run never share a reference, whatever the clock says.
class ConcatReferences {
 public:
  ConcatReferences() : next_(static_cast<uint16_t>(std::random_device{}())) {}
  explicit ConcatReferences(uint16_t first) : next_(first) {}
  // The next reference, 0-255 for 8 bits, 0-65535 for 16.
  int take(int referenceBits) {
    const uint16_t value = next_++;
    return referenceBits == 16 ? value : (value & 0xFF);
  }

 private:
  uint16_t next_;
};

}  // namespace smstest
