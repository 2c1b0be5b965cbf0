// The character sets in which a simulated modem exchanges message texts with
// its client in text mode (AT+CSCS), and the length of a text in the GSM
// 7-bit default alphabet.  The store keeps texts as ISO-8859-1 bytes, the
// form in which the network carries them, except a text with a character
// beyond U+00FF (the euro sign, Cyrillic, an emoji), which the network and
// the store carry as UTF-8 with a flag (StoredMessage::utf8); these
// conversions sit between the store and the line.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace smstest {

enum class TeCharset {
  ira,   // "IRA": the bytes pass unchanged, so ASCII texts arrive as typed
  gsm,   // "GSM": every byte is a code of the GSM 7-bit default alphabet
  ucs2,  // "UCS2": every string is the hex of its UTF-16 code units, four
         // digits each (a surrogate pair for a character beyond U+FFFF)
};

// The name AT+CSCS gives `charset`: "IRA", "GSM" or "UCS2".
const char* charset_name(TeCharset charset);

// A text as the network carries it: ISO-8859-1 bytes, or UTF-8 when a
// character of it lies beyond U+00FF.
struct NetworkText {
  NetworkText() = default;
  // An ISO-8859-1 text (implicit: every text was one before UTF-8 ones).
  NetworkText(std::string latin1) : text(std::move(latin1)) {}
  NetworkText(std::string bytes, bool isUtf8) : text(std::move(bytes)), utf8(isUtf8) {}

  std::string text;
  bool utf8 = false;
};

// The network form of UTF-8 `text` (valid UTF-8).
NetworkText network_text_of_utf8(const std::string& text);

// The ISO-8859-1 text of bytes entered in `charset` (a number, say).  GSM
// codes become their ISO-8859-1 characters (an escape and the code after it
// one character of the extension table); codes that ISO-8859-1 lacks, and
// bytes of 0x80 or more, become '?'.  UCS2 hex gives its characters, '?'
// for one beyond U+00FF, and "" when it is not such hex.
std::string text_from_te(TeCharset charset, const std::string& entered);

// The message text entered in `charset` as the network carries it: as
// text_from_te, but UCS2 keeps a character beyond U+00FF (the whole text
// UTF-8 then).  False when UCS2 `entered` is not hex of whole code units.
bool message_from_te(TeCharset charset, const std::string& entered, NetworkText& out);

// The bytes a modem writes for stored `text` (UTF-8 when `utf8`) in
// `charset`: in "GSM" each character becomes its code (an extension
// character the escape 0x1B and its code); a character the alphabet lacks
// becomes '?', as does one beyond U+00FF in "IRA"; "UCS2" writes every
// character as hex.
std::string text_to_te(TeCharset charset, const std::string& text, bool utf8 = false);

// The first message's worth of UTF-8 `text`, as an SMS-DELIVER carries it:
// 160 septets when every character has a 7-bit form, else 70 UTF-16 code
// units, never half a character or half a surrogate pair.
std::string first_utf8_message(const std::string& text);

// Septets that `text` takes in the default alphabet: two for a character of
// the extension table, one for every other (a missing one is sent as '?').
size_t septet_count(const std::string& text);

// Units that `text` (UTF-8 when `utf8`) takes in one message: septets in
// the 7-bit alphabet when it has a 7-bit form (ISO-8859-1 texts are always
// counted so, a missing character as '?'), else UTF-16 code units; `gsm7`
// says which.
size_t message_units(const std::string& text, bool utf8, bool& gsm7);

}  // namespace smstest
