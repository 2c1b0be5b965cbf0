#include "common/command_set.h"

namespace smstest {

bool command_set_from_name(const std::string& name, CommandSet& set) {
  if (name.empty()) {
    set = CommandSet::kProprietary;
  } else if (name == "text") {
    set = CommandSet::kText;
  } else if (name == "pdu") {
    set = CommandSet::kPdu;
  } else {
    return false;
  }
  return true;
}

}  // namespace smstest
