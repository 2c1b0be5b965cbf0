// The radio side of a simulated modem: where it is registered, on which
// network and cell, by which access technology, and how strong the signal
// is; set per modem by the modem options (modem_options.h) and changed over
// time by a schedule (radio-at=SECONDS:SETTING).  The commands of 3GPP
// TS 27.007 that report it (radio_commands.cpp) read it from here, and the
// network (network.h) writes the registration lines a change leads to.
//
// Signal values are kept in their physical units; the commands turn them
// into the index ranges of TS 27.007 (+CSQ, +CESQ).
#pragma once

#include <string>
#include <vector>

namespace smstest {

// <stat> of +CREG, +CGREG and +CEREG.
enum RegistrationStat {
  kStatNotRegistered = 0,
  kStatHome = 1,
  kStatSearching = 2,
  kStatDenied = 3,
  kStatUnknown = 4,
  kStatRoaming = 5,
};

struct RadioSettings {
  int stat = kStatHome;
  std::string plmn = "00101";  // MCC and MNC of the serving network, digits only
  int act = 7;                 // <AcT> of TS 27.007: 0 GSM, 2 UTRAN, 3 EDGE, 6 HSPA, 7 LTE, 11 NR
  unsigned lac = 0x1A2B;       // LAC, or TAC on LTE and NR
  unsigned cellId = 0x01C2D03;
  int rssiDbm = -65;
  int rscpDbm = -80;
  double ecnoDb = -6;
  double rsrqDb = -10;
  int rsrpDbm = -95;
};

// Whether the modem is registered (home or roaming).
bool registered(const RadioSettings& radio);

// Applies one radio setting: "operator" (5 or 6 digits), "tech"
// (gsm|edge|umts|hspa|lte|nr), "lac" and "cell" (hex), "rssi", "rscp",
// "rsrp" (whole dBm), "ecno", "rsrq" (dB, halves allowed), "reg"
// (home|roaming|searching|denied|none).  "lost" (no value) is reg=searching.
// False for an unknown name or a value out of its range.
bool apply_radio_setting(const std::string& name, const std::string& value, bool given,
                         RadioSettings& radio);

// "SETTING[+SETTING...]" of a schedule entry, each "NAME=VALUE" or "lost".
bool apply_radio_settings(const std::string& list, RadioSettings& radio);

// A change of the radio at `at` seconds after the simulator is ready.
struct RadioChange {
  double at = 0;
  std::string settings;  // as apply_radio_settings takes them
};

// Parses "SECONDS:SETTING[+SETTING...]" (the radio-at option); the settings
// are checked on a copy of defaults.
bool parse_radio_change(const std::string& text, RadioChange& change);

// TS 27.007 indices of the signal values: +CSQ <rssi> (99 when unknown),
// +CESQ <rxlev>, <rscp>, <ecno>, <rsrq>, <rsrp> (99 or 255 when the
// technology does not have the value or the modem is not registered).
int csq_rssi(const RadioSettings& radio);
std::string cesq_values(const RadioSettings& radio);

// The values after "+CREG: " (or +CGREG, +CEREG) for the report mode `n`:
// "<stat>" for 1, with ",\"<lac>\",\"<ci>\",<AcT>" for 2 while registered.
std::string registration_values(const RadioSettings& radio, int n);

}  // namespace smstest
