#include "driver/message_text.h"

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

bool read_message_text(const std::string& bytes, MessageCharset charset, MessageText& out,
                       std::string& why) {
  const bool utf8 = valid_utf8(bytes);
  if (charset == MessageCharset::kLatin1 || (charset == MessageCharset::kAuto && !utf8)) {
    out = MessageText{bytes, false};
    return true;
  }
  if (!utf8) {
    why = "is not valid UTF-8 (option charset=utf-8)";
    return false;
  }
  std::string latin1;
  latin1.reserve(bytes.size());
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const size_t length = utf8_sequence(p, left);
    const unsigned long value = code_point(p, length);
    if (value > 0xFF) {
      out = MessageText{bytes, true};
      return true;
    }
    latin1 += static_cast<char>(value);
    p += length;
    left -= length;
  }
  out = MessageText{latin1, false};
  return true;
}

size_t message_text_length(const MessageText& text) {
  if (!text.utf8) return text.text.size();
  size_t count = 0;
  // Every byte but a continuation byte starts a character.
  for (char c : text.text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

}  // namespace smstest
