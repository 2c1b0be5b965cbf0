#include "sim/sim_config.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/text.h"
#include "pdu/phone_number.h"

namespace smstest {

namespace {

bool valid_number(const std::string& number) { return is_phone_number(number, kMaxNumberDigits); }

// Link names become file names in the directory: keep them plain.
bool valid_name(const std::string& name) {
  if (name.empty() || name.size() > 32 || name == "." || name == "..") return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// Splits a scenario line into its first `count` white-space separated words
// and the rest of the line (for texts, which may hold blanks).
std::vector<std::string> words(const std::string& line, size_t count, std::string& rest) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (out.size() < count) {
    while (pos < line.size() && is_c_space(static_cast<unsigned char>(line[pos]))) ++pos;
    if (pos >= line.size()) break;
    size_t end = pos;
    while (end < line.size() && !is_c_space(static_cast<unsigned char>(line[end]))) ++end;
    out.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  if (pos < line.size()) ++pos;  // the one blank before the text
  rest = pos < line.size() ? line.substr(pos) : std::string();
  return out;
}

}  // namespace

bool parse_seconds(const std::string& text, double& seconds) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(value >= 0) || value > 1e6) return false;
  seconds = value;
  return true;
}

bool parse_count(const std::string& text, int& count) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  count = std::atoi(text.c_str());
  return true;
}

bool add_modem_options(const std::string& name, const std::string& options, SimConfig& config,
                       std::string& lastError) {
  int index = config.find_modem(name);
  if (index < 0) {
    lastError = format("no modem named %s", name.c_str());
    return false;
  }
  for (const std::string& option : split(options, ',')) {
    if (!apply_modem_option(option, config.modems[index], lastError)) return false;
  }
  return true;
}

bool add_modem(const std::string& text, SimConfig& config, std::string& lastError) {
  ModemConfig modem;
  if (!parse_modem_argument(text, modem, lastError)) return false;
  if (config.find_modem(modem.name) >= 0 || config.find_modem(modem.number) >= 0) {
    lastError =
        format("modem %s=%s: name or number used twice", modem.name.c_str(), modem.number.c_str());
    return false;
  }
  config.modems.push_back(modem);
  return true;
}

bool check_sim_config(const SimConfig& config, std::string& lastError) {
  if (config.help || config.version) return true;
  if (config.dir.empty()) {
    lastError = "no directory given (--dir DIR)";
    return false;
  }
  if (config.modems.empty()) {
    lastError = "no modem given (--modem NAME=NUMBER)";
    return false;
  }
  for (const ModemConfig& modem : config.modems) {
    if (!modem.faults.storageFull && static_cast<int>(modem.stored.size()) > modem.storeSize) {
      lastError = format("modem %s: %zu stored messages do not fit its store of %d",
                         modem.name.c_str(), modem.stored.size(), modem.storeSize);
      return false;
    }
  }
  for (const Injection& injection : config.injections) {
    if (config.find_modem(injection.modem) < 0) {
      lastError = format("injection to unknown modem %s", injection.modem.c_str());
      return false;
    }
  }
  for (const GpsReceiverConfig& gps : config.gpsReceivers) {
    if (config.find_modem(gps.name) >= 0) {
      lastError = format("--gps: the name %s is used twice", gps.name.c_str());
      return false;
    }
  }
  for (const ModemConfig& modem : config.modems) {
    bool found = modem.follows.empty();
    for (const GpsReceiverConfig& gps : config.gpsReceivers) found |= gps.name == modem.follows;
    if (!found) {
      lastError = format("modem %s follows unknown GPS receiver %s (--gps %s=ROUTE)",
                         modem.name.c_str(), modem.follows.c_str(), modem.follows.c_str());
      return false;
    }
  }
  return true;
}

