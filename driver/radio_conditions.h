// The radio conditions of a run: for each modem the run uses, its identity
// (once, at open) and snapshots of its radio (radio_snapshot.h) at open,
// just before the send, when the message is found, when a delivery report
// arrives, and whenever it announces a change of its registration by
// itself.  The run record (run_record.h) writes them as "modems" and
// "registeredAtSend".
//
// Taken in the standard command sets unless the command file says
// `radio=0`; in the proprietary set only with `radio=1`, so that its
// dialogue stays as it is by default.  Nothing here ever fails a run: a
// modem that answers none of the commands leaves its values null.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "common/command_set.h"
#include "modem/radio_snapshot.h"

namespace smstest {

class SmsSession;

// Whether a run takes radio snapshots: `option` is the command file's
// radio= value (-1 when not given).
bool radio_wanted(CommandSet commandSet, int option);

class RunRadio {
 public:
  explicit RunRadio(bool enabled) : enabled_(enabled) {}

  // Adds the modem of `session` on `port` in `role` ("from" or "to"); a
  // session added before under another role gets that role too.
  void add(SmsSession& session, int port, const char* role);

  // The identity and the first snapshot of each modem added (after its
  // session opened).
  void at_open();

  // A snapshot of the modem of `session`, tagged `at` ("send", "found",
  // "report"); registration notices that came since the last one go in
  // first, as "urc" snapshots.  "send" also decides registeredAtSend.
  void take(SmsSession& session, const char* at);

  bool enabled() const { return enabled_; }
  // Whether the sending modem was registered at the send; unknown when no
  // snapshot before a send told.
  const std::optional<bool>& registered_at_send() const { return registeredAtSend_; }

  // "modems" and "registeredAtSend" into `record`: both null when the run
  // took no snapshots.
  void write(nlohmann::ordered_json& record) const;

 private:
  struct Modem {
    SmsSession* session = nullptr;
    int port = 0;
    std::vector<std::string> roles;
    bool identified = false;
    ModemIdentity identity;
    std::vector<RadioSnapshot> radio;
    std::unique_ptr<RadioWatch> watch;
  };

  Modem* find(SmsSession& session);
  void take_notices(Modem& modem);

  bool enabled_;
  std::vector<std::unique_ptr<Modem>> modems_;
  std::optional<bool> registeredAtSend_;
};

// A snapshot as the run record writes it.
nlohmann::ordered_json snapshot_json(const RadioSnapshot& snapshot);

}  // namespace smstest
