#include "modem/text_format.h"

#include "common/text.h"
#include "modem/at_answer.h"
#include "pdu/gsm7_encode.h"
#include "pdu/pdu_encode.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

// Type of address "international number" (TS 24.008 10.5.4.7).
const char kInternational[] = "145";

}  // namespace

std::string text_mode_too_long(const std::string& text, bool utf8) {
  int septets = -1;
  int characters = static_cast<int>(text.size());
  if (utf8) {
    std::vector<unsigned char> units;
    // Not UTF-8 at all: the send refuses it for that.
    if (!utf8_to_utf16(text, units)) return "";
    characters = static_cast<int>(units.size() / 2);
    if (utf8_to_septets(text, units)) septets = static_cast<int>(units.size());
  } else {
    septets = gsm7_septet_count(text);
  }
  const char kParts[] = "; the pdu command set sends a longer text in parts";
  if (septets >= 0) {
    if (septets <= kMaxSeptets) return "";
    return format("Message text too long for one SMS in text mode: %d septets, at most %d%s",
                  septets, kMaxSeptets, kParts);
  }
  if (characters <= kMaxUcs2Characters) return "";
  return format(
      "Message text too long for one SMS in text mode: %d characters in UCS2, at most %d%s",
      characters, kMaxUcs2Characters, kParts);
}

std::string TextFormat::setting_needed(const std::string& setting) const {
  if (!utf8Texts || setting.rfind("AT+CSCS=", 0) != 0) return "";
  return "the modem does not offer the character set UCS2, which text mode needs for a message "
         "text with a character beyond U+00FF (the pdu command set sends any text; option "
         "charset=latin1 sends the bytes as ISO-8859-1 characters)";
}

bool TextFormat::submit(const std::string& number, const std::string& text, std::string& command,
                        std::string& payload, std::string& error) const {
  if (number.empty()) {
    error = "No number to send the message to";
    return false;
  }
  for (unsigned char c : number) {
    if (c == '"' || c < 0x20 || c == 0x7F) {
      error = format("Cannot send to \"%s\": the number holds a quote or a control byte",
                     escape_text(number).c_str());
      return false;
    }
  }
  const std::string longer = text_mode_too_long(text, utf8Texts);
  if (!longer.empty()) {
    error = longer;
    return false;
  }
  if (utf8Texts) {
    std::vector<unsigned char> numberUnits;
    std::vector<unsigned char> textUnits;
    utf8_to_utf16(number, numberUnits);  // digits and '+': always valid
    if (!utf8_to_utf16(text, textUnits)) {
      error = format("Cannot send \"%s\" in text mode: it is not valid UTF-8",
                     escape_text(text).c_str());
      return false;
    }
    command = "AT+CMGS=\"" + upper_hex(numberUnits) + "\"";
    payload = upper_hex(textUnits);
    return true;
  }
  for (unsigned char c : text) {
    if (c == 0x1A || c == 0x1B) {
      error =
          format("Cannot send \"%s\" in text mode: a Ctrl-Z or ESC in the text would end it early",
                 escape_text(text).c_str());
      return false;
    }
  }
  command = "AT+CMGS=\"" + number + "\"";
  payload = text;
  return true;
}

bool TextFormat::read_message(const std::string& header, const std::string& data,
                              ReceivedMessage& message, std::string& error) const {
  std::vector<std::string> fields = split_fields(header);
  if (fields.size() < 2 || fields[1].empty()) {
    error = format("no sender in \"+CMGR: %s\"", escape_text(header).c_str());
    return false;
  }
  std::string& sender = message.sender;
  sender = fields[1];
  if (utf8Texts) {
    std::string decoded;
    if (utf8_of_ucs2_hex(sender, decoded)) sender = decoded;
    if (!utf8_of_ucs2_hex(trim_text(data), message.text)) {
      error = format("\"%s\" is not UCS2 hex", escape_text(data).c_str());
      return false;
    }
    if (sender.empty()) {
      error = format("no sender in \"+CMGR: %s\"", escape_text(header).c_str());
      return false;
    }
    if (fields.size() > 4 && fields[4] == kInternational && sender[0] != '+') sender = "+" + sender;
    message.raw = data;
    return true;
  }
  if (fields.size() > 4 && fields[4] == kInternational && sender[0] != '+') sender = "+" + sender;
  message.raw = data;
  message.text = data;
  return true;
}

}  // namespace smstest
