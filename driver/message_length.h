// The text of a run with the option length=N: the marked message text, then
// a fixed filler up to exactly N characters (ISO-8859-1 bytes, one a
// character).
//
// The 7-bit filler holds every character of the GSM 7-bit default alphabet
// that has an ISO-8859-1 form and is no control character, the extension
// characters ^ { } \ [ ~ ] | among them, in the order of their ISO-8859-1
// codes, again and again; a text with a character the alphabet lacks (it
// goes in UCS2 anyway) gets the printable ISO-8859-1 characters instead.
// The filled text never ends in a space (a receiver may trim it): such a
// last character is a '.'.
#pragma once

#include <string>

namespace smstest {

// The two fillers, once each.
const std::string& gsm7_filler();
const std::string& ucs2_filler();

// `text` and the filler its alphabet takes, `length` characters in all, in
// `filled`.  With `utf8` the text is UTF-8 (a character beyond U+00FF), its
// characters are code points, and the filler goes in UTF-8 too.  False with
// `why` (one line, no line end) when `text` is longer than `length`.
bool fill_to_length(const std::string& text, int length, bool utf8, std::string& filled,
                    std::string& why);

}  // namespace smstest
