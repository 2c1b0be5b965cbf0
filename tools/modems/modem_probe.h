// What sms_modems asks each port: whether a modem answers AT there, what it
// is, its SIM, registration, operator and signal, its own number, which
// command sets it can do and the one to use.  Only reading commands and
// test forms are sent (no AT&W, no setting that outlasts the session, no
// send); the proprietary probe is the one SMS_TEST opens with.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modem/radio_snapshot.h"
#include "tools/modems/port_list.h"

namespace smstest {

class SerialDevice;

struct ProbeResult {
  PortCandidate port;
  bool opened = false;
  std::string openError;  // why it did not open
  bool answersAt = false;
  bool garbage = false;  // bytes came, but no answer to AT
  ModemIdentity identity;
  std::string sim;  // +CPIN: READY, SIM PIN, ...; "" unknown
  RadioSnapshot radio;
  std::string operatorName;  // +COPS? in whatever format the modem is set to
  std::string ownNumber;
  bool textMode = false;     // AT+CMGF=? offers 1
  bool pduMode = false;      // ... 0
  bool csms = false;         // AT+CSMS? answered
  bool cnmi = false;         // AT+CNMI=? answered
  bool cpms = false;         // AT+CPMS=? answered
  bool proprietary = false;  // AT!DASMS answered OK
  std::string use;           // "text", "pdu", "proprietary" or ""
};

// Probes the port on `device` (a closed device of the platform, or a test's
// fake), within `budgetMs`: AT (twice at most), then the rest, each command
// given at most `commandMs`.
ProbeResult probe_port(const PortCandidate& port, std::unique_ptr<SerialDevice> device,
                       int budgetMs = 2500, int commandMs = 400);

// Probes every port at once, each on its own thread and device.
std::vector<ProbeResult> probe_all(const std::vector<PortCandidate>& ports, int budgetMs = 2500);

// The set to use with the answers gathered: text when the modem offers
// text mode and new-message indications, pdu when it offers PDU mode, the
// proprietary set when it answers its probe, else "".
std::string command_set_to_use(const ProbeResult& result);

// The table and the JSON document sms_modems prints.
std::string probe_table(const std::vector<ProbeResult>& results);
std::string probe_json(const std::vector<ProbeResult>& results);

}  // namespace smstest
