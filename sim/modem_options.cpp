#include "sim/modem_options.h"

#include <iterator>

#include "common/text.h"
#include "sim/command_line.h"

namespace smstest {

namespace {

template <bool ModemFaults::*field>
bool set_flag(const std::string&, bool, ModemConfig& modem) {
  modem.faults.*field = true;
  return true;
}

// SECONDS, 0 or more.
template <double ModemFaults::*field>
bool set_seconds(const std::string& value, bool, ModemConfig& modem) {
  return parse_seconds(value, modem.faults.*field);
}

// K, 1 or more.
template <int ModemFaults::*field>
bool set_count(const std::string& value, bool, ModemConfig& modem) {
  return parse_count(value, modem.faults.*field) && modem.faults.*field > 0;
}

// [=SECONDS], more than 0: `fallback` without a value.
bool positive_seconds(const std::string& value, bool given, double fallback, double& seconds) {
  seconds = fallback;
  return !given || (parse_seconds(value, seconds) && seconds > 0);
}

bool apply_delay(const std::string& value, bool, ModemConfig& modem) {
  return parse_seconds(value, modem.delay);
}

bool apply_alter(const std::string& value, bool, ModemConfig& modem) {
  if (value == "change") {
    modem.faults.alter = Alteration::change;
  } else if (value == "cut") {
    modem.faults.alter = Alteration::cut;
  } else if (value == "prefix") {
    modem.faults.alter = Alteration::prefix;
  } else {
    return false;
  }
  return true;
}

bool apply_chunks(const std::string& value, bool given, ModemConfig& modem) {
  return positive_seconds(value, given, 0.2, modem.faults.chunkPause);
}

bool apply_split_report(const std::string& value, bool given, ModemConfig& modem) {
  return positive_seconds(value, given, 0.5, modem.faults.splitReport);
}

bool apply_unsolicited(const std::string& value, bool given, ModemConfig& modem) {
  return positive_seconds(value, given, 1.0, modem.faults.unsolicited);
}

bool apply_byte_split(const std::string& value, bool given, ModemConfig& modem) {
  return positive_seconds(value, given, 0.005, modem.faults.byteGap);
}

bool apply_sim_busy(const std::string& value, bool, ModemConfig& modem) {
  return parse_seconds(value, modem.faults.simBusy) && modem.faults.simBusy > 0;
}

// Any bytes but line ends: a network may hand on a forged or alphanumeric
// sender.
bool apply_sender(const std::string& value, bool, ModemConfig& modem) {
  modem.faults.sender = value;
  return !value.empty() && value.find_first_of("\r\n") == std::string::npos;
}

bool apply_urc_inside(const std::string& value, bool given, ModemConfig& modem) {
  std::string& line = modem.faults.urcInside;
  line = given ? value : "+CREG: 1";
  return !line.empty() && line.find_first_of("\r\n") == std::string::npos;
}

bool apply_send_error(const std::string& value, bool, ModemConfig& modem) {
  int& code = modem.faults.sendError;
  return parse_count(value, code) && code > 0 && code <= 999;
}

bool apply_store_size(const std::string& value, bool, ModemConfig& modem) {
  return parse_count(value, modem.storeSize) && modem.storeSize <= 255;
}

bool apply_stored(const std::string& value, bool, ModemConfig& modem) {
  int count = 0;
  if (!parse_count(value, count) || count < 1 || count > 255) return false;
  // Senders alternate between international and national numbers.
  for (int k = 1; k <= count; ++k) {
    modem.stored.push_back(
        {format(k % 2 == 1 ? "+1555000%04d" : "555000%04d", k), format("stored message %d", k)});
  }
  return true;
}

bool apply_bad_pdu(const std::string& value, bool given, ModemConfig& modem) {
  modem.faults.badPdu = value == "header" ? PduDamage::header : PduDamage::cut;
  return !given || value == "cut" || value == "header";
}

bool apply_report_delay(const std::string& value, bool, ModemConfig& modem) {
  return parse_seconds(value, modem.faults.reportDelay);
}

bool report_status(const std::string& value, int& status) {
  return parse_count(value, status) && status <= 255;
}

bool apply_report_status(const std::string& value, bool, ModemConfig& modem) {
  return report_status(value, modem.faults.reportStatus);
}

// N[/N...]: the temporary statuses, in order.
bool apply_report_temporary(const std::string& value, bool, ModemConfig& modem) {
  modem.faults.reportTemporary.clear();
  for (const std::string& item : split(value, '/')) {
    int status = 0;
    if (!report_status(item, status)) return false;
    modem.faults.reportTemporary.push_back(status);
  }
  return !modem.faults.reportTemporary.empty();
}

// N[@SECONDS]
bool apply_outside_report(const std::string& value, bool, ModemConfig& modem) {
  const size_t at = value.find('@');
  if (!report_status(value.substr(0, at), modem.faults.outsideStatus)) return false;
  return at == std::string::npos || parse_seconds(value.substr(at + 1), modem.faults.outsideDelay);
}

// A part number: 1 to 255, as a concatenation header counts them.
bool part_number(const std::string& value, int& part) {
  return parse_count(value, part) && part >= 1 && part <= 255;
}

// reverse | random[:SEED]
bool apply_part_order(const std::string& value, bool, ModemConfig& modem) {
  ModemFaults& f = modem.faults;
  const size_t colon = value.find(':');
  const std::string order = value.substr(0, colon);
  if (order == "reverse" && colon == std::string::npos) {
    f.partOrder = PartOrder::reverse;
    return true;
  }
  if (order != "random") return false;
  f.partOrder = PartOrder::random;
  f.partSeed = 1;
  if (colon == std::string::npos) return true;
  int seed = 0;
  if (!parse_count(value.substr(colon + 1), seed)) return false;
  f.partSeed = static_cast<unsigned>(seed);
  return true;
}

bool apply_drop_part(const std::string& value, bool, ModemConfig& modem) {
  return part_number(value, modem.faults.dropPart);
}

bool apply_duplicate_part(const std::string& value, bool, ModemConfig& modem) {
  return part_number(value, modem.faults.duplicatePart);
}

// K@SECONDS
bool apply_delay_part(const std::string& value, bool, ModemConfig& modem) {
  const size_t at = value.find('@');
  return at != std::string::npos && part_number(value.substr(0, at), modem.faults.delayPart) &&
         parse_seconds(value.substr(at + 1), modem.faults.delayPartBy);
}

bool apply_follows(const std::string& value, bool given, ModemConfig& modem) {
  modem.follows = value;
  return given && !value.empty();
}

// A radio setting of radio.h, checked there.
bool apply_radio(const char* name, const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio_setting(name, value, given, modem.radio);
}

bool apply_operator(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("operator", value, given, modem);
}
bool apply_tech(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("tech", value, given, modem);
}
bool apply_lac(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("lac", value, given, modem);
}
bool apply_cell(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("cell", value, given, modem);
}
bool apply_rssi(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("rssi", value, given, modem);
}
bool apply_rscp(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("rscp", value, given, modem);
}
bool apply_ecno(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("ecno", value, given, modem);
}
bool apply_rsrq(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("rsrq", value, given, modem);
}
bool apply_rsrp(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("rsrp", value, given, modem);
}
bool apply_reg(const std::string& value, bool given, ModemConfig& modem) {
  return apply_radio("reg", value, given, modem);
}

bool apply_radio_at(const std::string& value, bool, ModemConfig& modem) {
  RadioChange change;
  if (!parse_radio_change(value, change)) return false;
  modem.radioChanges.push_back(change);
  return true;
}

bool apply_imsi(const std::string& value, bool, ModemConfig& modem) {
  modem.imsi = value;
  return value.size() >= 6 && value.size() <= 15 &&
         value.find_first_not_of("0123456789") == std::string::npos;
}

const char kOptionsTitle[] = "Modem options (in --modem, --fault, or a scenario file):\n";

const char kOptionsNotes[] =
    "  The faults of the proprietary commands apply to the standard commands too\n"
    "  where they fit: send-refused, send-unconfirmed, confirm-late and cmgs-first\n"
    "  to AT+CMGS after its Ctrl-Z (send-refused as +CMS ERROR: 500), poll-error\n"
    "  to AT+CMGL (+CMS ERROR: 321 while nothing is stored), delete-refused to\n"
    "  AT+CMGD (+CMS ERROR: 320), chunks, nul, silent, skip-first-at and hangup to\n"
    "  every answer (the text of a send counts as a command).  no-dasms, big and\n"
    "  cmgl-error concern the proprietary commands only.\n"
    "  In a scenario file options are split at blanks: give a LINE with blanks\n"
    "  through --fault.\n";

// The table, in the order of --help.
const ModemOption kModemOptions[] = {
    {"delay=SECONDS", "delivery delay for messages arriving at this modem", apply_delay},
    {"silent", "never answers, not even the echo", set_flag<&ModemFaults::silent>},
    {"skip-first-at", "ignores everything before the second \"AT\"",
     set_flag<&ModemFaults::skipFirstAt>},
    {"no-dasms", "AT!DASMS answered ERROR", set_flag<&ModemFaults::noDasms>},
    {"send-refused",
     "AT!SSMS answered ERROR; nothing is sent (confirm-late\n"
     "delays the ERROR as well)",
     set_flag<&ModemFaults::sendRefused>},
    {"send-unconfirmed",
     "AT!SSMS never answered; the message is sent all the same\n"
     "(its delay counts from the command)",
     set_flag<&ModemFaults::sendUnconfirmed>},
    {"confirm-late=SECONDS", "the AT!SSMS answer comes this much later",
     set_seconds<&ModemFaults::confirmLate>},
    {"cmgs-first",
     "AT!SSMS answered \"+CMGS: <ref>\" CR LF alone, no OK (with\n"
     "echo off it stands at the very first byte)",
     set_flag<&ModemFaults::cmgsFirst>},
    {"lose", "messages to this modem are lost", set_flag<&ModemFaults::lose>},
    {"part-order=reverse|random[:SEED]",
     "the parts of each concatenated message to this modem\n"
     "are held until its last part is there (at most 30 s\n"
     "after the first), then delivered last part first, or in\n"
     "an order drawn from SEED (default 1; the same seed, the\n"
     "same orders); single messages as ever",
     apply_part_order},
    {"drop-part=K",
     "part K (1-255) of each concatenated message to this\n"
     "modem is lost (recorded as lost)",
     apply_drop_part},
    {"duplicate-part=K",
     "part K of each concatenated message to this modem\n"
     "arrives twice, stored and announced each time",
     apply_duplicate_part},
    {"delay-part=K@SECONDS",
     "part K of each concatenated message to this modem\n"
     "arrives SECONDS later than it would",
     apply_delay_part},
    {"follows=NAME",
     "the modem rides along the route of GPS receiver NAME\n"
     "(--gps): in the route's holes its sends are refused, or\n"
     "its messages arrive late (see Simulated GPS receivers)",
     apply_follows},
    {"alter=change|cut|prefix",
     "messages to this modem arrive with the middle character\n"
     "changed to '#' ('*' if it was '#'), cut to the first\n"
     "half, or with \"FW: \" put before them",
     apply_alter},
    {"chunks[=SECONDS]",
     "answers written in pieces SECONDS apart (default 0.2):\n"
     "every CR LF split between CR and LF, every longer piece\n"
     "split in the middle",
     apply_chunks},
    {"nul", "a NUL byte after every LF that is not the last byte",
     set_flag<&ModemFaults::nulBytes>},
    {"big",
     "AT!GSMS?2,0 answers start with over 41000 bytes of\n"
     "\"Info:\" lines",
     set_flag<&ModemFaults::big>},
    {"poll-error", "AT!GSMS?2,0 answered ERROR while nothing is stored",
     set_flag<&ModemFaults::pollError>},
    {"split-report[=SECONDS]",
     "AT!GSMS?2,0 reports written in two pieces SECONDS\n"
     "apart (default 0.5): up to the \"Msg Body:\" line, then\n"
     "the rest",
     apply_split_report},
    {"echo-on",
     "ATE0 is answered OK but the echo stays on: every\n"
     "command comes back before its answer",
     set_flag<&ModemFaults::echoStays>},
    {"sender=TEXT",
     "reports give TEXT (any bytes but commas and line ends)\n"
     "as every message's sender, as a network that hands on\n"
     "a forged or alphanumeric sender",
     apply_sender},
    {"delete-refused", "AT!DSMS=3,0 answered ERROR; nothing is deleted",
     set_flag<&ModemFaults::deleteRefused>},
    {"big-delete",
     "AT!DSMS=3,0 answers start with over 41000 bytes of\n"
     "\"Info:\" lines: the rest of the answer, its OK included,\n"
     "still waits on the line when a client that reads 40960\n"
     "bytes writes its next command",
     set_flag<&ModemFaults::bigDelete>},
    {"cmgl-error",
     "AT!GSMS?2,0 and AT!DSMS=3,0 answers end in a \"+CMGL:\"\n"
     "line and ERROR instead of OK (they work otherwise)",
     set_flag<&ModemFaults::cmglError>},
    {"unsolicited[=SECONDS]",
     "\"+CREG: 1\" every SECONDS (default 1.0) while a client has\n"
     "the port open and no answer or text entry is under way,\n"
     "and \"+CMTI: \"SM\",<n>\" when a message arrives",
     apply_unsolicited},
    {"hangup=K",
     "the modem answers its K-th command, takes no more, and\n"
     "0.3 seconds later closes its terminal (the link goes\n"
     "away for the rest of the run)",
     set_count<&ModemFaults::hangupAfter>},
    {"stall=K",
     "the modem answers its K-th command and then reads\n"
     "nothing more: its input queue fills up, so that a\n"
     "client's writes block (for the rest of the run)",
     set_count<&ModemFaults::stallAfter>},
    {"urc-inside[=LINE]",
     "LINE (default \"+CREG: 1\", e.g. RING or \"^RSSI: 3\")\n"
     "as CR LF LINE CR LF before the last line of every answer\n"
     "(its final result code or the prompt)",
     apply_urc_inside},
    {"bare-prompt", "the AT+CMGS prompt is CR LF \">\" without its blank",
     set_flag<&ModemFaults::barePrompt>},
    {"send-error=N",
     "AT+CMGS answers \"+CMS ERROR: N\" after the Ctrl-Z;\n"
     "nothing is sent",
     apply_send_error},
    {"sim-busy=SECONDS",
     "for SECONDS after a client opens the port (or sends\n"
     "its first bytes), AT+CMGS answers +CMS ERROR: 314 and\n"
     "AT+CMGL, AT+CMGR, AT+CMGD, AT+CPMS +CME ERROR: 14;\n"
     "every other command works",
     apply_sim_busy},
    {"no-cnmi",
     "AT+CNMI answered ERROR, and no \"+CMTI:\" is ever sent\n"
     "(not even with unsolicited)",
     set_flag<&ModemFaults::noCnmi>},
    {"stored=N",
     "N messages in the store before the run, \"stored message\n"
     "1\" from +15550000001, \"stored message 2\" from\n"
     "5550000002, ... (every other sender international), a\n"
     "minute apart, unread",
     apply_stored},
    {"sticky-echo", "ATE0 answered OK, but the echo stays on", set_flag<&ModemFaults::stickyEcho>},
    {"storage-full",
     "the store's size is the number of messages stored\n"
     "before the run (0 without stored= or --store): every\n"
     "message arriving is refused (memory full, the +CMS\n"
     "ERROR 322 case) and lost, until the client deletes one",
     set_flag<&ModemFaults::storageFull>},
    {"store-size=N", "N places in the store (0 to 255, default 50)", apply_store_size},
    {"byte-split[=SECONDS]",
     "every answer and echo written one byte at a time,\n"
     "SECONDS apart (default 0.005)",
     apply_byte_split},
    {"bad-pdu[=cut|header]",
     "in PDU mode every PDU that AT+CMGL and AT+CMGR show is\n"
     "one a decoder refuses: \"cut\" (the default) drops the\n"
     "second half of its user data (without user data, the\n"
     "user-data length octet); \"header\" sets TP-UDHI with a\n"
     "header length one octet past the PDU's end; <length>\n"
     "counts the octets shown",
     apply_bad_pdu},
    {"report-delay=SECONDS",
     "status reports on messages delivered to this modem come\n"
     "SECONDS after the delivery (default 0.2), and each\n"
     "further one SECONDS after the one before",
     apply_report_delay},
    {"report-status=N",
     "the final status report on messages delivered to this\n"
     "modem has TP-ST N (default 0, delivered; 70: validity\n"
     "period expired)",
     apply_report_status},
    {"report-temporary=N[/N...]",
     "status reports with these temporary TP-ST (32-63: the\n"
     "centre is still trying) come before the final one",
     apply_report_temporary},
    {"outside-report=N[@SECONDS]",
     "messages from this modem to outside numbers that ask\n"
     "for a status report get one with TP-ST N, SECONDS\n"
     "after the send (default 1); without it they get none",
     apply_outside_report},
    {"cds-sca",
     "a +CDS in PDU mode carries the service-centre address\n"
     "in front of the report (its <length> counts the TPDU)",
     set_flag<&ModemFaults::cdsSca>},
    {"no-cds",
     "AT+CNMI=? offers <ds> 0 and 2 only: reports come as\n"
     "\"+CDSI: \"SR\",<n>\" and are read from the SR storage",
     set_flag<&ModemFaults::noCds>},
    {"no-ds",
     "AT+CNMI=? offers <ds> 0 only: reports are stored in\n"
     "the SR storage without a word",
     set_flag<&ModemFaults::noDs>},
    {"ds-refused",
     "AT+CNMI=? offers <ds> 0-2, but AT+CNMI with <ds> 1 is\n"
     "answered +CMS ERROR: 303",
     set_flag<&ModemFaults::dsRefused>},
    {"sr-unreadable",
     "AT+CMGR and AT+CMGL on the SR storage answer +CMS\n"
     "ERROR: 302: stored reports cannot be read back",
     set_flag<&ModemFaults::srUnreadable>},
    {"csms1",
     "message service 1 (AT+CSMS? answers 1): a +CDS that\n"
     "gets no AT+CNMA within 3 seconds turns routing off\n"
     "(<mt> and <ds> 0) until the client sets AT+CNMI again",
     set_flag<&ModemFaults::csms1>},
    {"operator=MCCMNC",
     "the serving network's MCC and MNC, 5 or 6 digits\n"
     "(default 00101): AT+COPS? names it",
     apply_operator},
    {"tech=gsm|edge|umts|hspa|lte|nr",
     "the access technology (default lte): <AcT> 0, 3, 2, 6, 7\n"
     "or 11 in AT+COPS? and the registration answers",
     apply_tech},
    {"lac=HEX", "the location (or tracking) area code (default 1A2B)", apply_lac},
    {"cell=HEX", "the cell identity (default 1C2D03)", apply_cell},
    {"rssi=DBM", "signal strength for AT+CSQ, -113 to -51 (default -65)", apply_rssi},
    {"rscp=DBM", "UMTS and HSPA: RSCP, -120 to -25 (default -80)", apply_rscp},
    {"ecno=DB", "UMTS and HSPA: Ec/No, -24 to 0 (default -6)", apply_ecno},
    {"rsrq=DB", "LTE and NR: RSRQ, -19.5 to -3 (default -10)", apply_rsrq},
    {"rsrp=DBM", "LTE and NR: RSRP, -140 to -44 (default -95)", apply_rsrp},
    {"reg=home|roaming|searching|denied|none",
     "the registration (default home): <stat> 1, 5, 2, 3, 0;\n"
     "only home and roaming are registered, with a location,\n"
     "an operator and a signal",
     apply_reg},
    {"no-cesq", "AT+CESQ answered ERROR", set_flag<&ModemFaults::noCesq>},
    {"no-ucs2", "AT+CSCS without the character set \"UCS2\" (+CME ERROR: 4)",
     set_flag<&ModemFaults::noUcs2>},
    {"radio-at=SECONDS:SETTING[+SETTING...]",
     "SECONDS after start the radio changes: SETTING is\n"
     "\"lost\" (reg=searching) or one of the radio options\n"
     "above (operator= to reg=); a change of registration,\n"
     "area, cell or technology sends the +CREG, +CGREG and\n"
     "+CEREG lines the client asked for; may be repeated",
     apply_radio_at},
    {"imsi=DIGITS",
     "the SIM's IMSI for AT+CIMI, 6 to 15 digits (default: the\n"
     "operator's MCC and MNC, then the phone number's digits)",
     apply_imsi},
};

}  // namespace

const std::vector<ModemOption>& modem_options() {
  static const std::vector<ModemOption> options(std::begin(kModemOptions), std::end(kModemOptions));
  return options;
}

std::string modem_option_name(const ModemOption& option) {
  std::string synopsis = option.synopsis;
  return synopsis.substr(0, synopsis.find_first_of("=["));
}

bool apply_modem_option(const std::string& option, ModemConfig& modem, std::string& lastError) {
  size_t equals = option.find('=');
  std::string name = option.substr(0, equals);
  bool given = equals != std::string::npos;
  std::string value = given ? option.substr(equals + 1) : std::string();
  for (const ModemOption& row : modem_options()) {
    if (modem_option_name(row) != name) continue;
    std::string synopsis = row.synopsis;
    bool takesValue = synopsis.find('=') != std::string::npos;
    bool valueOptional = synopsis.find("[=") != std::string::npos;
    // A value where none belongs makes another option, which does not exist.
    if (given && !takesValue) break;
    if ((!given && takesValue && !valueOptional) || !row.apply(value, given, modem)) {
      lastError = format("bad value in modem option \"%s\"", option.c_str());
      return false;
    }
    return true;
  }
  lastError = format("unknown modem option \"%s\"", option.c_str());
  return false;
}

std::string modem_options_help() {
  std::string out = kOptionsTitle;
  for (const ModemOption& row : modem_options()) out += help_entry(row.synopsis, row.help);
  return out + kOptionsNotes;
}

}  // namespace smstest
