// The character sets in which a simulated modem exchanges message texts with
// its client in text mode (AT+CSCS), and the length of a text in the GSM
// 7-bit default alphabet.  The store keeps texts as ISO-8859-1 bytes, the
// form in which the network carries them; these conversions sit between the
// store and the line.
#pragma once

#include <cstddef>
#include <string>

namespace smstest {

enum class TeCharset {
  ira,  // "IRA": the bytes pass unchanged, so ASCII texts arrive as typed
  gsm,  // "GSM": every byte is a code of the GSM 7-bit default alphabet
};

// The text to store for bytes entered in `charset`.  GSM codes become their
// ISO-8859-1 characters (an escape and the code after it one character of
// the extension table); codes that ISO-8859-1 lacks, and bytes of 0x80 or
// more, become '?'.
std::string text_from_te(TeCharset charset, const std::string& entered);

// The bytes a modem writes for stored `text` in `charset`: in "GSM" each
// character becomes its code (an extension character the escape 0x1B and its
// code); a character the alphabet lacks becomes '?'.
std::string text_to_te(TeCharset charset, const std::string& text);

// Septets that `text` takes in the default alphabet: two for a character of
// the extension table, one for every other (a missing one is sent as '?').
size_t septet_count(const std::string& text);

}  // namespace smstest
