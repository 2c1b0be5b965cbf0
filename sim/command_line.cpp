#include "sim/command_line.h"

#include <CLI/CLI.hpp>

#include "common/text.h"

namespace smstest {

namespace {

bool apply_dir(const std::string& value, SimConfig& config, std::string&) {
  config.dir = value;
  return true;
}

bool apply_seconds(const char* name, const std::string& value, double& seconds,
                   std::string& lastError) {
  if (parse_seconds(value, seconds)) return true;
  lastError = format("%s: bad number of seconds \"%s\"", name, value.c_str());
  return false;
}

bool apply_delay(const std::string& value, SimConfig& config, std::string& lastError) {
  return apply_seconds("--delay", value, config.delay, lastError);
}

bool apply_duration(const std::string& value, SimConfig& config, std::string& lastError) {
  return apply_seconds("--duration", value, config.duration, lastError);
}

bool apply_fault(const std::string& value, SimConfig& config, std::string& lastError) {
  size_t equals = value.find('=');
  if (equals == std::string::npos) {
    lastError = "--fault: expected NAME=OPTION[,OPTION...]";
    return false;
  }
  return add_modem_options(value.substr(0, equals), value.substr(equals + 1), config, lastError);
}

bool apply_inject(const std::string& value, SimConfig& config, std::string& lastError) {
  Injection injection;
  if (!parse_injection(value, injection, lastError)) return false;
  config.injections.push_back(injection);
  return true;
}

bool apply_help(const std::string&, SimConfig& config, std::string&) {
  config.help = true;
  return true;
}

bool apply_version(const std::string&, SimConfig& config, std::string&) {
  config.version = true;
  return true;
}

// The long name of an option: the last of its names.
std::string long_name(const SimOption& option) {
  std::string names = option.names;
  return names.substr(names.rfind(',') + 1);
}

}  // namespace

const std::vector<SimOption>& sim_options() {
  static const std::vector<SimOption> options = {
      {"--dir", "DIR",
       "where the links and the records go (created with its\n"
       "parents if missing; one simulator at a time)",
       apply_dir},
      {"--modem", "NAME=NUMBER[,OPTION...]",
       "a modem with link name NAME (e.g. COM3) and phone NUMBER\n"
       "(digits, optional leading +), with options (below)",
       add_modem},
      {"--fault", "NAME=OPTION[,OPTION...]", "more options for a modem given before", apply_fault},
      {"--delay", "SECONDS", "delivery delay between modems (default 1.0)", apply_delay},
      {"--duration", "SECONDS",
       "stop by itself this long after ready (default: until\n"
       "SIGINT or SIGTERM)",
       apply_duration},
      {"--inject", "MODEM@SECONDS:FROM:TEXT",
       "an outside phone FROM sends TEXT to MODEM (name or\n"
       "number) SECONDS after ready; TEXT runs to the end",
       apply_inject},
      {"--store", "MODEM:FROM:TEXT",
       "a message from FROM with TEXT in MODEM's store before\n"
       "the run (after any of its stored=N ones)",
       add_stored_message},
      {"--gps", "NAME=ROUTE",
       "a simulated GPS receiver on the link DIR/NAME, sending\n"
       "NMEA once a second along the route file ROUTE (below)",
       add_gps_receiver},
      {"--scenario", "FILE", "read settings from FILE (format below)", read_scenario_file},
      {"-h,--help", nullptr, "this text", apply_help},
      {"--version", nullptr, "the version, then exit", apply_version},
  };
  return options;
}

std::string help_entry(const std::string& synopsis, const std::string& help) {
  const size_t column = 21;  // where the help text starts
  std::string entry = "  " + synopsis;
  entry += entry.size() < column ? std::string(column - entry.size(), ' ')
                                 : "\n" + std::string(column, ' ');
  for (char c : help) {
    entry += c;
    if (c == '\n') entry += std::string(column, ' ');
  }
  return entry + "\n";
}

std::string sim_options_help() {
  std::string out;
  for (const SimOption& option : sim_options()) {
    std::string synopsis = long_name(option);
    if (option.value != nullptr) synopsis += std::string(" ") + option.value;
    out += help_entry(synopsis, option.help);
  }
  return out;
}

bool parse_sim_arguments(const std::vector<std::string>& args, SimConfig& config,
                         std::string& lastError) {
  CLI::App app("modem_sim", "modem_sim");
  app.set_help_flag();  // --help is an option of the table
  app.allow_extras();   // refused below, with the system's own message
  // The options apply in the order given, each as it is read; after the
  // first failure the rest are only read.
  std::string failure;
  for (const SimOption& option : sim_options()) {
    auto apply = [&option, &config, &failure](const std::string& value) {
      if (failure.empty() && !option.apply(value, config, failure) && failure.empty()) {
        failure = format("bad %s", long_name(option).c_str());
      }
    };
    if (option.value == nullptr) {
      app.add_flag_callback(option.names, [apply] { apply(std::string()); });
    } else {
      app.add_option_function<std::string>(option.names, apply)
          ->trigger_on_parse()
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch& e) {
    // Only the last argument can lack its value: any other has the next one.
    lastError = args.empty() ? e.what() : format("%s needs a value", args.back().c_str());
    return false;
  } catch (const CLI::ParseError& e) {
    lastError = e.what();
    return false;
  }
  if (!failure.empty()) {
    lastError = failure;
    return false;
  }
  if (!app.remaining().empty()) {
    lastError = format("unknown argument \"%s\" (see --help)", app.remaining().front().c_str());
    return false;
  }
  return check_sim_config(config, lastError);
}

}  // namespace smstest
