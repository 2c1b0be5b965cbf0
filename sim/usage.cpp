// The text of modem_sim --help: the parts written here, and the option
// lists that come from the tables of the command line (command_line.h) and
// of the modem options (modem_options.h).
#include "sim/command_line.h"
#include "sim/modem_options.h"
#include "sim/sim_config.h"

namespace smstest {

namespace {

const char kSynopsis[] = R"(Usage: modem_sim --dir DIR --modem NAME=NUMBER[,OPTION...] [--modem ...]
                 [--delay SECONDS] [--duration SECONDS] [--fault NAME=OPTION[,OPTION...]]
                 [--inject MODEM@SECONDS:FROM:TEXT] [--store MODEM:FROM:TEXT]
                 [--gps NAME=ROUTE] [--scenario FILE] [--help] [--version]

Serves simulated cellular modems, each on its own pseudo-terminal, and a
network that carries text messages between them.  Each modem is published as
the link DIR/NAME, so SMS_TEST finds them with SMS_TEST_PORTS=DIR and port
NAME "COM3" for port number 3.

)";

const char kStartUpAndProprietaryCommands[] =
    R"(Start-up: once every link exists, one line goes to standard output:
  modem_sim: ready DIR NAME=NUMBER NAME=NUMBER ...
Scripts wait for a line starting "modem_sim: ready".  On SIGINT, SIGTERM or
the end of --duration the links are removed and the exit code is 0; bad
arguments or a failed start print "modem_sim: <reason>" on standard error
and exit with 2.  A DIR that another modem_sim serves is refused:
  modem_sim: DIR is in use by another modem_sim (pid N)

Commands (a command ends at CR or LF; answers end in CR LF):
  AT                 OK
  ATE0               OK, command echo off (echo is on at start and stays as
                     set while the simulator runs, across port reopens)
  AT!DASMS           OK
  AT!SSMS=0,NUM,NUM,"TEXT"
                     sends TEXT to the first NUM; answers "+CMGS: <ref>", OK
  AT!GSMS?2,0        the oldest stored message:
                       !GSMS: 1,"REC UNREAD"
                       Address: <sender>
                       Time Stamp: yy/MM/dd,hh:mm:ss+00
                       Msg Length: <n>
                       Msg Body: <text>
                     then OK; just OK when nothing is stored
  AT!DSMS=3,0        deletes every stored message; OK
)";

