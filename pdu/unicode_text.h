// The user-data alphabets for texts held as UTF-8 rather than ISO-8859-1:
// any Unicode character goes out, in the GSM 7-bit default alphabet with its
// extension table where that has it (the Greek capitals, the euro sign,
// [ ] { } \ ^ ~ |), else in UCS2 as UTF-16 (a character beyond U+FFFF takes
// a surrogate pair, two of the 70 code units of one message), and comes back
// as the same UTF-8 text.
//
// The default alphabet wins where both tables hold a character, as in
// gsm7_encode.h: the currency sign U+00A4 is the septet 0x24, the euro sign
// U+20AC the escape and 0x65.
//
// Nothing here allocates beyond the returned containers; nothing throws.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// The septets for one code point, written to `septets`: 1 (a
// default-alphabet code), 2 (escape and extension code) or 0 when the
// character has no GSM 7-bit form (nothing written).
int unicode_to_gsm7(char32_t code, unsigned char septets[2]);

// The code points of `text`; false (and `codes` left alone) when `text` is
// not valid UTF-8.
bool utf8_code_points(const std::string& text, std::vector<char32_t>& codes);

// The septets of UTF-8 `text`, escapes included; false (and `septets` left
// alone) when `text` is not valid UTF-8 or a character has no 7-bit form.
bool utf8_to_septets(const std::string& text, std::vector<unsigned char>& septets);

// Big-endian UTF-16 of UTF-8 `text` (the UCS2 user data): two octets per
// character up to U+FFFF, a surrogate pair of four beyond.  False (and
// `octets` left alone) when `text` is not valid UTF-8.
bool utf8_to_utf16(const std::string& text, std::vector<unsigned char>& octets);

// UTF-8 text of septets of the default alphabet: an escape and the code
// after it give one extension-table character; an extension code the table
// lacks, a trailing escape and a septet of 0x80 or more give '?'.
std::string septets_to_utf8(const std::vector<unsigned char>& septets);

// UTF-8 text of `count` octets of big-endian UTF-16 (an odd last octet is
// ignored): a surrogate pair gives its one character, an unpaired surrogate
// U+FFFD.
std::string utf16_to_utf8(const unsigned char* data, int count);

// UTF-8 text of ISO-8859-1 bytes: each byte is its own code point.
std::string utf8_of_latin1(const std::string& latin1);

// The UTF-8 bytes of one code point (U+FFFD for a surrogate or beyond
// U+10FFFF).
std::string utf8_of(char32_t code);

// `octets` as upper-case hex digits, two an octet.
std::string upper_hex(const std::vector<unsigned char>& octets);

// UTF-8 text of UCS2 hex (four hex digits, either case, a UTF-16 code unit,
// as the character set "UCS2" of AT+CSCS writes text); false when `hex` is
// not that.
bool utf8_of_ucs2_hex(const std::string& hex, std::string& text);

}  // namespace smstest
