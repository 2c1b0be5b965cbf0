// The options of one simulated modem (its delivery delay, its store and its
// faults), each defined once, in the table of modem_options.cpp: the parser
// of "--modem NAME=NUMBER,OPTION...", "--fault" and scenario lines takes
// them from it (apply_modem_option in sim_config.h), modem_sim --help prints
// their help from it, and a test checks man/modem_sim.1 against it.  A new
// fault is a field of ModemFaults (sim_config.h) and one row of the table.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace smstest {

struct ModemOption {
  // The name, then "=VALUE" when the option takes a value, or "[=VALUE]"
  // when the value may be left out: "delay=SECONDS", "chunks[=SECONDS]".
  const char* synopsis;
  // Its --help text: lines of at most 58 characters, separated by '\n'.
  const char* help;
  // Applies the option to `modem`: `value` after the "=", `given` false
  // when there was no "=".  False on a bad value.
  bool (*apply)(const std::string& value, bool given, ModemConfig& modem);
};

// Every modem option, in the order of --help.
const std::vector<ModemOption>& modem_options();

// The name of `option`: its synopsis up to "=" or "[".
std::string modem_option_name(const ModemOption& option);

// The "Modem options" section of modem_sim --help: one entry per option
// (help_entry in command_line.h), then notes on how they combine.
std::string modem_options_help();

}  // namespace smstest