const char kTextModeCommands[] =
    R"(Standard SMS commands (3GPP TS 27.005, text mode), on the same store:
  AT+CMEE=0|1|2      errors as plain ERROR (0, at start), "+CMS ERROR: <n>"
                     and "+CME ERROR: <n>" (1), or with their texts (2);
                     syntax errors are always plain ERROR
  AT+CMGF=0|1        PDU mode (0, at start) or text mode (1); AT+CMGS,
                     AT+CMGL and AT+CMGR in PDU mode: see below
  AT+CSCS="IRA"|"GSM"|"UCS2"
                     texts and numbers on the line as typed (IRA) or as GSM
                     7-bit default alphabet codes ("GSM", at start: '@' is
                     0x00, '[' is 0x1B 0x3C), or as the hex of their UTF-16
                     code units (UCS2: the euro sign is 20AC); a text with a
                     character beyond U+00FF is kept whole (as UTF-8) to
                     the listing, in UCS2 or in a 7-bit or UCS2 PDU
  AT+CNMI=<mode>,<mt>[,0[,<ds>[,<bfr>]]]
                     <mt> 1: a message stored at <index> is announced with
                       +CMTI: "SM",<index>
                     mode 2 or 3: after the answer or text entry under way;
                     mode 1: dropped while one is under way; mode 0 or <mt>
                     0 (at start): not announced
  AT+CPMS?           +CPMS: "SM",<used>,<total>,"SM",<used>,<total>,"SM",...
  AT+CPMS="SM"[,"SM"[,"SM"]]
                     +CPMS: <used>,<total>,<used>,<total>,<used>,<total>
  AT+CMGS="<da>"[,<toda>]
                     the prompt CR LF "> ", then the text: Ctrl-Z (0x1A)
                     sends it (CR LF "+CMGS: <ref>" CR LF CR LF "OK" CR LF,
                     the reference counting on with AT!SSMS's), ESC (0x1B)
                     cancels (OK); each CR in the text gets the prompt again,
                     a backspace takes back a byte; over 160 characters:
                     +CMS ERROR: 305
  AT+CMGL[="<stat>"] every message of <stat> ("REC UNREAD" without one,
                     "REC READ", "STO UNSENT", "STO SENT", "ALL") by index:
                       +CMGL: <index>,"<stat>","<oa>",,"yy/MM/dd,hh:mm:ss+00"
                       <text>
                     then OK; the unread ones are read from then on
  AT+CMGR=<index>    +CMGR: "<stat>","<oa>",,"<scts>" CR LF <text>, then OK;
                     the message is read from then on
  AT+CMGD=<index>[,<delflag>]
                     deletes the message at <index> (an empty place is no
                     error); <delflag> 1 to 3 the read ones, 4 all
  AT+CSMP=<fo>[,<vp>[,<pid>[,<dcs>]]]
                     text-mode send parameters (at start 17,167,0,0); bit 5
                     of <fo> (TP-SRR) asks for a status report
  AT+CSMS=<service>  message service 0 or 1 (csms1: 1 at start), answered
                     +CSMS: 1,1,1; another service +CMS ERROR: 303
  AT+CNMA            acknowledges a +CDS in service 1 (+CMS ERROR: 340 when
                     none waits); without it in 3 s routing goes off
  Status reports: with <ds> 1 "+CDS: 6,<mr>,"<ra>",<tora>,"<scts>","<dt>",<st>"
  (PDU mode: "+CDS: <length>" and the PDU), with 2 stored and announced
  "+CDSI: "SR",<index>", with 0 stored silently; AT+CPMS="SR" points
  AT+CMGR, AT+CMGL and AT+CMGD at the SR storage until AT+CPMS="SM".
  anything else      ERROR
  The forms AT+X? and AT+X=? answer as a modem does.  Error codes:
  +CMS ERROR: 302 memory other than "SM", <delflag> over 4; 303 not
  supported; 304 bad PDU-mode parameter or PDU; 305 bad status, number or
  text; 314 SIM busy (AT+CMGS);
  321 no message at that index, or an index past the store;
  +CME ERROR: 4 an unsupported value of AT+CMEE or AT+CSCS; 14 SIM busy
  (AT+CMGL, AT+CMGR, AT+CMGD, AT+CPMS).
  Settings last as long as the simulator, like the echo.  <oa> is the
  sender, "+" first when international.  The store has store-size places;
  a message arriving at a full store is refused and lost.
)";

const char kGeneralAndRadioCommands[] =
    R"(General and radio commands (3GPP TS 27.007), in either mode:
  ATE1               OK, command echo on
  ATI                SMS_TEST, modem_sim and "Revision: <version>" lines, OK
  AT+CGMI            SMS_TEST;  AT+CGMM  modem_sim;  AT+CGMR  <version>
  AT+CGSN            the IMEI (made from the phone number)
  AT+CIMI            the IMSI (imsi=, else the operator's MCC and MNC and the
                     phone number's digits)
  AT+CFUN=0|1|4[,<rst>]
                     functionality; outside 1 the modem is not registered
  AT+CPIN?           +CPIN: READY (the SIM asks for no PIN)
  AT+CNUM            +CNUM: ,"<number>",<type>
  AT+CSCA="<sca>"[,<tosca>]
                     kept; AT+CSCA? answers +CSCA: "+15550000000",145 at start
  AT+CSDH=0|1        1: AT+CMGL shows ,<tooa>,<length> and AT+CMGR
                     ,<tooa>,<fo>,<pid>,<dcs>,"<sca>",<tosca>,<length> after
                     the time stamp (text mode)
  AT+CREG=0|1|2, AT+CGREG=0|1|2, AT+CEREG=0|1|2
                     the registration lines wanted: none, "+CREG: <stat>", or
                       +CREG: <stat>,"<lac>","<ci>",<AcT>
                     (the location while registered); the read form answers
                     +CREG: <n>,<stat>[,...]
  AT+COPS=3,<format> the operator's format: 0 and 1 "SIMNET <plmn>", 2 the
                     MCC and MNC; AT+COPS? +COPS: 0,<format>,"<oper>",<AcT>,
                     or +COPS: 0 while not registered; AT+COPS=0 OK
  AT+CSQ             +CSQ: <rssi>,99 (99,99 while not registered or searching)
  AT+CESQ            +CESQ: <rxlev>,99,<rscp>,<ecno>,<rsrq>,<rsrp>: rxlev on
                     GSM and EDGE, rscp and ecno on UMTS and HSPA, rsrq and
                     rsrp on LTE and NR, the others 99 or 255
  The radio options (operator= to radio-at=) set what they report.

)";

