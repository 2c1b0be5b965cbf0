#include "sim/charset.h"

#include "pdu/alphabets.h"

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

}  // namespace

std::string text_from_te(TeCharset charset, const std::string& entered) {
  if (charset == TeCharset::ira) return entered;
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

std::string text_to_te(TeCharset charset, const std::string& text) {
  if (charset == TeCharset::ira) return text;
  std::string out;
  for (char c : text) {
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

size_t septet_count(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += gsm_codes().code[static_cast<unsigned char>(c)] >= 0x100 ? 2 : 1;
  return count;
}

}  // namespace smstest
