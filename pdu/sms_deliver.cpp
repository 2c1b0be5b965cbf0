#include "pdu/sms_deliver.h"

#include <cstring>

#include "common/text.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

const char kAddressTooShort[] = "decoder error, address exceeds data boundary, PDU too short\n";
const char kHeaderPastPdu[] =
    "Decoder error: User Data Header exceeds PDU boundary, PDU too short\n";
const char kElementsPastHeader[] =
    "Decoder error: Information elements exceeded the header boundary\n";

// Information element identifiers that the decoder reads (TS 23.040 9.2.3.24).
const int kConcat8 = 0x00;
const int kPort8 = 0x04;
const int kPort16 = 0x05;
const int kConcat16 = 0x08;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// strtol(text, nullptr, 16) & 0xFF for a text of `n` (1 or 2) characters,
// done by hand so that the process locale has no say.  A "0x" prefix would
// need a digit after it, for which two characters leave no room, so strtol
// reads "0x" as the 0 alone, as this does.
unsigned char pair_value(const char* text, int n) {
  int i = 0;
  // The C locale's white space, as strtol skips it.
  while (i < n && is_c_space(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int value = 0;
  for (; i < n && hex_digit(text[i]) >= 0; ++i) value = value * 16 + hex_digit(text[i]);
  return static_cast<unsigned char>((negative ? -value : value) & 0xFF);
}

unsigned char swap_nibbles(unsigned char octet) {
  return static_cast<unsigned char>((octet << 4) | (octet >> 4));
}

// Sets `alphabet` from TP-DCS (TS 23.038 section 4): the general data coding
// group without compression, and the 1111 group with 8-bit data.  False after
// a trace line for everything else.
bool read_coding_scheme(int dcs, int& alphabet) {
  if ((dcs & 0xC0) == 0x00) {
    if (dcs & 0x20) {
      trace("Compressed Data Coding Scheme Not Supported\n");
      return false;
    }
    alphabet = (dcs >> 2) & 0x03;  // class bits 4 and 1-0 do not matter here
    return true;
  }
  if ((dcs & 0xF0) == 0xF0 && (dcs & 0x04)) {
    alphabet = 1;
    return true;
  }
  trace("Unsupported Data Coding Scheme %X\n", dcs);
  return false;
}

// Checks the length of an element that the decoder interprets and takes its
// values into the record.  False after a trace line.
bool interpret_element(UdhElement& element, SmsDeliver& sms) {
  const std::vector<unsigned char>& d = element.data;
  switch (element.id) {
    case kConcat8:
      sms.concatenated = 1;
      if (element.length != 3) {
        trace("Decoder error: Bad length for 8 bit reference concatenated message IE\n");
        return false;
      }
      sms.concatReference = d[0];
      sms.concatTotal = d[1];
      sms.concatSequence = d[2];
      return true;
    case kConcat16:
      sms.concatenated = 1;
      if (element.length != 4) {
        trace("Decoder error: Bad length for 16 bit reference concatenated message IE\n");
        return false;
      }
      sms.concatReference = static_cast<uint16_t>(d[0] * 256 + d[1]);
      sms.concatTotal = d[2];
      sms.concatSequence = d[3];
      return true;
    case kPort8:
      if (element.length != 2) {
        trace("Decoder error: Bad length for 8 bit application port IE\n");
        return false;
      }
      element.destinationPort = d[0];
      element.originatorPort = d[1];
      return true;
    case kPort16:
      if (element.length != 4) {
        trace("Decoder error: Bad length for 16 bit application port IE\n");
        return false;
      }
      element.destinationPort = static_cast<uint16_t>(d[0] * 256 + d[1]);
      element.originatorPort = static_cast<uint16_t>(d[2] * 256 + d[3]);
      return true;
    default:
      return true;
  }
}

// Reads the user-data header at `position` (its UDHL octet) into the
// record's element list and leaves `position` after the header and `udhl`
// set.  Never reads past the PDU.  False after a trace line.
bool read_header(int& position, int& udhl, const unsigned char* pdu, int pduLength,
                 SmsDeliver& sms) {
  int p = position;
  if (p >= pduLength) {
    trace(kHeaderPastPdu);
    return false;
  }
  udhl = pdu[p++];
  const int headerEnd = p + udhl;
  if (headerEnd > pduLength) {
    trace(kHeaderPastPdu);
    return false;
  }
  std::unique_ptr<UdhElement>* tail = &sms.elements;
  while (p < headerEnd) {
    // The header itself lies inside the PDU, so an element that would run
    // past the PDU has already run past the header.
    if (p + 2 > pduLength || p + 2 + pdu[p + 1] > pduLength) {
      trace(kElementsPastHeader);
      return false;
    }
    auto element = std::make_unique<UdhElement>();
    element->id = pdu[p];
    element->length = pdu[p + 1];
    element->data.assign(pdu + p + 2, pdu + p + 2 + element->length);
    p += 2 + element->length;
    *tail = std::move(element);
    UdhElement& added = **tail;
    tail = &added.next;
    // A later concatenation element overwrites an earlier one's values; the
    // list keeps both.
    if (!interpret_element(added, sms)) return false;
  }
  if (p != headerEnd) {
    trace(kElementsPastHeader);
    return false;
  }
  position = p;
  return true;
}

// Decodes the user data into sms.text.  `userData` is the offset of the first
// user-data octet (the UDHL octet when there is a header), `position` the
// offset of the first octet after the header.  False after a trace line.
bool read_user_data(SmsDeliver& sms, int headerOctets, int udhl, const unsigned char* pdu,
                    int pduLength, int userData, int position) {
  if (sms.alphabet == 3) {
    trace("Decoder error: Bad Alphabet %d\n", sms.alphabet);
    return false;
  }
  // TS 23.040 9.2.3.16: 7-bit TP-UDL counts septets, the header and the fill
  // bits that bring the text to a septet boundary included; the other
  // alphabets count octets.
  const int headerUnits = sms.alphabet == 0 ? (8 * headerOctets + 6) / 7 : headerOctets;
  sms.textLength = sms.userDataLength - headerUnits;
  if (sms.textLength < 0) {
    trace("Decoder error: User Data Header Length %d exceeds User Data Length %d\n", udhl,
          sms.userDataLength);
    return false;
  }
  const int left = pduLength - position;
  if (sms.alphabet == 0) {
    // The text starts at septet headerUnits of the user data, counted from
    // its first octet, so both are unpacked and the header septets dropped.
    const int septetCount = headerUnits + sms.textLength;
    if (septetCount > 8 * (pduLength - userData) / 7) {
      trace("Decoder error: User Data Length %d exceeds PDU boundary, PDU too short\n",
            sms.textLength);
      return false;
    }
    std::vector<unsigned char> septets(septetCount + 1);
    unpack_septets(pdu + userData, septetCount, septets.data());
    std::vector<char> text(sms.textLength + 1);
    gsm_to_latin1(sms.textLength, septets.data() + headerUnits, text.data());
    sms.text.assign(text.data());  // the default alphabet has no zero byte
    sms.utf8Text = septets_to_utf8(std::vector<unsigned char>(
        septets.begin() + headerUnits, septets.begin() + headerUnits + sms.textLength));
    return true;
  }
  if (sms.textLength > left) {
    trace("Decoder error: User Data Length %d User PDU boundary, PDU too short\n", sms.textLength);
    return false;
  }
  if (sms.alphabet == 1) {
    sms.text.assign(reinterpret_cast<const char*>(pdu + position), sms.textLength);
    sms.utf8Text = utf8_of_latin1(sms.text);
    return true;
  }
  std::vector<char> text(sms.textLength + 1);
  int written = ucs2_to_mbcs(sms.textLength, text.data(), pdu + position);
  sms.text.assign(text.data(), written);
  sms.utf8Text = utf16_to_utf8(pdu + position, sms.textLength);
  return true;
}

}  // namespace

SmsDeliver::~SmsDeliver() {
  // A long list would otherwise be freed by one nested destructor per element.
  std::unique_ptr<UdhElement> element = std::move(elements);
  while (element) element = std::move(element->next);
}

std::vector<unsigned char> hex_to_octets(const char* hexText) {
  // Digit values by character, -1 for every other byte: a pair of two hex
  // digits, by far the common case, needs no further parsing.
  static const struct DigitTable {
    signed char value[256];
    DigitTable() {
      for (int c = 0; c < 256; ++c)
        value[c] = static_cast<signed char>(hex_digit(static_cast<char>(c)));
    }
  } digits;
  const size_t length = std::strlen(hexText);
  std::vector<unsigned char> octets((length + 1) / 2);
  for (size_t k = 0; k < octets.size(); ++k) {
    const char* pair = hexText + 2 * k;
    const int high = digits.value[static_cast<unsigned char>(pair[0])];
    const int low = 2 * k + 1 < length ? digits.value[static_cast<unsigned char>(pair[1])] : -1;
    octets[k] = high >= 0 && low >= 0 ? static_cast<unsigned char>(high * 16 + low)
                                      : pair_value(pair, 2 * k + 1 < length ? 2 : 1);
  }
  return octets;
}

bool read_address(int& position, PduAddress& address, const unsigned char* octets, int pduLength,
                  bool countsDigits) {
  int p = position;
  if (p + 2 >= pduLength) {
    trace(kAddressTooShort);
    return false;
  }
  PduAddress read;
  read.length = octets[p];
  read.type = octets[p + 1];
  p += 2;
  // A service-centre length counts the type octet too, so a length of 0
  // steps back onto the octet after the length octet.
  const int digitOctets = countsDigits ? (read.length + 1) / 2 : read.length - 1;
  if (p + digitOctets >= pduLength) {
    trace(kAddressTooShort);
    return false;
  }
  if (countsDigits) {
    if (read.length > kMaxAddressDigits) {
      trace("Decoder error: Address length %d exceeds %d digits\n", read.length, kMaxAddressDigits);
      return false;
    }
    for (int i = 0; i < digitOctets; ++i) {
      read.digits[2 * i] = octets[p + i] & 0x0F;
      read.digits[2 * i + 1] = octets[p + i] >> 4;
    }
    read.digits[read.length] = 0;  // drops the filler of an odd length
  }
  position = p + digitOctets;
  address = read;
  return true;
}

std::string address_text(const PduAddress& address) {
  const int length = address.length < 0                   ? 0
                     : address.length > kMaxAddressDigits ? kMaxAddressDigits
                                                          : address.length;
  // TS 23.040 9.1.2.5: type of number 101 is alphanumeric, GSM 7-bit packed
  // in the semi-octets.
  if (((address.type >> 4) & 0x07) == 0x05) {
    unsigned char packed[kMaxAddressDigits / 2] = {};
    for (int i = 0; 2 * i < length; ++i) {
      packed[i] = static_cast<unsigned char>((address.digits[2 * i] & 0x0F) |
                                             ((address.digits[2 * i + 1] & 0x0F) << 4));
    }
    const int count = 4 * length / 7;
    unsigned char septets[kMaxAddressDigits] = {};
    unpack_septets(packed, count, septets);
    char text[kMaxAddressDigits + 1];
    gsm_to_latin1(count, septets, text);
    return text;
  }
  std::string text(length, '\0');
  for (int i = 0; i < length; ++i) {
    unsigned char digit = address.digits[i];
    text[i] = static_cast<char>(digit <= 9 ? '0' + digit : digit);
  }
  return text;
}

std::unique_ptr<SmsDeliver> decode_pdu(const char* hexText, FILE* logFile) {
  traceFile = logFile;
  // The decoder's own working copy; it does not outlive the call.
  const std::vector<unsigned char> octets = hex_to_octets(hexText != nullptr ? hexText : "");
  if (octets.empty()) {
    trace("Decoder Error: 0 Data Length!\n");
    return nullptr;
  }
  const unsigned char* pdu = octets.data();
  const int pduLength = static_cast<int>(octets.size());

  int p = 0;
  PduAddress serviceCentre;  // skipped: nothing of it is kept
  if (!read_address(p, serviceCentre, pdu, pduLength, false)) return nullptr;

  auto sms = std::make_unique<SmsDeliver>();
  const int first = pdu[p++];
  sms->messageTypeIndicator = first & 0x03;
  sms->moreMessagesToSend = (first >> 2) & 1;
  sms->statusReportIndication = (first >> 5) & 1;
  sms->udhi = (first >> 6) & 1;
  sms->replyPath = (first >> 7) & 1;

  if (!read_address(p, sms->originator, pdu, pduLength, true)) return nullptr;
  if (p >= pduLength) {
    trace("Cannot decode TPID, PDU too short\n");
    return nullptr;
  }
  sms->protocolId = pdu[p++];
  if (p >= pduLength) {
    trace("Cannot decode DCS, PDU too short\n");
    return nullptr;
  }
  sms->dataCodingScheme = pdu[p++];
  if (!read_coding_scheme(sms->dataCodingScheme, sms->alphabet)) return nullptr;

  if (pduLength - p < 8) {
    trace("Cannot decode timestamp, PDU too short\n");
    return nullptr;
  }
  for (int i = 0; i < 7; ++i) sms->timestamp[i] = swap_nibbles(pdu[p + i]);
  sms->userDataLength = pdu[p + 7];
  p += 8;

  const int userData = p;
  int udhl = 0;
  int headerOctets = 0;
  if (sms->udhi) {
    if (!read_header(p, udhl, pdu, pduLength, *sms)) return nullptr;
    headerOctets = udhl + 1;
  }
  if (!read_user_data(*sms, headerOctets, udhl, pdu, pduLength, userData, p)) return nullptr;
  return sms;
}

}  // namespace smstest
