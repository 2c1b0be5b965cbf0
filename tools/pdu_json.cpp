#include "tools/pdu_json.h"

#include <cstdio>

namespace smstest {

namespace {

std::string number(int value) { return std::to_string(value); }

}  // namespace

std::string json_string(const std::string& latin1) {
  std::string out = "\"";
  for (char ch : latin1) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else if (c >= 0x80) {
          // ISO-8859-1 is the first 256 code points of Unicode.
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

std::string hex_text(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
  }
  return out;
}

int time_zone_quarter_hours(int zone) {
  const int quarters = ((zone >> 4) & 0x07) * 10 + (zone & 0x0F);
  return (zone & 0x80) ? -quarters : quarters;
}

std::string readable_timestamp(const std::array<int, 7>& t) {
  const int quarters = time_zone_quarter_hours(t[6]);
  const int minutes = (quarters < 0 ? -quarters : quarters) * 15;
  char text[64];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X %02X:%02X:%02X %c%02d:%02d", t[0] & 0xFF,
                t[1] & 0xFF, t[2] & 0xFF, t[3] & 0xFF, t[4] & 0xFF, t[5] & 0xFF,
                quarters < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string sms_deliver_json(const std::string& pdu, const SmsDeliver& sms) {
  const PduAddress& oa = sms.originator;
  std::string digits;
  for (int i = 0; i < oa.length && i < kMaxAddressDigits; ++i) {
    if (i > 0) digits += ',';
    digits += number(oa.digits[i]);
  }
  std::string raw;
  for (size_t i = 0; i < sms.timestamp.size(); ++i) {
    if (i > 0) raw += ',';
    raw += number(sms.timestamp[i]);
  }
  std::string elements;
  for (const UdhElement* e = sms.elements.get(); e != nullptr; e = e->next.get()) {
    if (!elements.empty()) elements += ',';
    elements += "{\"id\":" + number(e->id) + ",\"length\":" + number(e->length) + ",\"data\":\"" +
                hex_text(e->data.data(), e->data.size()) + "\"";
    if (e->id == 0x04 || e->id == 0x05) {
      elements += ",\"destinationPort\":" + number(e->destinationPort) +
                  ",\"originatorPort\":" + number(e->originatorPort);
    }
    elements += "}";
  }
  const unsigned char* text = reinterpret_cast<const unsigned char*>(sms.text.data());

  std::string out = "{\"pdu\":" + json_string(pdu);
  out += ",\"replyPath\":" + number(sms.replyPath);
  out += ",\"udhi\":" + number(sms.udhi);
  out += ",\"statusReportIndication\":" + number(sms.statusReportIndication);
  out += ",\"moreMessagesToSend\":" + number(sms.moreMessagesToSend);
  out += ",\"messageTypeIndicator\":" + number(sms.messageTypeIndicator);
  out += ",\"originator\":{\"length\":" + number(oa.length) + ",\"type\":" + number(oa.type) +
         ",\"digits\":[" + digits + "],\"text\":" + json_string(address_text(oa)) + "}";
  out += ",\"protocolId\":" + number(sms.protocolId);
  out += ",\"dataCodingScheme\":" + number(sms.dataCodingScheme);
  out += ",\"alphabet\":" + number(sms.alphabet);
  out += ",\"timestamp\":{\"raw\":[" + raw +
         "],\"readable\":" + json_string(readable_timestamp(sms.timestamp)) +
         ",\"timeZoneQuarterHours\":" + number(time_zone_quarter_hours(sms.timestamp[6])) + "}";
  out += ",\"userDataLength\":" + number(sms.userDataLength);
  out += ",\"elements\":[" + elements + "]";
  out += ",\"textLength\":" + number(sms.textLength);
  out += ",\"concatenated\":" + number(sms.concatenated);
  out += ",\"concatReference\":" + number(sms.concatReference);
  out += ",\"concatTotal\":" + number(sms.concatTotal);
  out += ",\"concatSequence\":" + number(sms.concatSequence);
  out += ",\"text\":" + json_string(sms.text);
  out += ",\"textHex\":\"" + hex_text(text, sms.text.size()) + "\"}";
  return out;
}

std::string failure_json(const std::string& pdu, const std::string& message) {
  std::string line = message;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return "{\"pdu\":" + json_string(pdu) + ",\"error\":" + json_string(line) + "}";
}

}  // namespace smstest
