#include "sim/radio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/text.h"
#include "sim/sim_config.h"

namespace smstest {

namespace {

bool digits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool hex_value(const std::string& text, size_t maxDigits, unsigned& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
  return true;
}

// A decimal number, an optional '-', digits and at most ".5"; within [low, high].
bool decimal_value(const std::string& text, double low, double high, bool halves, double& value) {
  size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  size_t dot = text.find('.');
  std::string whole =
      text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
  if (!digits(whole) || whole.size() > 4) return false;
  if (dot != std::string::npos &&
      (!halves || (text.substr(dot) != ".5" && text.substr(dot) != ".0"))) {
    return false;
  }
  value = std::atof(text.c_str());
  return value >= low && value <= high;
}

bool whole_dbm(const std::string& text, int low, int high, int& value) {
  double number = 0;
  if (!decimal_value(text, low, high, false, number)) return false;
  value = static_cast<int>(number);
  return true;
}

struct Technology {
  const char* name;
  int act;
};

const Technology kTechnologies[] = {{"gsm", 0},  {"umts", 2}, {"edge", 3},
                                    {"hspa", 6}, {"lte", 7},  {"nr", 11}};

struct Registration {
  const char* name;
  int stat;
};

const Registration kRegistrations[] = {{"none", kStatNotRegistered},
                                       {"home", kStatHome},
                                       {"searching", kStatSearching},
                                       {"denied", kStatDenied},
                                       {"roaming", kStatRoaming}};

bool umts(int act) { return act == 2 || (act >= 4 && act <= 6); }
bool lte(int act) { return act == 7 || act == 9 || act >= 10; }
bool gsm(int act) { return act == 0 || act == 1 || act == 3 || act == 8; }

int clamp_index(double value, int low, int high) {
  return static_cast<int>(std::min<double>(high, std::max<double>(low, std::floor(value))));
}

}  // namespace

bool registered(const RadioSettings& radio) {
  return radio.stat == kStatHome || radio.stat == kStatRoaming;
}

bool apply_radio_setting(const std::string& name, const std::string& value, bool given,
                         RadioSettings& radio) {
  double number = 0;
  if (name == "lost") {
    radio.stat = kStatSearching;
    return !given;
  }
  if (!given) return false;
  if (name == "operator") {
    if (!digits(value) || (value.size() != 5 && value.size() != 6)) return false;
    radio.plmn = value;
    return true;
  }
  if (name == "tech") {
    for (const Technology& t : kTechnologies) {
      if (value == t.name) {
        radio.act = t.act;
        return true;
      }
    }
    return false;
  }
  if (name == "reg") {
    for (const Registration& r : kRegistrations) {
      if (value == r.name) {
        radio.stat = r.stat;
        return true;
      }
    }
    return false;
  }
  if (name == "lac") return hex_value(value, 6, radio.lac);
  if (name == "cell") return hex_value(value, 9, radio.cellId);
  if (name == "rssi") return whole_dbm(value, -113, -51, radio.rssiDbm);
  if (name == "rscp") return whole_dbm(value, -120, -25, radio.rscpDbm);
  if (name == "rsrp") return whole_dbm(value, -140, -44, radio.rsrpDbm);
  if (name == "ecno") {
    if (!decimal_value(value, -24, 0, true, number)) return false;
    radio.ecnoDb = number;
    return true;
  }
  if (name == "rsrq") {
    if (!decimal_value(value, -19.5, -3, true, number)) return false;
    radio.rsrqDb = number;
    return true;
  }
  return false;
}

bool apply_radio_settings(const std::string& list, RadioSettings& radio) {
  for (const std::string& setting : split(list, '+')) {
    size_t equals = setting.find('=');
    bool given = equals != std::string::npos;
    std::string value = given ? setting.substr(equals + 1) : std::string();
    if (!apply_radio_setting(setting.substr(0, equals), value, given, radio)) return false;
  }
  return true;
}

bool parse_radio_change(const std::string& text, RadioChange& change) {
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string seconds = text.substr(0, colon);
  if (!parse_seconds(seconds, change.at)) return false;
  RadioSettings check;
  change.settings = text.substr(colon + 1);
  return !change.settings.empty() && apply_radio_settings(change.settings, check);
}

int csq_rssi(const RadioSettings& radio) {
  if (!registered(radio) && radio.stat != kStatDenied) return 99;
  return clamp_index((radio.rssiDbm + 113) / 2.0, 0, 31);
}

std::string cesq_values(const RadioSettings& radio) {
  int rxlev = 99, rscp = 255, ecno = 255, rsrq = 255, rsrp = 255;
  if (registered(radio) || radio.stat == kStatDenied) {
    if (gsm(radio.act)) rxlev = clamp_index(radio.rssiDbm + 111, 0, 63);
    if (umts(radio.act)) {
      rscp = clamp_index(radio.rscpDbm + 121, 0, 96);
      ecno = clamp_index((radio.ecnoDb + 24.5) * 2, 0, 49);
    }
    if (lte(radio.act)) {
      rsrq = clamp_index((radio.rsrqDb + 20) * 2, 0, 34);
      rsrp = clamp_index(radio.rsrpDbm + 141, 0, 97);
    }
  }
  return format("%d,99,%d,%d,%d,%d", rxlev, rscp, ecno, rsrq, rsrp);
}

std::string registration_values(const RadioSettings& radio, int n) {
  std::string values = format("%d", radio.stat);
  if (n < 2 || !registered(radio)) return values;
  // GSM cells have 16-bit identities; UTRAN and E-UTRAN ones 28 bits.
  const char* cellForm = gsm(radio.act) ? "%04X" : "%07X";
  return values + format(",\"%04X\",\"", radio.lac) + format(cellForm, radio.cellId) +
         format("\",%d", radio.act);
}

}  // namespace smstest
