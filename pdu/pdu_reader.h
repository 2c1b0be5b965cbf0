// What the strict decoders of hex PDUs share (sms_submit.h,
// sms_status_report.h): hex text to octets, a field-by-field reader that
// names the field that did not fit, and the service-centre part in front of
// the TPDU.  Every failure text starts with the PDU's kind ("SMS-SUBMIT",
// "SMS-STATUS-REPORT").
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace smstest {

// The value of a hex digit, -1 for any other character.
int hex_value(char c);

// `hex` (hex digits in pairs, either case, nothing else) as `octets`.  False
// with `error` set: "Empty <kind> PDU", "<kind> PDU with a character other
// than a hex digit at position %d", "<kind> PDU with an odd number of hex
// digits (%d)".
bool hex_octets(const std::string& hex, const char* kind, std::vector<unsigned char>& octets,
                std::string& error);

// Reads the PDU's octets one field at a time; every read is checked against
// the end, and a short read sets `error` to "<kind> PDU too short for its
// <field>".  The octets and the error text must outlive the reader.
class PduReader {
 public:
  PduReader(const std::vector<unsigned char>& octets, const char* kind, std::string& error)
      : octets_(octets), kind_(kind), error_(error) {}

  size_t position() const { return position_; }
  size_t left() const { return octets_.size() - position_; }

  bool take(size_t count, const char* field, const unsigned char*& data);
  bool octet(const char* field, int& value);

 private:
  const std::vector<unsigned char>& octets_;
  const char* kind_;
  std::string& error_;
  size_t position_ = 0;
};

// The character of an address semi-octet: 0-9, then '*', '#', 'a', 'b', 'c'.
char address_digit(int semiOctet);

// The service-centre part: its length counts the octets after itself, the
// type octet included; "+" for an international number, then the digits to
// the first filler F.  Empty when the length is 0 (the modem's own centre).
bool read_service_centre(PduReader& in, std::string& number);

}  // namespace smstest
