#include "tools/pdu_json.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace smstest {

namespace {

// Objects keep their keys in the order written.
using Json = nlohmann::ordered_json;

// Compact JSON text.  Every string put in is valid UTF-8 (latin1_to_utf8), so
// dump's strict UTF-8 check never throws.  nlohmann escapes the control
// characters below 0x20 as this tool always has, but writes DEL as it is;
// DEL is escaped here too, so that a terminal shows it.  The byte 0x7F never
// is part of a multi-byte UTF-8 sequence, and outside strings the text is
// ASCII punctuation, digits and our keys, so every 0x7F is one DEL in a string.
std::string dump(const Json& value) {
  const std::string text = value.dump();
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\x7F') {
      out += "\\u007f";
    } else {
      out += c;
    }
  }
  return out;
}

Json text_value(const std::string& latin1) { return Json(latin1_to_utf8(latin1)); }

}  // namespace

std::string latin1_to_utf8(const std::string& latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      // ISO-8859-1 is the first 256 code points of Unicode.
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool utf8_to_latin1(const std::string& utf8, std::string& latin1, std::string& error) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    // Length and the range of the second byte by the lead byte (RFC 3629:
    // no overlong forms, no surrogates, nothing above U+10FFFF).
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool valid = length > 0 && i + length <= utf8.size();
    unsigned long codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
      valid = k == 1 ? c >= low && c <= high : c >= 0x80 && c <= 0xBF;
      codePoint = codePoint << 6 | (c & 0x3F);
    }
    if (!valid) {
      char text[80];
      std::snprintf(text, sizeof text, "not valid UTF-8 at byte %d", static_cast<int>(i));
      error = text;
      return false;
    }
    if (codePoint > 0xFF) {
      char text[80];
      std::snprintf(text, sizeof text, "U+%04X at byte %d is not in ISO-8859-1",
                    static_cast<unsigned>(codePoint), static_cast<int>(i));
      error = text;
      return false;
    }
    out += static_cast<char>(codePoint);
    i += length;
  }
  latin1 = out;
  return true;
}

std::string json_string(const std::string& latin1) { return dump(text_value(latin1)); }

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
  Json digits = Json::array();
  for (int i = 0; i < oa.length && i < kMaxAddressDigits; ++i) digits.push_back(oa.digits[i]);
  Json elements = Json::array();
  for (const UdhElement* e = sms.elements.get(); e != nullptr; e = e->next.get()) {
    Json element = {
        {"id", e->id}, {"length", e->length}, {"data", hex_text(e->data.data(), e->data.size())}};
    if (e->id == 0x04 || e->id == 0x05) {
      element["destinationPort"] = e->destinationPort;
      element["originatorPort"] = e->originatorPort;
    }
    elements.push_back(element);
  }
  const unsigned char* text = reinterpret_cast<const unsigned char*>(sms.text.data());

  Json out;
  out["pdu"] = text_value(pdu);
  out["replyPath"] = sms.replyPath;
  out["udhi"] = sms.udhi;
  out["statusReportIndication"] = sms.statusReportIndication;
  out["moreMessagesToSend"] = sms.moreMessagesToSend;
  out["messageTypeIndicator"] = sms.messageTypeIndicator;
  out["originator"] = {{"length", oa.length},
                       {"type", oa.type},
                       {"digits", digits},
                       {"text", text_value(address_text(oa))}};
  out["protocolId"] = sms.protocolId;
  out["dataCodingScheme"] = sms.dataCodingScheme;
  out["alphabet"] = sms.alphabet;
  out["timestamp"] = {{"raw", sms.timestamp},
                      {"readable", readable_timestamp(sms.timestamp)},
                      {"timeZoneQuarterHours", time_zone_quarter_hours(sms.timestamp[6])}};
  out["userDataLength"] = sms.userDataLength;
  out["elements"] = elements;
  out["textLength"] = sms.textLength;
  out["concatenated"] = sms.concatenated;
  out["concatReference"] = sms.concatReference;
  out["concatTotal"] = sms.concatTotal;
  out["concatSequence"] = sms.concatSequence;
  out["text"] = text_value(sms.text);
  out["textHex"] = hex_text(text, sms.text.size());
  return dump(out);
}