const char kPduModeCommands[] = R"(Standard SMS commands in PDU mode (AT+CMGF=0), on the same store:
  AT+CMGS=<length>   the prompt as above, then the SMS-SUBMIT in hex (its
                     service-centre part first, "00" for none) and Ctrl-Z:
                     sent to its destination as a text-mode send is (the
                     same records), CR LF "+CMGS: <ref>" CR LF CR LF "OK"
                     CR LF; ESC cancels (OK).  +CMS ERROR: 304 for a
                     <length> outside 1 to 164, and after the Ctrl-Z for hex
                     that does not decode as an SMS-SUBMIT, a TPDU (the
                     octets after the service-centre part) of other than
                     <length> octets, or a destination that is no number
  AT+CMGL[=<stat>]   every message of <stat> (0 received unread, also
                     without one; 1 received read; 2 stored unsent and 3
                     stored sent, never held here; 4 all) by index:
                       +CMGL: <index>,<stat>,,<length>
                       <pdu>
                     then OK; the unread ones are read from then on;
                     AT+CMGL=? answers +CMGL: (0-4)
  AT+CMGR=<index>    +CMGR: <stat>,,<length> CR LF <pdu>, then OK
  <pdu> is the message as an SMS-DELIVER in upper-case hex: the service
  centre +15550000000 first (07915155000000F0), then TP-OA from the sender
  (type 91 when international, else 81), TP-PID 00, the text in the GSM
  7-bit alphabet (TP-DCS 00) when every byte of it maps there, else UCS2
  (08), the arrival as TP-SCTS (zone +00); <length> counts the octets after
  the service-centre part.  A part of a concatenated message (an
  SMS-SUBMIT with TP-UDHI and a user-data header, e.g. the concatenation
  element 00 or 08) keeps its header: its SMS-DELIVER has TP-UDHI (first
  octet 44) and the header in front of the text (fill bits after it in the
  7-bit alphabet); text mode and AT!GSMS?2,0 show the part's text alone.
  A text longer than one message shows its first 160 septets (70
  characters in UCS2), less what a header takes.  The text-mode forms
  (AT+CMGS="<da>", AT+CMGL="ALL") answer +CMS ERROR: 304, as the numeric
  forms answer 305 in text mode.
Bytes written while no client has the port open wait in the terminal for
the next client, as on a serial line; clients purge their input at open.
A message to the number of a modem here is stored on it after the delivery
delay, counted from the moment its confirmation was written.  A message to
any other number goes to an outside phone and is only recorded.

)";

