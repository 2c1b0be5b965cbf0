// The command table of a simulated modem: every command it answers, by name,
// with the function that answers it, and what those functions share: the
// modem's state between commands and the answer they fill in.  The modem
// (modem.h) looks each command line up here, adds the echo and applies the
// faults that reshape whole answers; anything not in the table is answered
// ERROR.  No I/O, no clock: the network tells the state when the SIM is busy.
//
// The handlers live in one file per command set:
//   general_commands.cpp      AT, ATE0, AT+CMEE, AT+CSCS, the error codes
//   proprietary_commands.cpp  AT!DASMS, AT!SSMS=0,..., AT!GSMS?2,0, AT!DSMS=3,0
//   sms_text_commands.cpp     the SMS commands of TS 27.005 in text mode and
//                             the ones that work alike in both modes
//   sms_pdu_commands.cpp      the PDU-mode forms of AT+CMGS, AT+CMGL, AT+CMGR
//   text_entry.cpp            what is typed after the send prompt (both modes)
// A new command is a handler in the file of its set (declared in
// command_handlers.h) and one row in command_table.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/charset.h"
#include "sim/message_store.h"
#include "sim/radio.h"
#include "sim/sim_config.h"

namespace smstest {

// How the modem announces a message stored on it with "+CMTI:".
enum class NoticeMode {
  none,             // not at all
  whenFree,         // once the answer under way (or the text entry) is over
  discardWhenBusy,  // only when no answer is under way (AT+CNMI mode 1)
};

// The text of an AT+CMGS under way, from its prompt to the Ctrl-Z or ESC.
struct TextEntry {
  bool open = false;
  bool fresh = false;  // nothing taken since the prompt
  bool pdu = false;    // the text is a PDU's hex (PDU mode) ...
  int length = 0;      // ... whose TPDU AT+CMGS=<length> announced
  std::string to;      // the destination (text mode)
  std::string text;    // as typed; its Ctrl-Z or ESC last once it ended
};

// A status report as the service centre sends it back to the sender.
struct SimReport {
  int index = 0;           // its place in the "SR" storage, once stored
  int reference = 0;       // TP-MR: the "+CMGS: <ref>" of the message
  std::string recipient;   // TP-RA: the destination as sent
  int64_t taken = 0;       // TP-SCTS, calendar seconds
  int64_t discharged = 0;  // TP-DT, calendar seconds
  int status = 0;          // TP-ST
};

// What a modem keeps between commands, for as long as the simulator runs
// (across port reopens, as on a modem that stays powered).
struct ModemState {
  explicit ModemState(const ModemConfig& config);

  ModemFaults faults;
  bool echo = true;
  int nextRef = 1;  // the next "+CMGS: <ref>" of either set, 1 to 255
  MessageStore store;
  // Settings of the standard commands; at start PDU mode (AT+CMGF=0), plain
  // ERROR (AT+CMEE=0), the "GSM" character set, no new-message indications.
  bool textMode = false;
  int cmee = 0;
  TeCharset charset = TeCharset::gsm;
  int cnmiMode = 0;
  int cnmiMt = 0;
  int cnmiDs = 0;
  int cnmiBfr = 0;
  bool simBusy = false;  // the SIM commands are refused while set
  TextEntry entry;
  // Status reports (status_reports.cpp): the text-mode send parameters of
  // AT+CSMP, the message service of AT+CSMS, the "SR" storage and whether
  // the reads, listings and deletes go to it (AT+CPMS="SR"), and a +CDS
  // that waits for its AT+CNMA.
  int csmpFirstOctet = 17;
  int csmpValidity = 167;
  int csmpProtocol = 0;
  int csmpCoding = 0;
  int csms = 0;
  std::vector<SimReport> reports;
  int nextReport = 1;
  bool readReports = false;
  int ackWaiting = 0;  // the +CDS that waits for its AT+CNMA (0: none)
  int cdsSent = 0;     // +CDS lines sent, numbering them
  // The general commands of TS 27.007 (identity_commands.cpp) and the
  // radio (radio_commands.cpp).
  std::string number;  // the modem's own number (AT+CNUM)
  std::string imsi;
  std::string imei;
  int functionality = 1;  // AT+CFUN
  bool headers = false;   // AT+CSDH=1: the long +CMGL and +CMGR headers
  std::string serviceCentre = "+15550000000";
  RadioSettings radio;
  // In a no-coverage hole of the route the modem rides along: it reports
  // "searching" and no signal, whatever `radio` says.
  bool outOfCoverage = false;
  int regReports[3] = {0, 0, 0};  // AT+CREG, AT+CGREG, AT+CEREG <n>
  int operatorFormat = 0;         // AT+COPS=3,<format>

