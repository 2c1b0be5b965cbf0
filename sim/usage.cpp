#include "sim/sim_config.h"

namespace smstest {

const char* sim_usage() {
  return R"(Usage: modem_sim --dir DIR --modem NAME=NUMBER[,OPTION...] [--modem ...]
                 [--delay SECONDS] [--duration SECONDS] [--fault NAME=OPTION[,OPTION...]]
                 [--inject MODEM@SECONDS:FROM:TEXT] [--scenario FILE] [--help]

Serves simulated cellular modems, each on its own pseudo-terminal, and a
network that carries text messages between them.  Each modem is published as
the link DIR/NAME, so SMS_TEST finds them with SMS_TEST_PORTS=DIR and port
NAME "COM3" for port number 3.

  --dir DIR          where the links and the records go (created if missing)
  --modem NAME=NUMBER[,OPTION...]
                     a modem with link name NAME (e.g. COM3) and phone NUMBER
                     (digits, optional leading +), with options (below)
  --fault NAME=OPTION[,OPTION...]
                     more options for a modem given before
  --delay SECONDS    delivery delay between modems (default 1.0)
  --duration SECONDS stop by itself this long after ready (default: until
                     SIGINT or SIGTERM)
  --inject MODEM@SECONDS:FROM:TEXT
                     an outside phone FROM sends TEXT to MODEM (name or
                     number) SECONDS after ready; TEXT runs to the end
  --scenario FILE    read settings from FILE (format below)
  --help             this text

Start-up: once every link exists, one line goes to standard output:
  modem_sim: ready DIR NAME=NUMBER NAME=NUMBER ...
Scripts wait for a line starting "modem_sim: ready".  On SIGINT, SIGTERM or
the end of --duration the links are removed and the exit code is 0; bad
arguments or a failed start print "modem_sim: <reason>" on standard error
and exit with 2.

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
  anything else      ERROR
Bytes written while no client has the port open wait in the terminal for
the next client, as on a serial line; clients purge their input at open.
A message to the number of a modem here is stored on it after the delivery
delay, counted from the moment its confirmation was written.  A message to
any other number goes to an outside phone and is only recorded.

Modem options (in --modem, --fault, or a scenario file):
  delay=SECONDS      delivery delay for messages arriving at this modem
  silent             never answers, not even the echo
  skip-first-at      ignores everything before the second "AT"
  no-dasms           AT!DASMS answered ERROR
  send-refused       AT!SSMS answered ERROR; nothing is sent (confirm-late
                     delays the ERROR as well)
  send-unconfirmed   AT!SSMS never answered; the message is sent all the same
                     (its delay counts from the command)
  confirm-late=SECONDS
                     the AT!SSMS answer comes this much later
  cmgs-first         AT!SSMS answered "+CMGS: <ref>" CR LF alone, no OK (with
                     echo off it stands at the very first byte)
  lose               messages to this modem are lost
  alter=change|cut|prefix
                     messages to this modem arrive with the middle character
                     changed to '#' ('*' if it was '#'), cut to the first
                     half, or with "FW: " put before them
  chunks[=SECONDS]   answers written in pieces SECONDS apart (default 0.2):
                     every CR LF split between CR and LF, every longer piece
                     split in the middle
  nul                a NUL byte after every LF that is not the last byte
  big                AT!GSMS?2,0 answers start with over 41000 bytes of
                     "Info:" lines
  poll-error         AT!GSMS?2,0 answered ERROR while nothing is stored
  split-report[=SECONDS]
                     AT!GSMS?2,0 reports written in two pieces SECONDS
                     apart (default 0.5): up to the "Msg Body:" line, then
                     the rest
  echo-on            ATE0 is answered OK but the echo stays on: every
                     command comes back before its answer
  sender=TEXT        reports give TEXT (any bytes but commas and line ends)
                     as every message's sender, as a network that hands on
                     a forged or alphanumeric sender
  delete-refused     AT!DSMS=3,0 answered ERROR; nothing is deleted
  big-delete         AT!DSMS=3,0 answers start with over 41000 bytes of
                     "Info:" lines: the rest of the answer, its OK included,
                     still waits on the line when a client that reads 40960
                     bytes writes its next command
  cmgl-error         AT!GSMS?2,0 and AT!DSMS=3,0 answers end in a "+CMGL:"
                     line and ERROR instead of OK (they work otherwise)
  unsolicited[=SECONDS]
                     "+CREG: 1" every SECONDS (default 1.0) while a client has
                     the port open and no answer is under way, and
                     "+CMTI: "SM",<n>" when a message arrives
  hangup=K           the modem answers its K-th command, takes no more, and
                     0.3 seconds later closes its terminal (the link goes
                     away for the rest of the run)
  stall=K            the modem answers its K-th command and then reads
                     nothing more: its input queue fills up, so that a
                     client's writes block (for the rest of the run)

Scenario file: one setting a line, '#' starts a comment line.
  dir DIR
  delay SECONDS
  duration SECONDS
  modem NAME=NUMBER [OPTION...]      (options separated by blanks or commas)
  fault NAME OPTION...
  inject MODEM SECONDS FROM TEXT...  (TEXT is the rest of the line)
Command-line options and scenario files apply in the order given.

Records (in DIR; one line per event, flushed at once; SECONDS counted from
ready, three decimals; bytes and texts escaped: \\ \r \n \t \0 \xHH):
  DIR/NAME.traffic.log, per modem:
    SECONDS open             a client opened the port
    SECONDS close            a client closed it
    SECONDS cmd COMMAND      a command received (without its line end)
    SECONDS out BYTES        bytes written to the client (echo, answers,
                             unsolicited lines)
    SECONDS drop BYTES       bytes due after the modem hung up
    SECONDS hangup           the modem closed its terminal
    SECONDS stall            the modem stopped reading
  DIR/network.log:
    SECONDS EVENT PORT FROM TO REF DELAY TEXT
  EVENT is one of
    sent       PORT's modem handed the message to the network
    delivered  stored on PORT's modem; DELAY is the seconds since "sent"
    lost       not stored on PORT's modem (its "lose" option)
    outside    TO belongs to an outside phone
    injected   an outside phone sent it to PORT's modem
  REF is the "+CMGS:" reference ("-" for injections), DELAY is "-" except in
  "delivered", TEXT is the text as sent (as stored, for "delivered").

Example, a round trip from COM3 to COM4 and a reflector run on COM5:
  modem_sim --dir /tmp/ports --modem COM3=5550103 --modem COM4=5550104 \
            --modem COM5=5550105 --inject COM5@3:5551234:hello
)";
}

}  // namespace smstest
