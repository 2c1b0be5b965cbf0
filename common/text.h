// Text helpers shared by every layer of SMS_TEST.
//
// Texts are std::string byte strings.  Modem responses are handled as
// NUL-terminated buffers, so the search helpers take C strings and stop at
// the first NUL, as the rest of the tool does.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

namespace smstest {

// printf-style formatting into a new string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, va_list args);

// Position of the first occurrence of `pattern` in `text`, or -1.  An empty
// pattern matches at 0; a pattern longer than the text never matches.
int find_text(const char* text, const char* pattern);

// True for the six white-space characters of the C locale (space, \t, \n,
// \v, \f, \r), whatever locale the process runs in.
bool is_c_space(unsigned char c);

// Copy of `text` without C-locale white space at either end.
std::string trim_text(const std::string& text);

// The pieces of `text` between the `delimiter` bytes: one more piece than
// there are delimiters, empty pieces kept ("" gives one empty piece).
std::vector<std::string> split(const std::string& text, char delimiter);

}  // namespace smstest
