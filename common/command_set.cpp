#include "common/command_set.h"

#include <cctype>

namespace smstest {

bool command_set_from_name(const std::string& name, CommandSet& set) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.empty()) {
    set = CommandSet::kProprietary;
  } else if (lower == "text") {
    set = CommandSet::kText;
  } else if (lower == "pdu") {
    set = CommandSet::kPdu;
  } else {
    return false;
  }
  return true;
}

const char* command_set_choices() { return "text, pdu, or none for the modem's own commands"; }

}  // namespace smstest
