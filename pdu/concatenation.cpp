#include "pdu/concatenation.h"

#include <cstdio>

#include "pdu/gsm7_encode.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

using Octets = std::vector<unsigned char>;

const int kUdhiBit = 0x40;
const int kIei8BitReference = 0x00;
const int kIei16BitReference = 0x08;

std::string hex_octet(int value) { return upper_hex({static_cast<unsigned char>(value)}); }

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The user data of a 7-bit part: the header, fill bits up to the next
// septet boundary, then the septets of `text`.  `udl` gets TP-UDL.
// `text` is UTF-8 when `utf8`.
Octets gsm7_user_data(const Octets& header, const std::string& text, bool utf8, int& udl) {
  const size_t headerSeptets = (8 * header.size() + 6) / 7;
  std::vector<unsigned char> septets(headerSeptets, 0);
  std::vector<unsigned char> body;
  if (utf8) {
    utf8_to_septets(text, body);
  } else {
    body = latin1_to_septets(text);
  }
  septets.insert(septets.end(), body.begin(), body.end());
  Octets out = pack_septets(septets);
  for (size_t i = 0; i < header.size(); ++i) out[i] = header[i];
  udl = static_cast<int>(septets.size());
  return out;
}

Octets ucs2_user_data(const Octets& header, const std::u16string& units, int& udl) {
  Octets out = header;
  for (char16_t unit : units) {
    out.push_back(static_cast<unsigned char>(unit >> 8));
    out.push_back(static_cast<unsigned char>(unit & 0xFF));
  }
  udl = static_cast<int>(out.size());
  return out;
}

std::u16string latin1_units(const std::string& text) {
  std::u16string units;
  for (char c : text) units += static_cast<char16_t>(static_cast<unsigned char>(c));
  return units;
}

std::u16string utf8_units(const std::string& text) {
  std::vector<unsigned char> octets;
  utf8_to_utf16(text, octets);
  std::u16string units;
  for (size_t i = 0; i + 1 < octets.size(); i += 2) {
    units += static_cast<char16_t>(octets[i] << 8 | octets[i + 1]);
  }
  return units;
}

}  // namespace

int gsm7_part_capacity(int referenceBits) {
  return referenceBits == 16 ? kMaxSeptets - 8 : kMaxSeptets - 7;
}

int ucs2_part_capacity(int referenceBits) {
  return referenceBits == 16 ? kMaxUcs2Characters - 4 : kMaxUcs2Characters - 3;
}

std::vector<std::string> split_gsm7_text(const std::string& text, int septetsPerPart) {
  std::vector<std::string> pieces;
  std::string piece;
  int used = 0;
  for (char c : text) {
    unsigned char septets[2];
    const int count = latin1_to_gsm7(static_cast<unsigned char>(c), septets);
    if (used + count > septetsPerPart && !piece.empty()) {
      pieces.push_back(piece);
      piece.clear();
      used = 0;
    }
    piece += c;
    used += count;
  }
  if (!piece.empty() || pieces.empty()) pieces.push_back(piece);
  return pieces;
}

std::vector<std::string> split_utf8_gsm7_text(const std::string& text, int septetsPerPart) {
  std::vector<char32_t> codes;
  utf8_code_points(text, codes);
  std::vector<std::string> pieces;
  std::string piece;
  int used = 0;
  for (char32_t code : codes) {
    unsigned char septets[2];
    const int count = unicode_to_gsm7(code, septets);
    if (used + count > septetsPerPart && !piece.empty()) {
      pieces.push_back(piece);
      piece.clear();
      used = 0;
    }
    piece += utf8_of(code);
    used += count;
  }
  if (!piece.empty() || pieces.empty()) pieces.push_back(piece);
  return pieces;
}

std::vector<std::u16string> split_utf16(const std::u16string& units, int unitsPerPart) {
  std::vector<std::u16string> pieces;
  std::u16string piece;
  for (size_t i = 0; i < units.size();) {
    const bool pair =
        is_high_surrogate(units[i]) && i + 1 < units.size() && is_low_surrogate(units[i + 1]);
    const size_t count = pair ? 2 : 1;
    if (piece.size() + count > static_cast<size_t>(unitsPerPart) && !piece.empty()) {
      pieces.push_back(piece);
      piece.clear();
    }
    piece.append(units, i, count);
    i += count;
  }
  if (!piece.empty() || pieces.empty()) pieces.push_back(piece);
  return pieces;
}

