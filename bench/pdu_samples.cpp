#include "bench/pdu_samples.h"

#include <cstdio>

namespace smstest {

namespace {

// Service centre +31624000000 (international), originator +4915112345678,
// time stamp 2024-03-15 14:30:45 +01:00, each as it stands in the PDU.
const char kServiceCentre[] = "07911326040000F0";
const char kOriginator[] = "0D91945111325476F8";
const char kTimestamp[] = "42305141035440";

void append_hex(std::string& out, const std::vector<unsigned char>& octets) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (unsigned char octet : octets) {
    out += kDigits[octet >> 4];
    out += kDigits[octet & 0x0F];
  }
}

// The header as it stands in the user data: its length octet, then `header`.
std::vector<unsigned char> header_octets(const std::vector<unsigned char>& header) {
  std::vector<unsigned char> octets;
  if (header.empty()) return octets;
  octets.push_back(static_cast<unsigned char>(header.size()));
  octets.insert(octets.end(), header.begin(), header.end());
  return octets;
}

std::string assemble(bool withHeader, int dcs, int udl, const std::vector<unsigned char>& ud) {
  std::string hex = kServiceCentre;
  // First octet: SMS-DELIVER, more-messages-to-send clear (bit 2 set), and
  // TP-UDHI when a header leads the user data.
  append_hex(hex, {static_cast<unsigned char>(withHeader ? 0x44 : 0x04)});
  hex += kOriginator;
  append_hex(hex, {0x00, static_cast<unsigned char>(dcs)});
  hex += kTimestamp;
  append_hex(hex, {static_cast<unsigned char>(udl)});
  append_hex(hex, ud);
  return hex;
}

std::string latin1_of(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) out += static_cast<char>(unit <= 0xFF ? unit : '?');
  return out;
}

// Repeats `pattern` to exactly `length` units.
template <typename Text>
Text repeat_to(const Text& pattern, size_t length) {
  Text out;
  while (out.size() < length) out += pattern;
  return out.substr(0, length);
}

}  // namespace

std::vector<unsigned char> concat_header(unsigned char reference, unsigned char total,
                                         unsigned char sequence) {
  return {0x00, 0x03, reference, total, sequence};
}

std::string deliver_pdu_7bit(const std::string& text, const std::vector<unsigned char>& header) {
  const std::vector<unsigned char> head = header_octets(header);
  // The header takes whole septets: it is followed by fill bits up to the
  // next septet boundary (TS 23.040 9.2.3.24).
  const int headSeptets = (8 * static_cast<int>(head.size()) + 6) / 7;
  const int udl = headSeptets + static_cast<int>(text.size());
  std::vector<unsigned char> ud((7 * udl + 7) / 8, 0);
  for (size_t i = 0; i < head.size(); ++i) ud[i] = head[i];
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned septet = static_cast<unsigned char>(text[i]) & 0x7F;
    const size_t bit = (headSeptets + i) * 7;
    ud[bit / 8] |= static_cast<unsigned char>(septet << (bit % 8));
    if (bit % 8 > 1) ud[bit / 8 + 1] |= static_cast<unsigned char>(septet >> (8 - bit % 8));
  }
  return assemble(!head.empty(), 0x00, udl, ud);
}

std::string deliver_pdu_ucs2(const std::u16string& text, const std::vector<unsigned char>& header) {
  std::vector<unsigned char> ud = header_octets(header);
  const bool withHeader = !ud.empty();
  for (char16_t unit : text) {
    ud.push_back(static_cast<unsigned char>(unit >> 8));
    ud.push_back(static_cast<unsigned char>(unit & 0xFF));
  }
  return assemble(withHeader, 0x08, static_cast<int>(ud.size()), ud);
}

std::vector<PduSample> benchmark_samples() {
  std::vector<PduSample> samples;

  const std::string plain = repeat_to<std::string>(
      "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs! ",
      160);
  samples.push_back({"7bit_160", deliver_pdu_7bit(plain, {}), plain, 160, 0});

  const std::u16string wide = repeat_to<std::u16string>(
      u"Grüße aus Köln: Übermorgen um 15 Uhr im Café, à bientôt. Ça va? Señor ", 70);
  samples.push_back({"ucs2_70", deliver_pdu_ucs2(wide, {}), latin1_of(wide), 70, 0});

  const std::string part = repeat_to<std::string>(
      "Part two of three: concatenated messages carry a header of six octets. ", 153);
  samples.push_back(
      {"concat_7bit_153", deliver_pdu_7bit(part, concat_header(0x42, 3, 2)), part, 153, 1});
  return samples;
}

}  // namespace smstest