bool add_gps_receiver(const std::string& text, SimConfig& config, std::string& lastError) {
  size_t equals = text.find('=');
  GpsReceiverConfig gps;
  if (equals != std::string::npos) {
    gps.name = text.substr(0, equals);
    gps.routeFile = text.substr(equals + 1);
  }
  if (gps.name.empty() || gps.routeFile.empty() || gps.name.find('/') != std::string::npos) {
    lastError = format("--gps \"%s\": expected NAME=ROUTE", text.c_str());
    return false;
  }
  bool taken = config.find_modem(gps.name) >= 0;
  for (const GpsReceiverConfig& other : config.gpsReceivers) taken |= other.name == gps.name;
  if (taken) {
    lastError = format("--gps: the name %s is used twice", gps.name.c_str());
    return false;
  }
  std::ifstream file(gps.routeFile, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  if (!file) {
    lastError = format("cannot read route file %s", gps.routeFile.c_str());
    return false;
  }
  if (!parse_gps_route(content.str(), gps.routeFile, &gps.route, &lastError)) return false;
  config.gpsReceivers.push_back(gps);
  return true;
}

int SimConfig::find_modem(const std::string& nameOrNumber) const {
  for (size_t i = 0; i < modems.size(); ++i) {
    if (modems[i].name == nameOrNumber || modems[i].number == nameOrNumber) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool parse_modem_argument(const std::string& text, ModemConfig& modem, std::string& lastError) {
  std::vector<std::string> parts = split(text, ',');
  size_t equals = parts[0].find('=');
  if (equals == std::string::npos) {
    lastError = format("modem \"%s\": expected NAME=NUMBER", text.c_str());
    return false;
  }
  modem.name = parts[0].substr(0, equals);
  modem.number = parts[0].substr(equals + 1);
  if (!valid_name(modem.name)) {
    lastError = format("modem \"%s\": bad name", text.c_str());
    return false;
  }
  if (!valid_number(modem.number)) {
    lastError = format("modem \"%s\": bad phone number", text.c_str());
    return false;
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!apply_modem_option(parts[i], modem, lastError)) return false;
  }
  return true;
}

bool parse_injection(const std::string& text, Injection& injection, std::string& lastError) {
  size_t at = text.find('@');
  size_t colon1 = text.find(':', at == std::string::npos ? 0 : at);
  size_t colon2 = colon1 == std::string::npos ? colon1 : text.find(':', colon1 + 1);
  if (at == std::string::npos || colon2 == std::string::npos) {
    lastError = format("injection \"%s\": expected MODEM@SECONDS:FROM:TEXT", text.c_str());
    return false;
  }
  injection.modem = text.substr(0, at);
  injection.from = text.substr(colon1 + 1, colon2 - colon1 - 1);
  injection.text = text.substr(colon2 + 1);
  if (!parse_seconds(text.substr(at + 1, colon1 - at - 1), injection.at)) {
    lastError = format("injection \"%s\": bad time", text.c_str());
    return false;
  }
  if (!valid_number(injection.from)) {
    lastError = format("injection \"%s\": bad phone number", text.c_str());
    return false;
  }
  if (injection.text.find_first_of("\r\n") != std::string::npos) {
    lastError = format("injection \"%s\": the text holds a line end", text.c_str());
    return false;
  }
  return true;
}

bool add_stored_message(const std::string& text, SimConfig& config, std::string& lastError) {
  size_t colon1 = text.find(':');
  size_t colon2 = colon1 == std::string::npos ? colon1 : text.find(':', colon1 + 1);
  if (colon2 == std::string::npos) {
    lastError = format("stored message \"%s\": expected MODEM:FROM:TEXT", text.c_str());
    return false;
  }
  int index = config.find_modem(text.substr(0, colon1));
  PresetMessage message{text.substr(colon1 + 1, colon2 - colon1 - 1), text.substr(colon2 + 1)};
  if (index < 0) {
    lastError = format("stored message \"%s\": no modem %s given before", text.c_str(),
                       text.substr(0, colon1).c_str());
    return false;
  }
  if (!valid_number(message.from)) {
    lastError = format("stored message \"%s\": bad phone number", text.c_str());
    return false;
  }
  if (message.text.find_first_of("\r\n") != std::string::npos) {
    lastError = format("stored message \"%s\": the text holds a line end", text.c_str());
    return false;
  }
  config.modems[index].stored.push_back(message);
  return true;
}

bool parse_scenario(const std::string& text, const std::string& origin, SimConfig& config,
                    std::string& lastError) {
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string rest;
    std::vector<std::string> w = words(line, 1, rest);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string& key = w[0];
    std::string error;
    bool ok = true;
    if (key == "dir") {
      config.dir = trim_text(rest);
      ok = !config.dir.empty();
      error = "expected: dir DIR";
    } else if (key == "delay" || key == "duration") {
      ok = parse_seconds(trim_text(rest), key == "delay" ? config.delay : config.duration);
      error = format("expected: %s SECONDS", key.c_str());
    } else if (key == "modem" || key == "fault") {
      std::string ignored;
      std::vector<std::string> args = words(rest, 64, ignored);
      ok = !args.empty();
      error = key == "modem" ? "expected: modem NAME=NUMBER [OPTION...]"
                             : "expected: fault NAME OPTION...";
      if (ok && key == "modem") {
        ok = add_modem(args[0], config, error);
        for (size_t i = 1; ok && i < args.size(); ++i) {
          ok = add_modem_options(config.modems.back().name, args[i], config, error);
        }
      } else if (ok) {
        ok = args.size() >= 2;
        for (size_t i = 1; ok && i < args.size(); ++i) {
          ok = add_modem_options(args[0], args[i], config, error);
        }
      }
    } else if (key == "inject") {
      std::string body;
      std::vector<std::string> args = words(rest, 3, body);
      Injection injection;
      ok = args.size() == 3 &&
           parse_injection(args[0] + "@" + args[1] + ":" + args[2] + ":" + body, injection, error);
      if (args.size() != 3) error = "expected: inject MODEM SECONDS FROM TEXT";
      if (ok) config.injections.push_back(injection);
    } else if (key == "store") {
      std::string body;
      std::vector<std::string> args = words(rest, 2, body);
      ok = args.size() == 2 &&
           add_stored_message(args[0] + ":" + args[1] + ":" + body, config, error);
      if (args.size() != 2) error = "expected: store MODEM FROM TEXT";
    } else {
      ok = false;
      error = format("unknown setting \"%s\"", key.c_str());
    }
    if (!ok) {
      lastError = format("%s:%d: %s", origin.c_str(), lineNumber, error.c_str());
      return false;
    }
  }
  return true;
}

bool read_scenario_file(const std::string& path, SimConfig& config, std::string& lastError) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    lastError = format("cannot read scenario file %s", path.c_str());
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  return parse_scenario(text.str(), path, config, lastError);
}

}  // namespace smstest
