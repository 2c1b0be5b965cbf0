// Texts for the report's outputs.  Result files and campaign files hold
// bytes: a testName or a status text may come from a Windows code page or
// from a modem's answer.  The JSON, GeoJSON, CSV, HTML and table writers all
// pass every text through `to_utf8`, so that no byte sequence can make an
// output invalid or a writer fail.
#pragma once

#include <cstddef>
#include <string>

namespace smstest {

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_utf8(const std::string& bytes);

// `bytes` unchanged when it is well-formed UTF-8; otherwise the whole text
// read as ISO-8859-1, each byte from 0x80 becoming its two-byte UTF-8 form.
// A text is never mixed: either all of it is UTF-8 or all of it is Latin-1.
std::string to_utf8(const std::string& bytes);

// Number of code points in a well-formed UTF-8 text (its width in a table
// of one column per character).
size_t utf8_length(const std::string& utf8);

// The first `maxLength` code points of a well-formed UTF-8 text, with "…"
// in place of the last one when it had to be cut.
std::string utf8_prefix(const std::string& utf8, size_t maxLength);

}  // namespace smstest