std::vector<unsigned char> concatenation_header(int referenceBits, int reference, int count,
                                                int sequence) {
  if (referenceBits == 16) {
    return {0x06,
            kIei16BitReference,
            0x04,
            static_cast<unsigned char>((reference >> 8) & 0xFF),
            static_cast<unsigned char>(reference & 0xFF),
            static_cast<unsigned char>(count),
            static_cast<unsigned char>(sequence)};
  }
  return {0x05,
          kIei8BitReference,
          0x03,
          static_cast<unsigned char>(reference & 0xFF),
          static_cast<unsigned char>(count),
          static_cast<unsigned char>(sequence)};
}

bool encode_submit_part(const std::string& number, const std::vector<unsigned char>& header,
                        bool ucs2, const std::string& text, const std::u16string& units,
                        EncodedPdu& pdu, std::string& lastError, const SubmitOptions& options) {
  // The fields in front of the user data are those of an empty message in
  // the same alphabet: its hex ends with TP-UDL 00.
  SubmitOptions empty = options;
  empty.coding = ucs2 ? TextCoding::kUcs2 : TextCoding::kAuto;
  EncodedPdu base;
  if (!encode_sms_submit(number, "", base, lastError, empty)) return false;
  int udl = 0;
  const Octets userData =
      ucs2 ? ucs2_user_data(header, units, udl) : gsm7_user_data(header, text, options.utf8, udl);
  std::string hex = base.hex.substr(0, base.hex.size() - 2);
  // "00" service centre, then the first octet.
  const int first = std::stoi(hex.substr(2, 2), nullptr, 16) | kUdhiBit;
  hex.replace(2, 2, hex_octet(first));
  hex += hex_octet(udl) + upper_hex(userData);
  pdu.hex = hex;
  // base.tpduLength counts its TP-UDL octet already.
  pdu.tpduLength = base.tpduLength + static_cast<int>(userData.size());
  pdu.dataCodingScheme = base.dataCodingScheme;
  pdu.userDataLength = udl;
  return true;
}

bool encode_concatenated_submit(const std::string& number, const std::string& text, int reference,
                                std::vector<EncodedPdu>& parts, std::string& lastError,
                                const ConcatOptions& options) {
  char line[96];
  if (options.referenceBits != 8 && options.referenceBits != 16) {
    std::snprintf(line, sizeof line, "Bad concatenation reference size %d: 8 or 16",
                  options.referenceBits);
    lastError = line;
    return false;
  }
  if (options.maxParts < 1 || options.maxParts > 255) {
    std::snprintf(line, sizeof line, "Bad part ceiling %d: 1 to 255", options.maxParts);
    lastError = line;
    return false;
  }
  const bool utf8 = options.submit.utf8;
  const bool autoCoding = options.submit.coding == TextCoding::kAuto;
  std::u16string allUnits;
  int septets = -1;
  if (utf8) {
    std::vector<unsigned char> codes;
    if (!utf8_to_utf16(text, codes)) {
      lastError = "Message text is not valid UTF-8";
      return false;
    }
    if (autoCoding && utf8_to_septets(text, codes)) septets = static_cast<int>(codes.size());
  } else if (autoCoding) {
    septets = gsm7_septet_count(text);
  }
  const bool gsm7 = septets >= 0;
  if (!gsm7) allUnits = utf8 ? utf8_units(text) : latin1_units(text);
  if ((gsm7 && septets <= kMaxSeptets) ||
      (!gsm7 && allUnits.size() <= static_cast<size_t>(kMaxUcs2Characters))) {
    EncodedPdu one;
    if (!encode_sms_submit(number, text, one, lastError, options.submit)) return false;
    parts.assign(1, one);
    return true;
  }
  std::vector<std::string> texts;
  std::vector<std::u16string> units;
  if (gsm7) {
    const int capacity = gsm7_part_capacity(options.referenceBits);
    texts = utf8 ? split_utf8_gsm7_text(text, capacity) : split_gsm7_text(text, capacity);
  } else {
    units = split_utf16(allUnits, ucs2_part_capacity(options.referenceBits));
  }
  const int count = static_cast<int>(gsm7 ? texts.size() : units.size());
  if (count > options.maxParts) {
    std::snprintf(line, sizeof line,
                  "Message text too long: %d parts, at most %d (option maxParts)", count,
                  options.maxParts);
    lastError = line;
    return false;
  }
  const int masked = reference & (options.referenceBits == 16 ? 0xFFFF : 0xFF);
  std::vector<EncodedPdu> out(count);
  for (int k = 0; k < count; ++k) {
    const Octets header = concatenation_header(options.referenceBits, masked, count, k + 1);
    const std::string noText;
    const std::u16string noUnits;
    if (!encode_submit_part(number, header, !gsm7, gsm7 ? texts[k] : noText,
                            gsm7 ? noUnits : units[k], out[k], lastError, options.submit)) {
      return false;
    }
  }
  parts = out;
  return true;
}

}  // namespace smstest
