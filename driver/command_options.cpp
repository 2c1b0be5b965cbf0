#include "driver/command_options.h"

#include <cctype>
#include <cstdlib>

#include "common/command_set.h"
#include "common/text.h"

namespace smstest {

namespace {

bool take_record(const std::string& value, CommandOptions& options, std::string& why) {
  if (value.empty()) {
    why = "a file name is needed";
    return false;
  }
  options.hasRecord = true;
  options.record = value;
  return true;
}

bool take_command_set(const std::string& value, CommandOptions& options, std::string& why) {
  CommandSet set;
  if (!command_set_from_name(value, set)) {
    why = format("no command set is called \"%s\" (empty, text or pdu)", value.c_str());
    return false;
  }
  options.hasCommandSet = true;
  options.commandSet = value;
  return true;
}

bool take_charset(const std::string& value, CommandOptions& options, std::string& why) {
  std::string name;
  for (char c : value) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "latin1") {
    options.charset = MessageCharset::kLatin1;
  } else if (name == "utf-8") {
    options.charset = MessageCharset::kUtf8;
  } else {
    why = format("no character set is called \"%s\" (latin1 or utf-8)", value.c_str());
    return false;
  }
  return true;
}

bool take_report(const std::string& value, CommandOptions& options, std::string& why) {
  if (value != "0" && value != "1") {
    why = "0 or 1";
    return false;
  }
  options.report = value == "1";
  return true;
}

bool take_wait(const std::string& value, CommandOptions& options, std::string& why) {
  if (value == "message") {
    options.waitReport = false;
  } else if (value == "report") {
    options.waitReport = true;
  } else {
    why = "message or report";
    return false;
  }
  return true;
}

bool take_radio(const std::string& value, CommandOptions& options, std::string& why) {
  if (value != "0" && value != "1") {
    why = "0 or 1 is needed";
    return false;
  }
  options.radio = value == "1" ? 1 : 0;
  return true;
}

// A whole number from `low` to `high`, digits only.
bool take_number(const std::string& value, int low, int high, int& number) {
  if (value.empty() || value.size() > 9) return false;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
  }
  const long parsed = std::strtol(value.c_str(), nullptr, 10);
  if (parsed < low || parsed > high) return false;
  number = static_cast<int>(parsed);
  return true;
}

bool take_reference(const std::string& value, CommandOptions& options, std::string& why) {
  if (value != "8" && value != "16") {
    why = "8 or 16";
    return false;
  }
  options.referenceBits = value == "16" ? 16 : 8;
  return true;
}

bool take_max_parts(const std::string& value, CommandOptions& options, std::string& why) {
  if (!take_number(value, 1, 255, options.maxParts)) {
    why = "a number from 1 to 255";
    return false;
  }
  return true;
}

bool take_length(const std::string& value, CommandOptions& options, std::string& why) {
  if (!take_number(value, 1, kMaxLengthOption, options.length)) {
    why = format("a number from 1 to %d", kMaxLengthOption);
    return false;
  }
  return true;
}

const OptionRow kOptions[] = {
    {"record", "FILE", take_record,
     "append the run record (one JSON object on one line) to FILE, relative to the working "
     "directory; without it the file the environment variable SMS_TEST_RECORD names, if any"},
    {"commandSet", "SET", take_command_set,
     "the command set, as field 11 of line 3 takes it (empty, text or pdu); when both are given "
     "they must agree"},
    {"charset", "CHARSET", take_charset,
     "how the text and pdu command sets read the bytes of messageText: latin1 (each byte one "
     "ISO-8859-1 character) or utf-8; without it as UTF-8 when they are valid UTF-8, else as "
     "ISO-8859-1; a text with a character beyond U+00FF goes as UTF-8 (PDU mode: GSM 7-bit or "
     "UCS2; text mode: AT+CSCS=\"UCS2\") (the proprietary set sends the bytes as they are)"},
    {"report", "N", take_report,
     "N 0 (the default) or 1; 1: every message the run sends (a reflector's reply too) asks for "
     "a status report (standard "
     "command sets); the "
     "round trip waits for it on the sending modem after the message is found, until the test "
     "deadline, and the run record holds its status and confirmTime; a missing report does not "
     "fail the run"},
    {"wait", "KIND", take_wait,
     "KIND message (the default) or report; report: the round trip sends to toNumber (a phone the "
     "test need not hold) with report=1 and "
     "ends on the final status report instead of a received message; a failure report or none "
     "fails the run"},
    {"radio", "N", take_radio,
     "1: take the radio conditions and the identity of each modem (registration, operator, "
     "signal) at open, before the send, when the message is found and when a final status report "
     "comes, into the run record; 0: "
     "do not; without it, on in the standard command sets and off in the proprietary one"},
    {"reference", "BITS", take_reference,
     "BITS 8 (the default) or 16: the size of the concatenation reference of a text longer than "
     "one message, which the pdu command set sends in parts of 153 septets or 67 UCS2 characters "
     "(8) or 152 and 66 (16)"},
    {"maxParts", "N", take_max_parts,
     "N 1 to 255, 10 by default: the most parts a message may take in the pdu command set; a "
     "longer text is refused at start-up (a reflector's reply when it is sent)"},
    {"length", "N", take_length,
     "send exactly N characters: the time marker, messageText, then a fixed filler of the whole "
     "GSM 7-bit alphabet, escape characters included (printable ISO-8859-1 characters when the "
     "text needs UCS2); refused at start-up when the marker and messageText are longer than N, "
     "and in the proprietary command set"},
    {nullptr, nullptr, nullptr, nullptr},
};

bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_name_char(char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

}  // namespace

const OptionRow* option_table() { return kOptions; }

bool split_option_line(const std::string& line, std::string& name, std::string& value) {
  if (line.empty() || !is_name_start(line[0])) return false;
  size_t end = 1;
  while (end < line.size() && is_name_char(line[end])) ++end;
  if (end == line.size() || line[end] != '=') return false;
  name = line.substr(0, end);
  value = trim_text(line.substr(end + 1));
  return true;
}

bool take_option_line(const std::string& line, const char* cmdFile, CommandOptions& options,
                      std::string& error) {
  std::string name;
  std::string value;
  if (!split_option_line(line, name, value)) return true;
  const OptionRow* row = option_table();
  while (row->name != nullptr && name != row->name) ++row;
  if (row->name == nullptr) {
    error = format("Unknown option %s in %s\n", name.c_str(), cmdFile);
    return false;
  }
  for (const std::string& earlier : options.given) {
    if (earlier != name) continue;
    error = format("Option %s given twice in %s\n", name.c_str(), cmdFile);
    return false;
  }
  options.given.push_back(name);
  std::string why;
  if (!row->take(value, options, why)) {
    error = format("Bad value for option %s in %s: %s\n", name.c_str(), cmdFile, why.c_str());
    return false;
  }
  return true;
}

}  // namespace smstest
