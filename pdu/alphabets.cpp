#include "pdu/alphabets.h"

#include <cstdarg>

namespace smstest {

FILE* traceFile = nullptr;
bool traceLossToStderr = true;

namespace {

// TS 23.038 default alphabet in ISO-8859-1.  Positions whose character
// ISO-8859-1 lacks (the Greek capitals and 0x10 delta) hold '?', as does the
// escape, which gsm_to_latin1 handles before it looks here.
const unsigned char kDefaultAlphabet[128] = {
    0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xF9, 0xEC,  // @ £ $ ¥ è é ù ì
    0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,  // ò Ç LF Ø ø CR Å å
    0x3F, 0x5F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,  // Δ _ Φ Γ Λ Ω Π Ψ
    0x3F, 0x3F, 0x3F, 0x3F, 0xC6, 0xE6, 0xDF, 0xC9,  // Σ Θ Ξ ESC Æ æ ß É
    0x20, 0x21, 0x22, 0x23, 0xA4, 0x25, 0x26, 0x27,  // space ! " # ¤ % & '
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // ( ) * + , - . /
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,  // 0 - 7
    0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  // 8 9 : ; < = > ?
    0xA1, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,  // ¡ A - G
    0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // H - O
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,  // P - W
    0x58, 0x59, 0x5A, 0xC4, 0xD6, 0xD1, 0xDC, 0xA7,  // X Y Z Ä Ö Ñ Ü §
    0xBF, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,  // ¿ a - g
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,  // h - o
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,  // p - w
    0x78, 0x79, 0x7A, 0xE4, 0xF6, 0xF1, 0xFC, 0xE0,  // x y z ä ö ñ ü à
};

const unsigned char kEscape = 0x1B;

}  // namespace

void trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  std::vfprintf(stderr, format, args);
  if (traceFile != nullptr) std::vfprintf(traceFile, format, copy);
  va_end(copy);
  va_end(args);
  std::fflush(stderr);
  if (traceFile != nullptr) std::fflush(traceFile);
}

int unpack_septets(const unsigned char* packed, int count, unsigned char* septets) {
  if (count <= 0) return 0;
  int written = 0;
  unsigned carry = 0;
  int n = 7;  // bits the next septet takes from the next octet
  for (;;) {
    unsigned octet = *packed++;
    septets[written++] = static_cast<unsigned char>(((octet & ((1u << n) - 1)) << (7 - n)) | carry);
    if (written == count) break;
    carry = octet >> n;
    if (n == 1) {
      // Every seventh octet ends with a whole septet in its top bits.
      septets[written++] = static_cast<unsigned char>(carry);
      if (written == count) break;
      n = 7;
      carry = 0;
    } else {
      --n;
    }
  }
  return written;
}

char gsm_ext_to_latin1(unsigned char code) {
  switch (code) {
    case 0x0A:
      return '\x0C';  // form feed (page break)
    case 0x14:
      return '^';
    case 0x28:
      return '{';
    case 0x29:
      return '}';
    case 0x2F:
      return '\\';
    case 0x3C:
      return '[';
    case 0x3D:
      return '~';
    case 0x3E:
      return ']';
    case 0x40:
      return '|';
    case 0x65:
      return '\xA4';  // euro sign; ISO-8859-1 has only the currency sign
    default:
      return '?';
  }
}

void gsm_to_latin1(int count, const unsigned char* septets, char* text) {
  int out = 0;
  for (int j = 0; j < count; ++j) {
    unsigned char septet = septets[j];
    char c;
    if (septet == kEscape) {
      // A trailing escape has no code after it within the count; the byte
      // beyond may be the caller's terminator slot, so it is never read.
      c = j + 1 < count ? gsm_ext_to_latin1(septets[++j]) : '?';
    } else if (septet >= 0x80) {
      c = '?';
    } else {
      c = static_cast<char>(kDefaultAlphabet[septet]);
    }
    // out <= j here, so writing over the septets in place is safe.
    text[out++] = c;
  }
  text[out] = '\0';
}

int ucs2_to_mbcs(int octetCount, char* text, const unsigned char* data) {
  int total = 0;
  for (int i = 0; i + 1 < octetCount; i += 2) {
    unsigned unit = (static_cast<unsigned>(data[i]) << 8) | data[i + 1];
    // The C locale's wctomb: one byte for U+0000..U+00FF, a failure for
    // everything else.  Done by hand so that a locale set elsewhere in the
    // process cannot change the result.
    if (unit <= 0xFF) {
      text[total++] = static_cast<char>(unit);
    } else {
      if (traceLossToStderr) {
        trace("Error calling wctomb!\n");
      } else if (traceFile != nullptr) {
        std::fputs("Error calling wctomb!\n", traceFile);
        std::fflush(traceFile);
      }
      text[total++] = '?';
    }
  }
  text[total] = '\0';
  return total;
}

}  // namespace smstest
