// Status reports in the standard SMS commands (3GPP TS 27.005): the text-mode
// send parameters that ask for one (AT+CSMP), the forms in which a modem
// hands a report over, and what the standard session (standard_session.h)
// makes of them, a StatusReport (sms_records.h):
//   +CDS: <fo>,<mr>,[<ra>],[<tora>],<scts>,<dt>,<st>      text mode
//   +CDS: <length>  and the PDU's hex on the next line    PDU mode, with
//                   or without the service-centre part, told apart by
//                   <length> (the TPDU's octets)
//   +CMGR: <stat>,<fo>,<mr>,... / +CMGL: <index>,<stat>,<fo>,...  a report
//                   read or listed from the "SR" storage in text mode
//   +CMGR: <stat>,[<alpha>],<length> / +CMGL: <index>,<stat>,... and a PDU
//                   line: the same in PDU mode.
// No I/O here: the session asks, these read.
#pragma once

#include <string>

#include "modem/sms_records.h"

namespace smstest {

// The four values of "+CSMP: <fo>,<vp>,<pid>,<dcs>" as the modem gave them
// (<vp> may be empty, a number, or a quoted absolute time).
struct SubmitParameters {
  int firstOctet = 17;
  std::string validity = "167";
  bool validityQuoted = false;
  std::string protocolId = "0";
  std::string codingScheme = "0";
};

// Reads the values after "+CSMP:"; false when they are not four fields with
// a numeric first octet.
bool parse_submit_parameters(const std::string& values, SubmitParameters& parameters);

// "AT+CSMP=<fo>,<vp>,<pid>,<dcs>" with `parameters`, TP-SRR (bit 5 of the
// first octet) set when `report` and as the modem had it otherwise.
std::string submit_parameters_command(const SubmitParameters& parameters, bool report);

// A text-mode time stamp "yy/MM/dd,hh:mm:ss+zz" (zone in quarter hours) in
// seconds from 2000-01-01 UTC; false when it is not of that form.
bool text_time_stamp_seconds(const std::string& text, long long& seconds);

// The report of text-mode fields <fo>,<mr>,[<ra>],[<tora>],<scts>,<dt>,<st>
// after the first `skip` fields of `values` (the values after "+CDS:" with
// `skip` 0, a read's with 1 for its <stat>, a listing's with 2).  False with
// the reason in `error` when they are not of that form.
bool report_from_text_fields(const std::string& values, size_t skip, StatusReport& report,
                             std::string& error);

// The report of a PDU's hex, `announcedLength` the TPDU octets the modem
// announced with it (-1: not known, the PDU has no service-centre part).
// False with the decoder's text in `error`.
bool report_from_pdu(const std::string& hex, int announcedLength, StatusReport& report,
                     std::string& error);

// Whether a report on `recipient` names the number `sent` was sent to:
// the same digits, a leading '+' and a national form's missing country code
// aside (the shorter one must end the longer one, at least 6 digits).
bool same_recipient(const std::string& recipient, const std::string& sent);

}  // namespace smstest