const char kGpsReceivers[] = R"(Simulated GPS receivers (--gps NAME=ROUTE):
  Each is published as the link DIR/NAME, a serial line on which GGA and RMC
  sentences (talker GP, with checksums) come once a second, from ready on,
  at the position along the route: UTC time of day and date, position to
  1/10000 minute, GGA quality 1 with 8 satellites and HDOP 0.9, RMC speed
  (knots) and course along the route.  sms_campaign --gps nmea:NAME reads it
  (SMS_TEST_PORTS=DIR, NAME e.g. COM20).  A modem with the option
  follows=NAME rides along: in the route's holes its sends are refused
  (AT!SSMS ERROR, AT+CMGS +CMS ERROR: 500) or its messages arrive late.
  Where there is no coverage it also reports registration "searching"
  (<stat> 2) and no signal (+CSQ: 99,99, +CESQ unknown), and sends the
  +CREG, +CGREG and +CEREG lines the client asked for as it enters and
  leaves the hole; then its radio settings hold again.
  The route file, one item a line, '#' starts a comment:
    SECONDS LAT LON       a point: route seconds (the first 0, then rising),
                          decimal degrees, north and east positive; the
                          receiver moves on a straight line between points
    loop                  after the last point start again at the first
                          (otherwise it stays at the last, speed 0)
    speed FACTOR          route seconds per real second (default 1); 4
                          drives a four-minute route in one minute
    hole FROM TO fail     no coverage from route second FROM to TO: the
                          sends of the modems riding along are refused
    hole FROM TO late=S   poor coverage: their messages arrive S s late
    nofix FROM TO         the receiver says it has no fix (GGA quality 0,
                          RMC status V, no position)
    unplug FROM TO        the receiver is unplugged: its link goes away,
                          and comes back at TO
  Stretches are in route seconds, FROM included, TO not.  network.log
  records "gps-unplugged" and "gps-plugged" with NAME as PORT.

)";

const char kScenarioAndRecords[] = R"(Scenario file: one setting a line, '#' starts a comment line.
  dir DIR
  delay SECONDS
  duration SECONDS
  modem NAME=NUMBER [OPTION...]      (options separated by blanks or commas)
  fault NAME OPTION...
  inject MODEM SECONDS FROM TEXT...  (TEXT is the rest of the line)
  store MODEM FROM TEXT...           (as --store; TEXT is the rest of the line)
Command-line options and scenario files apply in the order given.

Records (in DIR; one line per event, flushed at once; SECONDS counted from
ready, three decimals; bytes and texts escaped: \\ \r \n \t \0 \xHH):
  DIR/NAME.traffic.log, per modem:
    SECONDS open             a client opened the port
    SECONDS close            a client closed it
    SECONDS cmd COMMAND      a command received (without its line end); the
                             text of an AT+CMGS with its Ctrl-Z (\x1A) or
                             ESC (\x1B)
    SECONDS out BYTES        bytes written to the client (echo, answers,
                             unsolicited lines)
    SECONDS drop BYTES       bytes due after the modem hung up
    SECONDS hangup           the modem closed its terminal
    SECONDS stall            the modem stopped reading
    SECONDS radio SETTINGS   a radio-at change took effect
  DIR/modem_sim.lock: the process id of the simulator serving DIR, locked
    while it runs (the lock goes with the process, even a killed one)
  DIR/network.log:
    SECONDS EVENT PORT FROM TO REF DELAY TEXT
  EVENT is one of
    sent       PORT's modem handed the message to the network
    delivered  stored on PORT's modem; DELAY is the seconds since "sent"
    lost       not stored on PORT's modem (its "lose" option)
    outside    TO belongs to an outside phone
    injected   an outside phone sent it to PORT's modem
    stored     in PORT's store before the run (at 0.000)
    refused    not stored on PORT's modem: its store was full
  REF is the "+CMGS:" reference ("-" for injections), DELAY is "-" except in
  "delivered", TEXT is the text as sent (as stored, for "delivered").

Example, a round trip from COM3 to COM4 and a reflector run on COM5:
  modem_sim --dir /tmp/ports --modem COM3=5550103 --modem COM4=5550104 \
            --modem COM5=5550105 --inject COM5@3:5551234:hello
)";

}  // namespace

std::string sim_usage() {
  return kSynopsis + sim_options_help() + "\n" + kStartUpAndProprietaryCommands +
         kTextModeCommands + kGeneralAndRadioCommands + kPduModeCommands + modem_options_help() +
         "\n" + kGpsReceivers + kScenarioAndRecords;
}

}  // namespace smstest