std::string sms_submit_json(const std::string& pdu, const SmsSubmit& submit) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(submit.text.data());
  Json out;
  out["pdu"] = text_value(pdu);
  out["messageType"] = "SMS-SUBMIT";
  out["serviceCentre"] = text_value(submit.serviceCentre);
  out["tpduLength"] = submit.tpduLength;
  out["replyPath"] = submit.replyPath;
  out["udhi"] = submit.udhi;
  out["statusReportRequest"] = submit.statusReportRequest;
  out["validityPeriodFormat"] = submit.validityPeriodFormat;
  out["rejectDuplicates"] = submit.rejectDuplicates;
  out["messageReference"] = submit.messageReference;
  out["destination"] = {{"type", submit.numberType}, {"text", text_value(submit.number)}};
  out["protocolId"] = submit.protocolId;
  out["dataCodingScheme"] = submit.dataCodingScheme;
  out["alphabet"] = submit.alphabet;
  out["validityPeriod"] = hex_text(submit.validityPeriod.data(), submit.validityPeriod.size());
  out["userDataLength"] = submit.userDataLength;
  out["header"] = hex_text(submit.header.data(), submit.header.size());
  out["text"] = text_value(submit.text);
  out["textHex"] = hex_text(text, submit.text.size());
  out["replacedCharacters"] = submit.replacedCharacters;
  return dump(out);
}

namespace {

Json stamp_json(const SmsTimeStamp& t) {
  const int zone = t.zoneQuarterHours < 0 ? -t.zoneQuarterHours : t.zoneQuarterHours;
  char text[40];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d %c%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.zoneQuarterHours < 0 ? '-' : '+', zone / 4,
                zone % 4 * 15);
  return {{"year", t.year},
          {"month", t.month},
          {"day", t.day},
          {"hour", t.hour},
          {"minute", t.minute},
          {"second", t.second},
          {"zoneQuarterHours", t.zoneQuarterHours},
          {"readable", text}};
}

}  // namespace

std::string sms_status_report_json(const std::string& pdu, const SmsStatusReport& report) {
  Json out;
  out["pdu"] = text_value(pdu);
  out["messageType"] = "SMS-STATUS-REPORT";
  out["serviceCentre"] = text_value(report.serviceCentre);
  out["tpduLength"] = report.tpduLength;
  out["udhi"] = report.udhi;
  out["statusReportQualifier"] = report.statusReportQualifier;
  out["loopPrevention"] = report.loopPrevention;
  out["moreMessagesToSend"] = report.moreMessagesToSend;
  out["messageReference"] = report.messageReference;
  out["recipient"] = {{"type", report.recipientType}, {"text", text_value(report.recipient)}};
  out["serviceCentreTime"] = stamp_json(report.serviceCentreTime);
  out["dischargeTime"] = stamp_json(report.dischargeTime);
  out["centreDelivery"] =
      report.dischargeTime.utc_seconds() - report.serviceCentreTime.utc_seconds();
  out["status"] = report.status;
  out["statusClass"] = report_status_class_name(report_status_class(report.status));
  out["parameterIndicator"] = report.parameterIndicator;
  out["protocolId"] = report.protocolId;
  out["dataCodingScheme"] = report.dataCodingScheme;
  out["userDataLength"] = report.userDataLength;
  out["userData"] = hex_text(report.userData.data(), report.userData.size());
  return dump(out);
}

std::string failure_json(const std::string& pdu, const std::string& message) {
  std::string line = message;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  Json out;
  out["pdu"] = text_value(pdu);
  out["error"] = text_value(line);
  return dump(out);
}

}  // namespace smstest
