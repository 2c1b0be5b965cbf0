#include "driver/message_text.h"

#include "common/text.h"
#include "common/utf8.h"

namespace smstest {

namespace {

// The code point of the valid UTF-8 sequence of `length` bytes at `p`.
unsigned long code_point(const unsigned char* p, size_t length) {
  if (length == 1) return p[0];
  unsigned long value = p[0] & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) value = (value << 6) | (p[i] & 0x3F);
  return value;
}

}  // namespace

bool message_text_latin1(const std::string& text, MessageCharset charset, std::string& latin1,
                         std::string& why) {
  const bool utf8 = valid_utf8(text);
  if (charset == MessageCharset::kLatin1 || (charset == MessageCharset::kAuto && !utf8)) {
    latin1 = text;
    return true;
  }
  if (!utf8) {
    why = "is not valid UTF-8 (option charset=utf-8)";
    return false;
  }
  std::string out;
  out.reserve(text.size());
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    const size_t length = utf8_sequence(p, left);
    const unsigned long value = code_point(p, length);
    if (value > 0xFF) {
      why = format(
          "holds U+%04lX, which the text and pdu command sets can't send: they carry "
          "ISO-8859-1 characters (option charset=latin1 reads every byte as one of them)",
          value);
      return false;
    }
    out += static_cast<char>(value);
    p += length;
    left -= length;
  }
  latin1 = out;
  return true;
}

}  // namespace smstest
