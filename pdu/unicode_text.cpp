#include "pdu/unicode_text.h"

#include <utility>

#include "common/utf8.h"
#include "pdu/pdu_reader.h"

namespace smstest {

namespace {

// TS 23.038 default alphabet in Unicode; 0x1B, the escape, is no character.
const char16_t kDefaultAlphabet[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC,  // @ £ $ ¥ è é ù ì
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5,  // ò Ç LF Ø ø CR Å å
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,  // Δ _ Φ Γ Λ Ω Π Ψ
    0x03A3, 0x0398, 0x039E, 0xFFFF, 0x00C6, 0x00E6, 0x00DF, 0x00C9,  // Σ Θ Ξ ESC Æ æ ß É
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027,  // space ! " # ¤ % & '
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // ( ) * + , - . /
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 0 - 7
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 8 9 : ; < = > ?
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // ¡ A - G
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // H - O
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // P - W
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,  // X Y Z Ä Ö Ñ Ü §
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // ¿ a - g
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // h - o
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // p - w
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,  // x y z ä ö ñ ü à
};

const unsigned char kEscape = 0x1B;

// The extension table: code after the escape, and its character.
struct Extension {
  unsigned char code;
  char16_t character;
};
const Extension kExtensions[] = {
    {0x0A, 0x000C},  // form feed (page break)
    {0x14, u'^'},   {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},  {0x3C, u'['},
    {0x3D, u'~'},   {0x3E, u']'}, {0x40, u'|'}, {0x65, 0x20AC},  // euro sign
};

char32_t decode_sequence(const unsigned char* p, size_t length) {
  if (length == 1) return p[0];
  char32_t value = p[0] & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) value = (value << 6) | (p[i] & 0x3F);
  return value;
}

}  // namespace

int unicode_to_gsm7(char32_t code, unsigned char septets[2]) {
  for (unsigned char i = 0; i < 128; ++i) {
    if (i != kEscape && kDefaultAlphabet[i] == code) {
      septets[0] = i;
      return 1;
    }
  }
  for (const Extension& e : kExtensions) {
    if (e.character == code) {
      septets[0] = kEscape;
      septets[1] = e.code;
      return 2;
    }
  }
  return 0;
}

bool utf8_code_points(const std::string& text, std::vector<char32_t>& codes) {
  std::vector<char32_t> out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    const size_t length = utf8_sequence(p, left);
    if (length == 0) return false;
    out.push_back(decode_sequence(p, length));
    p += length;
    left -= length;
  }
  codes = std::move(out);
  return true;
}

bool utf8_to_septets(const std::string& text, std::vector<unsigned char>& septets) {
  std::vector<char32_t> codes;
  if (!utf8_code_points(text, codes)) return false;
  std::vector<unsigned char> out;
  for (char32_t code : codes) {
    unsigned char pair[2];
    const int n = unicode_to_gsm7(code, pair);
    if (n == 0) return false;
    out.insert(out.end(), pair, pair + n);
  }
  septets = std::move(out);
  return true;
}

bool utf8_to_utf16(const std::string& text, std::vector<unsigned char>& octets) {
  std::vector<char32_t> codes;
  if (!utf8_code_points(text, codes)) return false;
  std::vector<unsigned char> out;
  auto unit = [&out](char32_t u) {
    out.push_back(static_cast<unsigned char>(u >> 8));
    out.push_back(static_cast<unsigned char>(u & 0xFF));
  };
  for (char32_t code : codes) {
    if (code < 0x10000) {
      unit(code);
    } else {
      const char32_t v = code - 0x10000;
      unit(0xD800 + (v >> 10));
      unit(0xDC00 + (v & 0x3FF));
    }
  }
  octets = std::move(out);
  return true;
}

std::string utf8_of(char32_t code) {
  if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

std::string utf8_of_latin1(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) out += utf8_of(c);
  return out;
}

std::string septets_to_utf8(const std::vector<unsigned char>& septets) {
  std::string out;
  for (size_t i = 0; i < septets.size(); ++i) {
    const unsigned char septet = septets[i];
    if (septet == kEscape) {
      char32_t character = u'?';
      if (i + 1 < septets.size()) {
        const unsigned char code = septets[++i];
        for (const Extension& e : kExtensions) {
          if (e.code == code) character = e.character;
        }
      }
      out += utf8_of(character);
    } else if (septet >= 0x80) {
      out += '?';
    } else {
      out += utf8_of(kDefaultAlphabet[septet]);
    }
  }
  return out;
}

std::string utf16_to_utf8(const unsigned char* data, int count) {
  std::string out;
  const int units = count / 2;
  for (int i = 0; i < units; ++i) {
    const char32_t unit = (static_cast<char32_t>(data[2 * i]) << 8) | data[2 * i + 1];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      const char32_t low = (static_cast<char32_t>(data[2 * i + 2]) << 8) | data[2 * i + 3];
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out += utf8_of(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    out += utf8_of(unit);  // an unpaired surrogate gives U+FFFD
  }
  return out;
}

std::string upper_hex(const std::vector<unsigned char>& octets) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * octets.size());
  for (unsigned char c : octets) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

bool utf8_of_ucs2_hex(const std::string& hex, std::string& text) {
  if (hex.size() % 4 != 0) return false;
  std::vector<unsigned char> octets;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = hex_value(hex[i]);
    const int low = hex_value(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    octets.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  text = utf16_to_utf8(octets.data(), static_cast<int>(octets.size()));
  return true;
}

}  // namespace smstest
