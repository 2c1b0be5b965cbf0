// The handlers of the command table (command_table.h), by the file of their
// set, and the answer pieces they share.  Included by the files of the sets
// and by command_table.cpp only.
#pragma once

#include <cstddef>
#include <string>

#include "sim/command_table.h"

namespace smstest {

extern const char kOk[];     // "\r\nOK\r\n"
extern const char kError[];  // "\r\nERROR\r\n"

// TS 27.005 message service failure codes used here.
constexpr int kOperationNotAllowed = 302;
constexpr int kOperationNotSupported = 303;
constexpr int kInvalidPduParameter = 304;
constexpr int kInvalidTextParameter = 305;
constexpr int kSimBusy = 314;
constexpr int kMemoryFailure = 320;
constexpr int kInvalidIndex = 321;
constexpr int kUnknownError = 500;
// TS 27.007 equipment error codes used here.
constexpr int kCmeNotAllowed = 3;
constexpr int kCmeNotSupported = 4;
constexpr int kCmeSimBusy = 14;

std::string upper(const std::string& text);

// "\r\n<line>\r\n\r\nOK\r\n": an information line and OK.
std::string info(const std::string& line);

// A number parameter: digits only, unquoted, within [low, high]; an empty
// one is `fallback`.
bool number_param(const CommandParam& param, int low, int high, int fallback, int& value);

// Final result codes as the error mode (AT+CMEE) gives them.
std::string cms_error(const ModemState& modem, int code);
std::string cme_error(const ModemState& modem, int code);

// The send prompt, "\r\n> " (without its blank under the bare-prompt fault).
std::string send_prompt(const ModemState& modem);

// general_commands.cpp
void answer_at(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_ate0(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmee(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cscs(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// identity_commands.cpp
void answer_ate1(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_ati(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cgmi(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cgmm(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cgmr(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cgsn(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cimi(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cfun(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cpin(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cnum(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_csca(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_csdh(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// radio_commands.cpp
void answer_creg(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cgreg(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cereg(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cops(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_csq(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cesq(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// proprietary_commands.cpp
void answer_dasms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_ssms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_gsms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_dsms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// sms_text_commands.cpp
void answer_cmgf(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cnmi(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cpms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgs(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgl(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgr(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgd(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// sms_pdu_commands.cpp
void answer_cmgs_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgl_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cmgr_pdu(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

// status_reports.cpp: the send parameters, the message service, the
// acknowledgement, and the reads, listings and deletes of the "SR" storage
// (while AT+CPMS has selected it).
void answer_csmp(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_csms(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_cnma(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_report_read(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_report_list(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
void answer_report_delete(const CommandCall& call, ModemState& modem, CommandAnswer& answer);
// The <ds> values AT+CNMI=? offers, "(0-2)" and the like, and whether a
// <ds> is taken.
std::string offered_report_indications(const ModemState& modem);
bool report_indication_taken(const ModemState& modem, int ds);

// The parameters of AT+CMGS in either mode: one or two, the second a type of
// address.  False (the answer is ERROR) for any other count or a second one
// that is no number.
bool cmgs_params(const CommandCall& call, int& type);

// The stored message that AT+CMGR=<index> reads, in either mode; null with
// the answer in `answer` when there is none to read.
StoredMessage* cmgr_target(const CommandCall& call, ModemState& modem, CommandAnswer& answer);

}  // namespace smstest
