// The encoding direction of the user-data alphabets (alphabets.h): ISO-8859-1
// text into GSM 7-bit septets and packed octets, or into UCS2.  Used by the
// PDU encoders (pdu_encode.h); the simulator and the tests may use it alone.
//
// The 7-bit mapping is the exact inverse of what the decoder produces:
// every byte that gsm_to_latin1 can yield maps back to the septets that yield
// it, so a text encoded here decodes to the same bytes.  The default alphabet
// wins where both tables hold a byte (the currency sign 0xA4 is one septet,
// 0x24, not the escaped euro sign); a byte that only the extension table holds
// ('^', '{', '}', '\\', '[', '~', ']', '|' and form feed) takes two septets,
// the escape 0x1B and its code.  '?' maps to the question mark itself, never
// to one of the characters that the decoder shows as '?'.  Everything else
// (among them '`', most control bytes and most of 0x80-0xFF) has no 7-bit
// form and needs UCS2, where every byte is its own code point U+0000-U+00FF.
//
// Nothing here fails or allocates beyond the returned containers.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// The septets for one ISO-8859-1 byte, written to `septets`: returns 1 (a
// default-alphabet code), 2 (escape and extension code) or 0 when the byte
// has no GSM 7-bit form (nothing written).
int latin1_to_gsm7(unsigned char c, unsigned char septets[2]);

// Septets that `text` takes in the GSM 7-bit alphabet, escapes counted; -1
// when some byte has no 7-bit form.
int gsm7_septet_count(const std::string& text);

// True when every byte of `text` has a GSM 7-bit form (an empty text does).
inline bool maps_to_gsm7(const std::string& text) { return gsm7_septet_count(text) >= 0; }

// The septets of `text`, one per byte.  Bytes without a 7-bit form are
// skipped; ask maps_to_gsm7 first.
std::vector<unsigned char> latin1_to_septets(const std::string& text);

// Packs septets (values 0-127; bit 7 is ignored) into the bit stream that
// unpack_septets reads: septet k at bits 7k..7k+6, bit 0 of the stream being
// bit 0 of the first octet.  Gives (7 * n + 7) / 8 octets, unused bits 0.
std::vector<unsigned char> pack_septets(const std::vector<unsigned char>& septets);

// Big-endian UCS2 for `text`: two octets per byte, 0x00 and the byte.
std::vector<unsigned char> latin1_to_ucs2(const std::string& text);

}  // namespace smstest
