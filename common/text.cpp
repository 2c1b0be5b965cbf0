#include "common/text.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace smstest {

std::string vformat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::vector<char> big(static_cast<size_t>(needed) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, args);
  return std::string(big.data(), needed);
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = vformat(fmt, args);
  va_end(args);
  return out;
}

int find_text(const char* text, const char* pattern) {
  size_t n = std::strlen(text);
  size_t m = std::strlen(pattern);
  if (n < m) return -1;
  for (size_t i = 0; i + m <= n; ++i) {
    if (std::memcmp(text + i, pattern, m) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool is_c_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trim_text(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && is_c_space(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && is_c_space(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> split(const std::string& text, char delimiter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delimiter, start);
    if (at == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

}  // namespace smstest