  // The reference for a send; counts on (255 is followed by 1).
  int take_ref();
};

// A parameter of an extended-syntax command ("AT+X=<a>,"<b>"").
struct CommandParam {
  std::string value;
  bool quoted = false;
  bool empty() const { return value.empty() && !quoted; }
};

// AT+X, AT+X?, AT+X=? and AT+X=<values>.
enum class CommandForm { execute, read, test, set };

// One command line as a handler sees it.
struct CommandCall {
  std::string line;                         // as received, without its line end
  std::string name;                         // the line in upper case; for the extended syntax the
                                            // part before "=" or "?"
  CommandForm form = CommandForm::execute;  // extended syntax only, as are
  std::vector<CommandParam> params;         // the values after "="
};

// What a command leads to.
struct CommandAnswer {
  std::string text;             // the answer with its final result code, the
                                // prompt, or nothing at all
  double late = 0;              // seconds by which `text` comes after the echo
  bool report = false;          // `text` is a proprietary message report
  bool sends = false;           // a message goes to the network ...
  bool sendsAtCommand = false;  // ... at once (else when `text` has been written)
  std::string to;               // its destination
  std::string message;          // its text as the network carries it
  bool messageUtf8 = false;     // ... UTF-8 (a character beyond U+00FF)
  // The elements of its user-data header (PDU mode; without the UDHL
  // octet), carried to the receiver as they were sent; empty for none.
  std::vector<unsigned char> header;
  int ref = 0;               // its reference in "+CMGS: <ref>"
  bool wantsReport = false;  // the send asked for a status report
};

using CommandHandler = void (*)(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// How a row's name is matched against a command line in upper case.
enum class CommandMatch {
  line,      // the whole line
  prefix,    // the start of the line; the handler reads the rest
  extended,  // the part before "=" or "?"; the rest is parsed into the form
             // and parameters, and a syntax error is a plain ERROR
};

struct ModemCommand {
  const char* name;
  CommandMatch match;
  CommandHandler handler;     // in both modes, or in text mode when ...
  CommandHandler pduHandler;  // ... this one (not null) serves PDU mode
};

// Every command, by set.
const std::vector<ModemCommand>& command_table();

// The row that serves `name` (a command line in upper case), or null.
const ModemCommand* find_command(const std::string& name);

// Answers one command line (without its line end) from the table: ERROR
// for a line no row serves.  A valid AT+CMGS opens the text entry (in PDU
// mode the entry of the PDU's hex) and answers the prompt.
void answer_command(const std::string& line, ModemState& modem, CommandAnswer& answer);

// text_entry.cpp: the text of an open entry.
// Takes bytes of the entry from `data`; stops right after the Ctrl-Z (0x1A)
// or ESC (0x1B) that ends it and returns how many bytes it used.  Appends to
// `output` what the modem writes back at once: the echo of the text while
// echo is on, and the prompt again after every CR.  A LF right after the
// prompt (the rest of a CR LF line end) is skipped, a backspace takes back
// the last byte.  `ended` tells whether the entry ended.
size_t take_entry_text(ModemState& modem, const char* data, size_t size, std::string& output,
                       bool& ended);

// The answer to an entry that ended: OK after an ESC (nothing sent); after
// a Ctrl-Z the send's confirmation with the next reference, or its error (in
// PDU mode +CMS ERROR: 304 for a PDU that does not decode or whose TPDU is
// not <length> octets).  `recorded` gets the text as typed with its final
// byte, for the records.
void finish_entry(ModemState& modem, CommandAnswer& answer, std::string& recorded);

// Forgets an open entry without an answer (the client closed the port).
void drop_entry(ModemState& modem);

// sms_text_commands.cpp: the announcement of new messages (AT+CNMI).
NoticeMode notice_mode(const ModemState& modem);
// "\r\n+CMTI: \"SM\",<index>\r\n".
std::string arrival_notice(int index);

// identity_commands.cpp: the IMSI and IMEI of a modem that was given none,
// made from its phone number (the IMSI after the network's MCC and MNC).
std::string default_imsi(const std::string& plmn, const std::string& number);
std::string default_imei(const std::string& number);

// radio_commands.cpp: the registration lines ("\r\n+CREG: ...\r\n", and
// +CGREG, +CEREG) that a change of the radio leads to, for the report modes
// the client set (mode 1 only when the <stat> changed); "" when it asked
// for none.
std::string registration_notices(const ModemState& modem, bool statChanged);
// The radio as the commands report it: not registered outside AT+CFUN=1,
// searching (so without signal) out of coverage, else `modem.radio`.
RadioSettings reported_radio(const ModemState& modem);

// general_commands.cpp: the meaning of a "+CMS ERROR:" code (TS 27.005) and
// of a "+CME ERROR:" code (TS 27.007), as the verbose error mode writes them;
// "unknown error" for codes without one.
const char* cms_error_text(int code);
const char* cme_error_text(int code);

}  // namespace smstest
