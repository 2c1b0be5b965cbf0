// The command sets a run can use, and their names in a command file.  Kept
// below the modem layer so that the tools that read command files (the
// campaign) need no modem code.
#pragma once

#include <string>

namespace smstest {

// The command sets a run can use.
enum class CommandSet {
  kProprietary,  // AT!SSMS, AT!GSMS?2,0, AT!DSMS=3,0 (the command file names none)
  kText,         // 3GPP TS 27.005 in text mode ("text")
  kPdu,          // 3GPP TS 27.005 in PDU mode ("pdu")
};

// The command set named `name` in a command file ("" for the proprietary set,
// "text", "pdu", in any mix of upper and lower case); false for any other
// name.
bool command_set_from_name(const std::string& name, CommandSet& set);

// The names command_set_from_name takes, as a refusal lists them.
const char* command_set_choices();

}  // namespace smstest
