#include "pdu/pdu_reader.h"

#include "common/text.h"

namespace smstest {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hex_octets(const std::string& hex, const char* kind, std::vector<unsigned char>& octets,
                std::string& error) {
  if (hex.empty()) {
    error = format("Empty %s PDU", kind);
    return false;
  }
  for (size_t i = 0; i < hex.size(); ++i) {
    if (hex_value(hex[i]) < 0) {
      error = format("%s PDU with a character other than a hex digit at position %d", kind,
                     static_cast<int>(i));
      return false;
    }
  }
  if (hex.size() % 2 != 0) {
    error =
        format("%s PDU with an odd number of hex digits (%d)", kind, static_cast<int>(hex.size()));
    return false;
  }
  octets.resize(hex.size() / 2);
  for (size_t k = 0; k < octets.size(); ++k) {
    octets[k] = static_cast<unsigned char>(hex_value(hex[2 * k]) << 4 | hex_value(hex[2 * k + 1]));
  }
  return true;
}

bool PduReader::take(size_t count, const char* field, const unsigned char*& data) {
  if (count > left()) {
    error_ = format("%s PDU too short for its %s", kind_, field);
    return false;
  }
  data = octets_.data() + position_;
  position_ += count;
  return true;
}

bool PduReader::octet(const char* field, int& value) {
  const unsigned char* data = nullptr;
  if (!take(1, field, data)) return false;
  value = *data;
  return true;
}

char address_digit(int semiOctet) {
  static const char kDigits[] = "0123456789*#abc";
  return kDigits[semiOctet];
}

bool read_service_centre(PduReader& in, std::string& number) {
  int length = 0;
  const unsigned char* data = nullptr;
  if (!in.octet("service-centre address", length) ||
      !in.take(length, "service-centre address", data)) {
    return false;
  }
  number.clear();
  if (length == 0) return true;
  if (((data[0] >> 4) & 0x07) == 0x01) number += '+';
  for (int i = 1; i < length; ++i) {
    for (int semiOctet : {data[i] & 0x0F, data[i] >> 4}) {
      if (semiOctet == 0x0F) return true;
      number += address_digit(semiOctet);
    }
  }
  return true;
}

}  // namespace smstest
