// modem_sim's command line: its options, each defined once in the table of
// command_line.cpp with its value, its help and what it does, from which
// both the parser (on CLI11, parse_sim_arguments in sim_config.h) and the
// option list of --help come.  The modem options inside --modem and --fault
// have a table of their own (modem_options.h).
#pragma once

#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace smstest {

struct SimOption {
  const char* names;  // for CLI11: "--dir", "-h,--help"
  const char* value;  // what follows it, "DIR"; null for a flag
  const char* help;   // its --help text, lines separated by '\n'
  // Applies the option with its value ("" for a flag) to `config`, in the
  // order the options are given; false with the reason in `lastError`.
  bool (*apply)(const std::string& value, SimConfig& config, std::string& lastError);
};

// Every option of modem_sim, in the order of --help.
const std::vector<SimOption>& sim_options();

// The option list of --help: one entry per option, its long name and value
// indented by two, the help beside it (or below it, when that is long) from
// column 21.
std::string sim_options_help();

// An entry of an option list in --help: `synopsis` indented by two, `help`
// beside it from column 21, or below it when the synopsis is that long.
std::string help_entry(const std::string& synopsis, const std::string& help);

}  // namespace smstest
