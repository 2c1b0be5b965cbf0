#include "sim/charset.h"

#include <vector>

#include "pdu/alphabets.h"
#include "pdu/pdu_encode.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

const unsigned char kEscape = 0x1B;

// The code of every ISO-8859-1 byte in the default alphabet: the basic code,
// or 0x100 + the extension code, or -1.  Built from the decoder's alphabet so
// that what the simulator writes the decoder reads back.
struct GsmCodes {
  int code[256];

  GsmCodes() {
    for (int& c : code) c = -1;
    for (int septet = 0; septet < 128; ++septet) {
      if (septet == kEscape) continue;
      unsigned char one = static_cast<unsigned char>(septet);
      char latin[2];
      gsm_to_latin1(1, &one, latin);
      unsigned char c = static_cast<unsigned char>(latin[0]);
      // Characters ISO-8859-1 lacks come back as '?': only 0x3F is '?' itself.
      if (c == '?' && septet != 0x3F) continue;
      if (code[c] < 0) code[c] = septet;
    }
    for (int septet = 0; septet < 128; ++septet) {
      unsigned char c =
          static_cast<unsigned char>(gsm_ext_to_latin1(static_cast<unsigned char>(septet)));
      if (c != '?' && code[c] < 0) code[c] = 0x100 + septet;
    }
  }
};

const GsmCodes& gsm_codes() {
  static const GsmCodes codes;
  return codes;
}

// ISO-8859-1 of UTF-8 `text`, '?' for a character beyond U+00FF.
std::string latin1_of_utf8(const std::string& text) {
  std::vector<char32_t> codes;
  utf8_code_points(text, codes);
  std::string out;
  for (char32_t code : codes) out += code > 0xFF ? '?' : static_cast<char>(code);
  return out;
}

}  // namespace

const char* charset_name(TeCharset charset) {
  switch (charset) {
    case TeCharset::ira:
      return "IRA";
    case TeCharset::gsm:
      return "GSM";
    case TeCharset::ucs2:
      return "UCS2";
  }
  return "IRA";
}

NetworkText network_text_of_utf8(const std::string& text) {
  std::vector<char32_t> codes;
  utf8_code_points(text, codes);
  NetworkText out;
  for (char32_t code : codes) {
    if (code > 0xFF) return NetworkText{text, true};
    out.text += static_cast<char>(code);
  }
  return out;
}

bool message_from_te(TeCharset charset, const std::string& entered, NetworkText& out) {
  if (charset != TeCharset::ucs2) {
    out = NetworkText{text_from_te(charset, entered), false};
    return true;
  }
  std::string text;
  if (!utf8_of_ucs2_hex(entered, text)) return false;
  out = network_text_of_utf8(text);
  return true;
}

std::string text_from_te(TeCharset charset, const std::string& entered) {
  if (charset == TeCharset::ira) return entered;
  if (charset == TeCharset::ucs2) {
    std::string text;
    return utf8_of_ucs2_hex(entered, text) ? latin1_of_utf8(text) : std::string();
  }
  std::string out(entered.size() + 1, '\0');
  gsm_to_latin1(static_cast<int>(entered.size()),
                reinterpret_cast<const unsigned char*>(entered.data()), &out[0]);
  // One character per code, one for an escape and the code after it.
  size_t length = entered.size();
  for (size_t i = 0; i + 1 < entered.size(); ++i) {
    if (static_cast<unsigned char>(entered[i]) == kEscape) {
      --length;
      ++i;
    }
  }
  out.resize(length);
  return out;
}

std::string text_to_te(TeCharset charset, const std::string& text, bool utf8) {
  if (charset == TeCharset::ucs2) {
    std::vector<unsigned char> octets;
    utf8_to_utf16(utf8 ? text : utf8_of_latin1(text), octets);
    return upper_hex(octets);
  }
  const std::string latin1 = utf8 ? latin1_of_utf8(text) : text;
  if (charset == TeCharset::ira) return latin1;
  std::string out;
  for (char c : latin1) {
    int code = gsm_codes().code[static_cast<unsigned char>(c)];
    if (code < 0) code = 0x3F;
    if (code >= 0x100) {
      out.push_back(static_cast<char>(kEscape));
      code -= 0x100;
    }
    out.push_back(static_cast<char>(code));
  }
  return out;
}

std::string first_utf8_message(const std::string& text) {
  std::vector<char32_t> codes;
  utf8_code_points(text, codes);
  std::vector<unsigned char> septets;
  const bool gsm7 = utf8_to_septets(text, septets);
  std::string out;
  size_t used = 0;
  for (char32_t code : codes) {
    unsigned char pair[2];
    const size_t units =
        gsm7 ? static_cast<size_t>(unicode_to_gsm7(code, pair)) : (code > 0xFFFF ? 2 : 1);
    const int most = gsm7 ? kMaxSeptets : kMaxUcs2Characters;
    if (used + units > static_cast<size_t>(most)) break;
    used += units;
    out += utf8_of(code);
  }
  return out;
}

size_t message_units(const std::string& text, bool utf8, bool& gsm7) {
  if (!utf8) {
    gsm7 = true;
    return septet_count(text);
  }
  std::vector<unsigned char> units;
  gsm7 = utf8_to_septets(text, units);
  if (!gsm7) utf8_to_utf16(text, units);
  return gsm7 ? units.size() : units.size() / 2;
}

size_t septet_count(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += gsm_codes().code[static_cast<unsigned char>(c)] >= 0x100 ? 2 : 1;
  return count;
}

}  // namespace smstest
