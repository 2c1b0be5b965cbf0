#include "driver/message_length.h"

#include <vector>

#include "common/text.h"
#include "pdu/gsm7_encode.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

bool printable_latin1(int c) { return (c >= 0x20 && c <= 0x7E) || c >= 0xA0; }

std::string make_filler(bool gsm7) {
  std::string filler;
  for (int c = 0; c <= 0xFF; ++c) {
    unsigned char septets[2];
    if (!printable_latin1(c)) continue;
    if (gsm7 && latin1_to_gsm7(static_cast<unsigned char>(c), septets) <= 0) continue;
    filler += static_cast<char>(c);
  }
  return filler;
}

}  // namespace

const std::string& gsm7_filler() {
  static const std::string filler = make_filler(true);
  return filler;
}

const std::string& ucs2_filler() {
  static const std::string filler = make_filler(false);
  return filler;
}

bool fill_to_length(const std::string& text, int length, bool utf8, std::string& filled,
                    std::string& why) {
  std::vector<char32_t> codes;
  size_t characters = text.size();
  bool gsm7 = maps_to_gsm7(text);
  if (utf8) {
    std::vector<unsigned char> septets;
    utf8_code_points(text, codes);
    characters = codes.size();
    gsm7 = utf8_to_septets(text, septets);
  }
  if (length < 0 || characters > static_cast<size_t>(length)) {
    why = format("Option length=%d is shorter than the marked message text (%d characters)", length,
                 static_cast<int>(characters));
    return false;
  }
  const std::string& filler = gsm7 ? gsm7_filler() : ucs2_filler();
  std::string tail;
  for (size_t k = 0; characters + tail.size() < static_cast<size_t>(length); ++k) {
    tail += filler[k % filler.size()];
  }
  if (!tail.empty() && tail.back() == ' ') tail.back() = '.';
  filled = text + (utf8 ? utf8_of_latin1(tail) : tail);
  return true;
}

}  // namespace smstest
