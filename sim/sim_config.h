// What a run of the modem simulator serves: the modems with their phone
// numbers, delivery delays and faults, the messages that outside phones send,
// and how long to run.  Filled from the command line of modem_sim and from
// scenario files; read by the network (network.h) and the simulator
// (simulator.h).
#pragma once

#include <string>
#include <vector>

#include "sim/gps_route.h"
#include "sim/radio.h"

namespace smstest {

// How a message arriving at a modem is changed before it is stored.
enum class Alteration {
  none,
  change,  // the character in the middle of the text becomes '#' ('*' if it was '#')
  cut,     // only the first half of the text (rounded down) arrives
  prefix,  // "FW: " is put before the text
};

// How the SMS-DELIVER PDUs that a modem lists and reads in PDU mode are
// damaged, so that a decoder refuses them.
enum class PduDamage {
  none,
  cut,     // the PDU ends before its user data does
  header,  // TP-UDHI set, with a user-data header length past the PDU's end
};

// The order in which the parts of a concatenated message reach a modem.
enum class PartOrder {
  sent,     // each part when it arrives, as for any message
  reverse,  // held until the last part is there, then the last part first
  random,   // held likewise, then in an order drawn from the modem's seed
};

// Misbehaviours of one modem.  All off by default.
struct ModemFaults {
  bool silent = false;           // nothing is ever written back, not even the echo
  bool skipFirstAt = false;      // everything before the second "AT" is ignored
  bool noDasms = false;          // "AT!DASMS" answered with ERROR
  bool sendRefused = false;      // "AT!SSMS" answered with ERROR, nothing sent
  bool sendUnconfirmed = false;  // "AT!SSMS" sends but never answers
  double confirmLate = 0;        // seconds by which the send confirmation is late
  bool cmgsFirst = false;        // send answered "+CMGS: <ref>\r\n" alone, no OK
  bool lose = false;             // messages arriving at this modem are lost
  Alteration alter = Alteration::none;
  double chunkPause = 0;       // > 0: answers written in pieces this many seconds apart
  bool nulBytes = false;       // a NUL after every line feed that is not the last byte
  bool big = false;            // "AT!GSMS?2,0" answers padded beyond 40960 bytes
  double splitReport = 0;      // > 0: reports written in two pieces this many seconds apart
  bool echoStays = false;      // "ATE0" answered OK, but the echo stays on
  std::string sender;          // not empty: reports give this sender instead of the real one
  bool pollError = false;      // "AT!GSMS?2,0" answered ERROR while nothing is stored
  bool deleteRefused = false;  // "AT!DSMS=3,0" answered ERROR, nothing deleted
  bool bigDelete = false;      // "AT!DSMS=3,0" answers padded beyond 40960 bytes
  bool cmglError = false;      // poll and delete answers end in a "+CMGL:" listing and ERROR
  double unsolicited = 0;      // > 0: "+CREG: 1" this often, and "+CMTI:" on every arrival
  int hangupAfter = 0;         // > 0: the line is closed after this many commands
  // Faults of the standard SMS commands (and of every answer):
  std::string urcInside;     // not empty: this unsolicited line inside every answer
  bool barePrompt = false;   // the send prompt is "\r\n>" without its blank
  int sendError = 0;         // > 0: AT+CMGS answered "+CMS ERROR: <n>", nothing sent
  double simBusy = 0;        // > 0: SIM busy this many seconds after the port opens
  bool noCnmi = false;       // AT+CNMI answered ERROR, and no "+CMTI:" ever
  bool stickyEcho = false;   // ATE0 answered OK but the echo stays on
  bool storageFull = false;  // the store has no free place: arrivals are refused
  double byteGap = 0;        // > 0: answers written one byte at a time, this far apart
  // How the PDUs that AT+CMGL and AT+CMGR show in PDU mode are damaged.
  PduDamage badPdu = PduDamage::none;
  int stallAfter = 0;  // > 0: nothing is read after this many commands
  // Status reports.  On the destination: when and with which statuses the
  // service centre reports on messages delivered to it.
  double reportDelay = 0.2;          // after the delivery, and between reports
  int reportStatus = 0;              // TP-ST of the final report
  std::vector<int> reportTemporary;  // TP-ST of the reports before it
  // On the sender: the report on its messages to outside numbers (-1: none
  // comes), and how the modem hands reports over.
  int outsideStatus = -1;
  double outsideDelay = 1.0;
  bool cdsSca = false;        // a PDU-mode +CDS has the service-centre part
  bool noCds = false;         // AT+CNMI=? offers <ds> 0 and 2 only
  bool noDs = false;          // AT+CNMI=? offers <ds> 0 only: reports are stored silently
  bool dsRefused = false;     // AT+CNMI=? offers <ds> 1, AT+CNMI refuses it
  bool srUnreadable = false;  // AT+CMGR and AT+CMGL on "SR" answer +CMS ERROR: 302
  bool csms1 = false;         // message service 1: a +CDS not acknowledged turns routing off
  bool noCesq = false;        // AT+CESQ answered ERROR (a modem without it)
  bool noUcs2 = false;        // AT+CSCS offers no "UCS2" (a modem without it)
  // Faults on the parts of concatenated messages to this modem (parts are
  // numbered from 1, as in their header; single messages are left alone).
  PartOrder partOrder = PartOrder::sent;
  unsigned partSeed = 1;   // the seed of PartOrder::random
  int dropPart = 0;        // > 0: this part is lost
  int duplicatePart = 0;   // > 0: this part arrives twice
  int delayPart = 0;       // > 0: this part arrives ...
  double delayPartBy = 0;  // ... this many seconds late
};

// A message in a modem's store before the run.
struct PresetMessage {
  std::string from;
  std::string text;
};

struct ModemConfig {
  std::string name;    // link name in the directory, e.g. "COM3"
  std::string number;  // its phone number
  double delay = -1;   // delivery delay to this modem; < 0: the run's default
  ModemFaults faults;
  int storeSize = 50;                 // places in its message store
  std::vector<PresetMessage> stored;  // in its store before the run, oldest first
  RadioSettings radio;                // at start
  std::vector<RadioChange> radioChanges;
  // The SIM's subscriber identity and the modem's serial number; made from
  // the phone number when empty (modem_identity.h).
  std::string imsi;
  std::string imei;
  // follows=NAME: the modem rides along the route of GPS receiver NAME, and
  // that route's coverage holes act on its sends; "" when it stays put.
  std::string follows;
};

// A simulated GPS receiver (--gps NAME=ROUTE): a link DIR/NAME on which
// NMEA sentences come once a second, following the route.
struct GpsReceiverConfig {
  std::string name;
  std::string routeFile;
  GpsRoute route;
};

// A message that an outside phone sends to a modem `at` seconds after the
// simulator is ready.
struct Injection {
  std::string modem;  // the receiving modem's name or phone number
  double at = 0;
  std::string from;
  std::string text;
};

struct SimConfig {
  std::string dir;
  double delay = 1.0;   // default delivery delay, seconds
  double duration = 0;  // seconds after ready to stop by itself; 0: run until signalled
  std::vector<ModemConfig> modems;
  std::vector<Injection> injections;
  std::vector<GpsReceiverConfig> gpsReceivers;
  bool help = false;     // --help was given
  bool version = false;  // --version was given

