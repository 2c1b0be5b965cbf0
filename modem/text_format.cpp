#include "modem/text_format.h"

#include "common/text.h"
#include "modem/at_answer.h"

namespace smstest {

namespace {

// Type of address "international number" (TS 24.008 10.5.4.7).
const char kInternational[] = "145";

}  // namespace

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
  if (fields.size() > 4 && fields[4] == kInternational && sender[0] != '+') sender = "+" + sender;
  message.raw = data;
  message.text = data;
  return true;
}

}  // namespace smstest
