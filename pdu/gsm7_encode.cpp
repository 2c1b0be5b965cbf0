#include "pdu/gsm7_encode.h"

#include "pdu/alphabets.h"

namespace smstest {

namespace {

const unsigned char kEscape = 0x1B;
const unsigned char kQuestionMark = 0x3F;

// Septets per ISO-8859-1 byte, derived once from the decoder's own tables so
// that the two directions cannot drift apart.  count 0: no 7-bit form.
struct InverseTable {
  unsigned char count[256] = {};
  unsigned char septets[256][2] = {};

  InverseTable() {
    for (unsigned char s = 0; s < 0x80; ++s) {
      if (s == kEscape) continue;
      char text[2];
      gsm_to_latin1(1, &s, text);
      const unsigned char c = static_cast<unsigned char>(text[0]);
      // The decoder shows characters that ISO-8859-1 lacks as '?'; only the
      // question mark's own code maps back to it.
      if (c == kQuestionMark && s != kQuestionMark) continue;
      count[c] = 1;
      septets[c][0] = s;
    }
    for (unsigned char code = 0; code < 0x80; ++code) {
      const unsigned char c = static_cast<unsigned char>(gsm_ext_to_latin1(code));
      if (c == kQuestionMark || count[c] != 0) continue;  // the default table wins
      count[c] = 2;
      septets[c][0] = kEscape;
      septets[c][1] = code;
    }
  }
};

const InverseTable& inverse() {
  static const InverseTable table;
  return table;
}

}  // namespace

int latin1_to_gsm7(unsigned char c, unsigned char septets[2]) {
  const InverseTable& table = inverse();
  const int count = table.count[c];
  for (int i = 0; i < count; ++i) septets[i] = table.septets[c][i];
  return count;
}

int gsm7_septet_count(const std::string& text) {
  const InverseTable& table = inverse();
  int total = 0;
  for (char ch : text) {
    const int count = table.count[static_cast<unsigned char>(ch)];
    if (count == 0) return -1;
    total += count;
  }
  return total;
}

std::vector<unsigned char> latin1_to_septets(const std::string& text) {
  std::vector<unsigned char> out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char septets[2];
    const int count = latin1_to_gsm7(static_cast<unsigned char>(ch), septets);
    out.insert(out.end(), septets, septets + count);
  }
  return out;
}

std::vector<unsigned char> pack_septets(const std::vector<unsigned char>& septets) {
  std::vector<unsigned char> out((7 * septets.size() + 7) / 8, 0);
  size_t bit = 0;
  for (unsigned char septet : septets) {
    const unsigned value = septet & 0x7Fu;
    const size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    out[octet] = static_cast<unsigned char>(out[octet] | (value << shift));
    // A septet that starts past bit 1 spills into the next octet.
    if (shift > 1) out[octet + 1] = static_cast<unsigned char>(value >> (8 - shift));
    bit += 7;
  }
  return out;
}

std::vector<unsigned char> latin1_to_ucs2(const std::string& text) {
  std::vector<unsigned char> out;
  out.reserve(2 * text.size());
  for (char ch : text) {
    out.push_back(0x00);
    out.push_back(static_cast<unsigned char>(ch));
  }
  return out;
}

}  // namespace smstest
