#include "driver/message_length.h"

#include "common/text.h"
#include "pdu/gsm7_encode.h"

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

bool fill_to_length(const std::string& text, int length, std::string& filled, std::string& why) {
  if (length < 0 || text.size() > static_cast<size_t>(length)) {
    why = format("Option length=%d is shorter than the marked message text (%d characters)", length,
                 static_cast<int>(text.size()));
    return false;
  }
  const std::string& filler = maps_to_gsm7(text) ? gsm7_filler() : ucs2_filler();
  filled = text;
  for (size_t k = 0; filled.size() < static_cast<size_t>(length); ++k) {
    filled += filler[k % filler.size()];
  }
  if (filled.size() > text.size() && filled.back() == ' ') filled.back() = '.';
  return true;
}

}  // namespace smstest