  // Index of the modem with this name or phone number, or -1.
  int find_modem(const std::string& nameOrNumber) const;
};

// Parses modem_sim's arguments (without the program name) into `config`
// (command_line.cpp), in the order given.
// Scenario files named with --scenario are read as they come.  False with
// the reason in `lastError` on any unknown option, bad value, unreadable
// file, or a configuration that can't run (no --dir, no modem, a name or
// number used twice, an injection to an unknown modem).  --help or
// --version alone is valid.
bool parse_sim_arguments(const std::vector<std::string>& args, SimConfig& config,
                         std::string& lastError);

// Reads the scenario file at `path` into `config`; false with the reason in
// `lastError` when it cannot be read or holds a bad line.
bool read_scenario_file(const std::string& path, SimConfig& config, std::string& lastError);

// Adds the settings of a scenario file's text to `config`.  `origin` names
// the file in error texts.  False with "<origin>:<line>: <reason>" in
// `lastError`; settings before the bad line stay applied.
bool parse_scenario(const std::string& text, const std::string& origin, SimConfig& config,
                    std::string& lastError);

// Parses "NAME=NUMBER[,OPTION...]" (the --modem value) into `modem`.
bool parse_modem_argument(const std::string& text, ModemConfig& modem, std::string& lastError);

// Adds the modem of a --modem value to `config`; false for a bad value or
// a name or number used twice.
bool add_modem(const std::string& text, SimConfig& config, std::string& lastError);

// Applies "OPTION[,OPTION...]" to the modem of `config` named `name`.
bool add_modem_options(const std::string& name, const std::string& options, SimConfig& config,
                       std::string& lastError);

// Whether `config` can run: a directory, a modem, stored messages that fit
// their stores, injections to modems that exist.  Always with --help or
// --version.
bool check_sim_config(const SimConfig& config, std::string& lastError);

// Applies one modem option ("delay=2", "silent", "chunks=0.2", ...) from the
// table of modem_options.h; "unknown modem option" or "bad value in modem
// option" in `lastError` when it fails.
bool apply_modem_option(const std::string& option, ModemConfig& modem, std::string& lastError);

// Reads a number of seconds (decimal, 0 to 1e6) or a count (1 to 9 digits);
// false for anything else.
bool parse_seconds(const std::string& text, double& seconds);
bool parse_count(const std::string& text, int& count);

// Parses "NAME=ROUTE" (the --gps value), reads the route file and adds the
// receiver to `config`.
bool add_gps_receiver(const std::string& text, SimConfig& config, std::string& lastError);

// Parses "MODEM@SECONDS:FROM:TEXT" (the --inject value).
bool parse_injection(const std::string& text, Injection& injection, std::string& lastError);

// Parses "MODEM:FROM:TEXT" (the --store value) and adds the message to the
// store of that modem, which must have been given before.
bool add_stored_message(const std::string& text, SimConfig& config, std::string& lastError);

// The text printed by modem_sim --help (usage.cpp).
std::string sim_usage();

}  // namespace smstest
