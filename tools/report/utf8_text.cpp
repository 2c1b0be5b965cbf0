#include "tools/report/utf8_text.h"

namespace smstest {

bool is_utf8(const std::string& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    unsigned long point;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      point = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      point = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      point = c & 0x07;
    } else {
      return false;  // a continuation byte, 0xC0/0xC1 (overlong) or above 0xF4
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      point = (point << 6) | (p[i] & 0x3F);
    }
    // Overlong three- and four-byte forms, surrogates, and beyond U+10FFFF.
    if (extra == 2 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) return false;
    if (extra == 3 && (point < 0x10000 || point > 0x10FFFF)) return false;
    p += extra + 1;
  }
  return true;
}

std::string to_utf8(const std::string& bytes) {
  if (is_utf8(bytes)) return bytes;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

size_t utf8_length(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

std::string utf8_prefix(const std::string& utf8, size_t maxLength) {
  if (utf8_length(utf8) <= maxLength || maxLength == 0) return maxLength == 0 ? "" : utf8;
  size_t points = 0;
  size_t i = 0;
  for (; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && points++ == maxLength - 1) break;
  }
  return utf8.substr(0, i) + "\xE2\x80\xA6";  // U+2026
}

}  // namespace smstest
