// The radio conditions and the identity of one modem, read with the
// general commands of 3GPP TS 27.007 through its AtChannel (at_channel.h),
// for the run record: where it is registered (AT+CREG, AT+CGREG, AT+CEREG
// in report mode 2, with area, cell and access technology), on which
// network (AT+COPS=3,2 then AT+COPS?), how strong the signal is (AT+CSQ as
// dBm, AT+CESQ as RSCP, Ec/No, RSRQ, RSRP), and what the modem is
// (AT+CGMI, AT+CGMM, AT+CGMR, AT+CGSN, and the home network from the first
// digits of AT+CIMI; the IMSI itself is never kept).
//
// The parsers are free functions, table-tested on their own; RadioWatch
// runs the commands.  A command the modem refuses (or does not answer in
// time) leaves its values unknown, is noted once in the debug log and never
// asked again, and never fails anything: radio conditions are a remark on
// a run, never its reason to fail.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "modem/unsolicited.h"

namespace smstest {

class AtChannel;

// One reading of the radio conditions; unknown values are empty.
struct RadioSnapshot {
  std::string at;                 // "open", "send", "found", "report", "urc"
  int64_t calendarMicros = 0;     // when it was taken (calendar microseconds, UTC)
  std::optional<int> stat;        // <stat> of TS 27.007
  std::string technology;         // "GSM", "EDGE", "UMTS", "HSPA", "LTE", "NR"
  std::string operatorId;         // "MCC-MNC"
  std::string lac;                // LAC or TAC, upper-case hex
  std::string cellId;             // upper-case hex
  std::optional<int> rssiDbm;     // from +CSQ
  std::optional<double> rscpDbm;  // from +CESQ
  std::optional<double> ecnoDb;
  std::optional<double> rsrqDb;
  std::optional<double> rsrpDbm;

  // Registered at home or roaming (stat 1 or 5); unknown without a stat.
  std::optional<bool> registered() const;
};

struct ModemIdentity {
  std::string manufacturer;
  std::string model;
  std::string revision;
  std::string imei;
  std::string homeNetwork;  // "MCC-MNC" of the SIM
};

// ---- Parsers (the values after the prefix, or a whole line) ---------------

// Location and state of a registration line: the answer to a read
// ("+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>]]", `read` true) or an unsolicited
// line ("+CREG: <stat>[,<lac>,<ci>[,<AcT>]]"), for +CREG, +CGREG and
// +CEREG alike.  Fills stat, lac, cellId and technology; false when the
// line is none of these forms.
bool parse_registration_line(const std::string& line, bool read, RadioSnapshot& out);

// "+COPS: <mode>[,<format>,<oper>[,<AcT>]]": the operator when <format> is
// 2 (numeric), and the technology.  False when the line is not of this form.
bool parse_operator_line(const std::string& line, RadioSnapshot& out);

// "+CSQ: <rssi>,<ber>": rssiDbm (99 unknown).
bool parse_csq_line(const std::string& line, RadioSnapshot& out);

// "+CESQ: <rxlev>,<ber>,<rscp>,<ecno>,<rsrq>,<rsrp>": the values other
// than 99 and 255; rxlev gives rssiDbm when +CSQ gave none.
bool parse_cesq_line(const std::string& line, RadioSnapshot& out);

// The technology of an <AcT> of TS 27.007; "" for a value it does not name.
std::string technology_name(int act);

// "MCC-MNC" from the first digits of an IMSI: two-digit MNCs but for the
// countries that use three; `serving` (a snapshot's operator) decides when
// the IMSI starts with its digits.  "" for an IMSI of too few digits.
std::string home_network(const std::string& imsi, const std::string& serving);

// ---- The commands ---------------------------------------------------------

class RadioWatch {
 public:
  // Reads through `channel`, which must outlive the watch.
  explicit RadioWatch(AtChannel& channel);

  // Reads the identity once (AT+CGMI, AT+CGMM, AT+CGMR, AT+CGSN, AT+CIMI),
  // within `budgetMs`.
  void identify(ModemIdentity& identity, const std::string& serving, int budgetMs = kBudgetMs);

  // Takes a snapshot tagged `at`: the first one sets the report modes
  // (AT+CREG=2, AT+CGREG=2, AT+CEREG=2, AT+COPS=3,2), every one reads the
  // registration, the operator and the signal.  Bounded by `budgetMs`:
  // commands not asked by then leave their values unknown.
  RadioSnapshot snapshot(const char* at, int budgetMs = kBudgetMs);

  // A snapshot tagged "urc" from a registration notice, timed at the
  // notice's arrival: the state and location it gives on top of the last
  // snapshot's operator and signal (none of them when it is not registered).
  RadioSnapshot from_notice(const Notice& notice) const;

  static constexpr int kBudgetMs = 1000;

 private:
  // Asks `command`, expecting information lines of `info`; the first one
  // in `line`.  False (the values stay unknown) when the modem refused it,
  // gave no such line or did not answer by `untilMs`.
  bool ask(const std::string& command, const std::string& info, int64_t untilMs, std::string& line);

  AtChannel& channel_;
  bool modesSet_ = false;
  std::set<std::string> refused_;  // not asked again
  RadioSnapshot last_;
};

}  // namespace smstest
