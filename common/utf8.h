// UTF-8 checks for texts that come from outside (command files, modems) and
// go where only valid UTF-8 may go (JSON records, reports).
#pragma once

#include <cstddef>
#include <string>

namespace smstest {

// Length of the UTF-8 sequence at `p` (of `left` bytes, at least 1), 0 when
// none starts there: no overlong forms, no surrogates, nothing past U+10FFFF.
size_t utf8_sequence(const unsigned char* p, size_t left);

// True when `bytes` is valid UTF-8 as a whole.
bool valid_utf8(const std::string& bytes);

// `bytes` as a valid UTF-8 text: unchanged when it is valid UTF-8, else
// every byte read as ISO-8859-1 (so every byte value survives, escaped by
// its own code point).
std::string utf8_or_latin1(const std::string& bytes);

}  // namespace smstest
