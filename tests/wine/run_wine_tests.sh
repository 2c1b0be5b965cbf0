#!/usr/bin/env bash
# Whole runs of the Windows build, SMS_TEST.exe, under Wine against the
# simulated modems, checked like the native whole runs: exit code, standard
# error, status file, result line and debug logs.  Where a run can be
# repeated with the native tool, both are made against a fresh simulator
# each and must agree (times within a tolerance); every run is also checked
# against what it must produce on its own.
#
#   tests/wine/run_wine_tests.sh BUILD_NATIVE BUILD_WIN
#
# BUILD_NATIVE holds SMS_TEST and sim/modem_sim, BUILD_WIN holds SMS_TEST.exe
# (cmake/mingw-w64.cmake).  Needs Wine 8 (Debian: wine64).  A Wine prefix is
# made for the run in a temporary directory; its COM ports are mapped through
# HKLM\Software\Wine\Ports to the links the simulator creates there.
#
# Exit code 0 when every check passed, 1 when one failed, 2 when the run
# could not be set up.  SMS_WINE_KEEP=1 keeps the temporary directory.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_NATIVE BUILD_WIN" >&2
  exit 2
fi
NATIVE_TOOL=$(realpath -e "$1/SMS_TEST") || exit 2
SIM=$(realpath -e "$1/sim/modem_sim") || exit 2
EXE=$(realpath -e "$2/SMS_TEST.exe") || exit 2

die() {
  echo "run_wine_tests: $*" >&2
  exit 2
}

# Debian's wine64 package keeps its programs in /usr/lib/wine; the wine
# package adds wrappers to PATH.
find_tool() {
  local name
  for name in "$@"; do
    if [ -x "$name" ]; then
      echo "$name"
      return 0
    fi
    if command -v "$name" >/dev/null 2>&1; then
      command -v "$name"
      return 0
    fi
  done
  return 1
}
WINE=${WINE:-$(find_tool wine64 /usr/lib/wine/wine64 wine)} || die "Wine not found (apt-get install wine64)"
WINESERVER=${WINESERVER:-$(find_tool "$(dirname "$WINE")/wineserver" wineserver /usr/lib/wine/wineserver)} ||
  die "wineserver not found"

T=$(mktemp -d "${TMPDIR:-/tmp}/sms_wine.XXXXXX") || die "no temporary directory"
export WINEPREFIX=$T/prefix
export WINEDEBUG=-all
# No Mono or Gecko installers, no window driver: a console program needs none.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
PORTS=$T/ports  # where the simulator's links go for the Windows runs
mkdir -p "$PORTS"

SIM_PID=""
SERVER_PID=""
# Checks are counted in files, so that checks made inside command
# substitutions count too.
: >"$T/checks"
: >"$T/failures"
failures() { wc -l <"$T/failures"; }

stop_sim() {
  [ -n "$SIM_PID" ] || return 0
  kill -TERM "$SIM_PID" 2>/dev/null
  local i
  for i in $(seq 50); do
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$SIM_PID" 2>/dev/null
  wait "$SIM_PID" 2>/dev/null
  SIM_PID=""
}

stop_wineserver() {
  timeout 20 "$WINESERVER" -k 2>/dev/null
  timeout 20 "$WINESERVER" -w 2>/dev/null
  if [ -n "$SERVER_PID" ]; then
    timeout 10 tail --pid="$SERVER_PID" -f /dev/null 2>/dev/null || kill -KILL "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=""
  fi
}

cleanup() {
  # The Wine server first: it holds the pseudo-terminals open.
  stop_wineserver
  stop_sim
  if [ "${SMS_WINE_KEEP:-0}" = 1 ]; then
    echo "kept $T"
  elif [ "$(failures)" -gt 0 ]; then
    rm -rf "$WINEPREFIX"
    echo "runs of the failed checks kept in $T"
  else
    rm -rf "$T"
  fi
}
trap cleanup EXIT
trap 'exit 2' INT TERM

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# ---------------------------------------------------------------- checks

pass() { echo >>"$T/checks"; }
fail() {
  echo >>"$T/checks"
  echo "$*" >>"$T/failures"
  echo "FAIL: $*" >&2
}

# The whole content of a file, trailing line ends included.
content() {
  local text
  text=$(cat "$1" 2>/dev/null; printf x)
  printf '%s' "${text%x}"
}

# A Windows text file (the C runtime's text mode): CR LF line ends, given
# back with LF line ends.  Fails the check when a line feed stands alone.
windows_text() {
  local label=$1 file=$2
  if LC_ALL=C grep -q -v $'\r$' "$file" 2>/dev/null; then
    fail "$label: a line of $file does not end in CR LF"
    LC_ALL=C sed -n l "$file" | head -5 >&2
  fi
  LC_ALL=C sed 's/\r$//' "$file" 2>/dev/null
}

check_eq() {
  local label=$1 actual=$2 expected=$3
  if [ "$actual" == "$expected" ]; then
    pass
  else
    fail "$label"
    printf '  expected: %q\n  actual:   %q\n' "$expected" "$actual" >&2
  fi
}

# Compares the exact bytes of a file, trailing line ends included.
check_file() {
  local label=$1 file=$2 expected=$3
  check_eq "$label" "$(content "$file"; printf x)" "${expected}x"
}

# The same for a Windows text file, given with LF line ends.
check_text() {
  local label=$1 file=$2 expected=$3
  check_eq "$label" "$(windows_text "$label" "$file"; printf x)" "${expected}x"
}

check_match() {
  local label=$1 actual=$2 pattern=$3
  if [[ $actual =~ $pattern ]]; then
    pass
  else
    fail "$label"
    printf '  pattern: %s\n  actual:  %q\n' "$pattern" "$actual" >&2
  fi
}

check_file_absent() {
  if [ -e "$2" ]; then fail "$1: $2 exists"; else pass; fi
}

# ------------------------------------------------------------ the runs

# Starts modem_sim with links in $1 and the remaining arguments; waits for
# its ready line.  Its records are cleared first, so they are this run's.
start_sim() {
  local dir=$1 out=$2
  shift 2
  mkdir -p "$dir"
  rm -f "$dir"/*.log
  "$SIM" --dir "$dir" "$@" >"$out.out" 2>"$out.err" &
  SIM_PID=$!
  local i
  for i in $(seq 100); do
    grep -q '^modem_sim: ready' "$out.out" 2>/dev/null && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$out.err" >&2
  stop_sim
  die "modem_sim did not get ready: $*"
}

# Runs one program in directory $1 (created) with a time limit of $2 seconds;
# leaves rc, stdout, stderr and seconds there.
run_in() {
  local dir=$1 limit=$2
  shift 2
  mkdir -p "$dir"
  local start
  start=$(now)
  (cd "$dir" && exec timeout -k 5 "$limit" "$@" >stdout 2>stderr)
  echo $? >"$dir/rc"
  seconds_since "$start" >"$dir/seconds"
}

run_wine() {
  local dir=$1
  shift
  run_in "$dir" 60 "$WINE" "$EXE" "$@"
}

run_native() {
  local dir=$1 ports=$2
  shift 2
  run_in "$dir" 60 env SMS_TEST_PORTS="$ports" "$NATIVE_TOOL" "$@"
}

# One scenario run with the native tool and with the Windows build, each
# against a fresh simulator: scenario name, simulator arguments (one word
# with blanks between arguments), line 3 of the command file, then the
# arguments of SMS_TEST.  Leaves $T/<name>/{native,wine}.
both() {
  local name=$1 simArgs=$2 line3=$3
  shift 3
  local side dir ports
  for side in native wine; do
    dir=$T/$name/$side
    mkdir -p "$dir"
    printf 'SMS_TEST\nresults.csv\n%s\n' "$line3" >"$dir/cmd.txt"
    if [ $side = wine ]; then ports=$PORTS; else ports=$T/$name/native-ports; fi
    # shellcheck disable=SC2086
    start_sim "$ports" "$dir/sim" $simArgs
    if [ $side = wine ]; then run_wine "$dir" "$@"; else run_native "$dir" "$ports" "$@"; fi
    stop_sim
    mkdir -p "$dir/records"
    cp "$ports"/*.log "$dir/records/" 2>/dev/null
  done
}

# ------------------------------------------------- comparing the two runs

# A debug log with what differs from run to run taken out: the modem's time
# stamps, the clock value in a reply, polls of an empty mailbox and repeated
# identical exchanges (how often the mailbox is polled depends on timing).
normalized_log() {
  LC_ALL=C sed -e 's/Time Stamp: [0-9/,:+]*/Time Stamp: <time>/' \
    -e 's/rEfLeCt-*[0-9]*T/rEfLeCt<time>T/g' "$1" |
    LC_ALL=C awk 'BEGIN { RS = "\nWrote "; ORS = ""; empty = "12 bytes\nAT!GSMS?2,0\r\nRead 6 bytes\n\r\nOK\r\n" }
                  $0 != last && $0 != empty { printf "\nWrote "; print; last = $0 }'
}

# The commands a modem received, in order, repeats collapsed and the clock
# value of a reply taken out.
commands_of() {
  LC_ALL=C sed 's/rEfLeCt-*[0-9]*T/rEfLeCt<time>T/g' "$1" 2>/dev/null |
    LC_ALL=C awk '$2 == "cmd" { $1 = ""; if ($0 != last) print; last = $0 }'
}

# Exit code, standard output and error, status file, result line, debug logs
# and the commands the modems received must agree between the two runs.
compare_runs() {
  local name=$1 n=$T/$1/native w=$T/$1/wine
  check_eq "$name: exit code" "$(content "$w/rc")" "$(content "$n/rc")"
  check_eq "$name: standard output" "$(content "$w/stdout")" "$(content "$n/stdout")"
  check_eq "$name: standard error" "$(windows_text "$name stderr" "$w/stderr"; printf x)" \
    "$(content "$n/stderr"; printf x)"
  check_eq "$name: status file" "$(windows_text "$name status" "$w/status.txt"; printf x)" \
    "$(content "$n/status.txt"; printf x)"

  local wineLine nativeLine
  wineLine=$(windows_text "$name results" "$w/results.csv")
  nativeLine=$(content "$n/results.csv")
  local verdict
  verdict=$(awk -v a="$wineLine" -v b="$nativeLine" 'BEGIN {
      na = split(a, x, ","); nb = split(b, y, ",")
      if (na != nb) { print "column count " na " vs " nb; exit }
      for (i = 1; i <= na; i++) {
        time = i >= 7 && i <= 10 && x[i] != "-Infinity" && y[i] != "-Infinity"
        if (time) {
          d = x[i] - y[i]; if (d < 0) d = -d
          if (x[i] !~ /^[0-9]+\.[0-9][0-9][0-9][0-9][0-9][0-9]$/ || d > 1.0) {
            print "column " i ": " x[i] " vs " y[i]; exit
          }
        } else if (x[i] != y[i]) { print "column " i ": " x[i] " vs " y[i]; exit }
      }
      print "same" }')
  check_eq "$name: result line agrees with the native one ($wineLine / $nativeLine)" "$verdict" same

  local logs
  logs=$(cd "$w" && ls -- *.debug.log 2>/dev/null)
  check_eq "$name: debug logs" "$logs" "$(cd "$n" && ls -- *.debug.log 2>/dev/null)"
  local log
  for log in $logs; do
    if cmp -s <(normalized_log "$w/$log") <(normalized_log "$n/$log"); then
      pass
    else
      fail "$name: $log differs from the native run's"
      diff <(normalized_log "$n/$log" | LC_ALL=C sed -n l) \
        <(normalized_log "$w/$log" | LC_ALL=C sed -n l) | head -20 >&2
    fi
  done

  local traffic
  for traffic in "$n"/records/*.traffic.log; do
    [ -e "$traffic" ] || continue
    check_eq "$name: commands received by $(basename "$traffic" .traffic.log)" \
      "$(commands_of "$w/records/$(basename "$traffic")")" "$(commands_of "$traffic")"
  done
}

# The handshake of open_com as the simulator answers it (echo on at first).
HANDSHAKE=$'\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n\nWrote 3 bytes\nAT\r\nRead 9 bytes\nAT\r\r\nOK\r\n\nWrote 5 bytes\nATE0\r\nRead 11 bytes\nATE0\r\r\nOK\r\n\nWrote 9 bytes\nAT!DASMS\r\nRead 6 bytes\n\r\nOK\r\n'

check_log_starts_with_handshake() {
  local label=$1 log=$2
  check_eq "$label: $(basename "$log") opens with the handshake" \
    "$(head -c ${#HANDSHAKE} "$log"; printf x)" "${HANDSHAKE}x"
  if [ "$(LC_ALL=C tr -cd '\000' <"$log" | wc -c)" -eq 0 ]; then
    pass
  else
    fail "$label: $(basename "$log") holds NUL bytes"
  fi
}

F='[0-9]+\.[0-9]{6}'  # a time written with "%f"
NO_TIMES='-Infinity,-Infinity,-Infinity,-Infinity,-Infinity'

# ----------------------------------------------------------------- set-up

echo "== Wine: $("$WINE" --version 2>/dev/null), $WINE"
started=$(now)
timeout 300 "$WINE" wineboot -i >"$T/wineboot.log" 2>&1 || {
  cat "$T/wineboot.log" >&2
  die "wineboot failed"
}
echo "prefix made in $(seconds_since "$started") s"

# COM3..COM6 and COM12 lead to the links that the simulator creates in
# $PORTS.  Wine makes dosdevices/comN from these values when its server
# starts; COM9 and COM11 stay unmapped for the open failures.
started=$(now)
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in 3 4 5 6 12; do printf '"COM%d"="%s/COM%d"\n' "$n" "$PORTS" "$n"; done
} >"$T/ports.reg"
timeout 120 "$WINE" regedit /S "$T/ports.reg" >"$T/regedit.log" 2>&1 || die "regedit failed"
stop_wineserver

# One Wine server for all runs, started here so that it is not the leader of
# a session: it then never takes a simulator's pseudo-terminal as its
# controlling terminal, whose hang-up would make it dump its state on every
# line it closes.  Persistent (-p), so runs do not pay for its start.
timeout -k 5 1800 "$WINESERVER" -f -p 2>"$T/wineserver.log" &
SERVER_PID=$!
timeout 120 "$WINE" cmd /c exit >"$T/warmup.log" 2>&1 || die "Wine does not start programs"
kill -0 "$SERVER_PID" 2>/dev/null || die "the Wine server did not stay up: $(cat "$T/wineserver.log")"
for n in 3 4 5 6 12; do
  target=$(readlink "$WINEPREFIX/dosdevices/com$n")
  [ "$target" = "$PORTS/COM$n" ] || die "dosdevices/com$n leads to '$target', not $PORTS/COM$n"
done
for n in 9 11; do
  [ ! -e "$WINEPREFIX/dosdevices/com$n" ] || die "dosdevices/com$n exists; it must stay unmapped"
done
echo "ports mapped, server up in $(seconds_since "$started") s"

# ------------------------------------------------------- start-up failures

echo "== start-up failures"
USAGE='SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n'
i=0
while IFS='#' read -r label cmdFile args expected; do
  i=$((i + 1))
  dir=$T/startup/$i
  mkdir -p "$dir"
  [ "$cmdFile" = - ] || printf %b "$cmdFile" >"$dir/cmd.txt"
  # shellcheck disable=SC2086
  run_wine "$dir" $args
  check_eq "start-up, $label: exit code" "$(content "$dir/rc")" 2
  check_eq "start-up, $label: standard error" \
    "$(windows_text "start-up, $label" "$dir/stderr"; printf x)" "$(printf %b "$expected"; printf x)"
  check_eq "start-up, $label: files left" "$(cd "$dir" && ls)" \
    "$(if [ "$cmdFile" = - ]; then echo "rc seconds stderr stdout"; else echo "cmd.txt rc seconds stderr stdout"; fi | tr ' ' '\n')"
done <<EOF
three arguments#-#cmd.txt status.txt 42#$USAGE
command file read in text mode#sms_test\r\nresults.csv\r\nT1|60|3|1|hi|0|0|115200|4|115200|0\r\n#cmd.txt status.txt 42 ll#Expected SMS_TEST in the cmd file sms_test\n\n
fromPort 0#SMS_TEST\nresults.csv\nT1|60|0|1|hi|0|0|115200|4|115200|0\n#cmd.txt status.txt 42 ll#From COM port must be > 0\n
EOF

# ---------------------------------------------------------- open failures

echo "== open failures, device names, result file"
OPEN_FAILED='Please make sure that this device is not in use.'
# Port 9 is the last with the short name; 11 is reached as \\.\COM11.
for n in 9 11; do
  dir=$T/open/COM$n
  mkdir -p "$dir"
  printf 'SMS_TEST\nresults.csv\nP%d|30|%d|1|hi|0|0|115200|0|115200|0\n' "$n" "$n" >"$dir/cmd.txt"
  run_wine "$dir" cmd.txt status.txt 7 ll
  if [ "$n" = 9 ]; then device='COM9'; else device='\\.\COM11'; fi
  check_eq "COM$n: exit code" "$(content "$dir/rc")" 2
  check_text "COM$n: standard error" "$dir/stderr" "Failed to open $device. $OPEN_FAILED"$'\n'
  check_text "COM$n: status file" "$dir/status.txt" "2 Failed to open $device. $OPEN_FAILED"$'\n'
  check_text "COM$n: result line" "$dir/results.csv" "SMS_TEST,1,P$n,7,ll,2,$NO_TIMES,0"$'\n'
  check_eq "COM$n: empty debug log" "$(cd "$dir" && ls -- *.debug.log && wc -c <"P$n.$n.debug.log")" \
    "P$n.$n.debug.log"$'\n0'
done

# A result file that can't be opened: the message box text on the error
# stream, and the status file still written.
dir=$T/open/no-result-file
mkdir -p "$dir/results.csv"
printf 'SMS_TEST\nresults.csv\nP9|30|9|1|hi|0|0|115200|0|115200|0\n' >"$dir/cmd.txt"
run_wine "$dir" cmd.txt status.txt 7 ll
check_text "unopenable result file: standard error" "$dir/stderr" \
  "Failed to open COM9. $OPEN_FAILED"$'\n'"Could not open log file for writing. Operation Failed."$'\n'
check_text "unopenable result file: status file" "$dir/status.txt" \
  "2 Failed to open COM9. $OPEN_FAILED"$'\n'

# Runs appending to one result file at the same moment: every line whole.
dir=$T/open/concurrent
mkdir -p "$dir"
printf 'SMS_TEST\nresults.csv\nC|30|9|1|hi|0|0|115200|0|115200|0\n' >"$dir/cmd.txt"
pids=()
for k in 1 2 3 4 5 6; do
  (cd "$dir" && exec timeout -k 5 60 "$WINE" "$EXE" cmd.txt "status$k.txt" "$k" ll >/dev/null 2>&1) &
  pids+=($!)
done
wait "${pids[@]}"
check_eq "concurrent appends: result lines" "$(windows_text concurrent "$dir/results.csv" | sort)" \
  "$(for k in 1 2 3 4 5 6; do echo "SMS_TEST,1,C,$k,ll,2,$NO_TIMES,0"; done)"

# ------------------------------------------------------------ round trips

echo "== round trip COM3 -> COM4"
both round-trip "--modem COM3=5550103 --modem COM4=5550104 --delay 1" \
  "RT|30|3|5550104|hello world|0|0|115200|4|115200|0" cmd.txt status.txt 20070301 45.5N73.6W
compare_runs round-trip
w=$T/round-trip/wine
check_eq "round trip: exit code" "$(content "$w/rc")" 0
check_eq "round trip: standard error" "$(windows_text "round trip" "$w/stderr"; printf x)" \
  $'Sending SMS: OK.\nNew Message Found.\nDeleting Message: OK - tImE20070301Thello world\nx'
check_file "round trip: status file" "$w/status.txt" $'0 SUCCESS\r\n'
check_match "round trip: result line" "$(windows_text "round trip" "$w/results.csv")" \
  "^SMS_TEST,1,RT,20070301,45.5N73.6W,0,$F,$F,-Infinity,$F,100,100$"
check_log_starts_with_handshake "round trip" "$w/RT.3.debug.log"
check_log_starts_with_handshake "round trip" "$w/RT.4.debug.log"
check_match "round trip: the message was delivered" "$(content "$w/records/network.log")" \
  'delivered COM4 5550103 5550104 [0-9]+ [0-9.]+ tImE20070301Thello world'

echo "== round trip on one modem, COM12, NUL bytes in every answer"
both long-name "--modem COM12=5550112,nul --delay 1" \
  "L12|30|12|5550112|hi there|0|0|115200|0|115200|0" cmd.txt status.txt 8 ll
compare_runs long-name
w=$T/long-name/wine
check_file "COM12: status file" "$w/status.txt" $'0 SUCCESS\r\n'
check_log_starts_with_handshake "COM12" "$w/L12.12.debug.log"
if grep -q 'out .*\\0' "$w/records/COM12.traffic.log"; then pass; else
  fail "COM12: the simulator sent no NUL bytes, so their removal went untested"
fi

echo "== reflector on COM5"
both reflector "--modem COM5=5550105 --inject COM5@0.5:5551234:ping-back" \
  "RF|30|5|0|unused|0|0|115200|4|115200|1" cmd.txt status.txt 99 ll
compare_runs reflector
w=$T/reflector/wine
check_eq "reflector: exit code" "$(content "$w/rc")" 0
check_eq "reflector: standard error" "$(windows_text reflector "$w/stderr"; printf x)" \
  $'New Message Found.\nDeleting Message: Replying back to sender...\nReply Successful\nx'
check_file "reflector: status file" "$w/status.txt" $'0 SUCCESS\r\n'
check_match "reflector: result line" "$(windows_text reflector "$w/results.csv")" \
  "^SMS_TEST,1,RF,99,ll,2,$F,-Infinity,$F,$F,-Infinity,0$"
check_eq "reflector: one debug log" "$(cd "$w" && ls -- *.debug.log)" RF.5.debug.log
check_log_starts_with_handshake reflector "$w/RF.5.debug.log"
# The reply carries the calendar time of the Windows run (_time64).
reply=$(grep -o 'sent COM5 5550105 5551234 [0-9]* - rEfLeCt-*[0-9]*Tping-back$' "$w/records/network.log")
check_match "reflector: reply sent to the sender" "$reply" 'rEfLeCt[0-9]+Tping-back$'
clock=${reply##*rEfLeCt}
clock=${clock%%T*}
skew=$(($(date +%s) % 4294967296 - ${clock:-0}))
if [ "${skew#-}" -le 120 ]; then pass; else fail "reflector: reply clock $clock is $skew s off"; fi

# ------------------------------------------------------ port failures

echo "== receiving modem hangs up after its first poll"
both hangup "--modem COM3=5550103 --modem COM4=5550104,hangup=5 --delay 1" \
  "H|30|3|5550104|hi|0|0|115200|4|115200|0" cmd.txt status.txt 1 ll
n=$T/hangup/native
w=$T/hangup/wine
check_eq "hang-up: exit code" "$(content "$w/rc")" 2
# The system's error codes and texts differ (Wine gives 109 where Linux
# gives EIO), and whether the answer read or the next write meets the
# hang-up first is a race, so only the form is checked: one of the port's
# failure contexts, the code, the system's text.
status=$(windows_text hang-up "$w/status.txt")
check_match "hang-up: status file" "$status" \
  '^2 (read_com: Could not set comm mask|read_com: Error reading from the comm port|write_com: Could not write to COM4), error code: [0-9]+: .+'
check_match "hang-up: the native run fails the same way" "$(head -1 "$n/status.txt")" \
  '^2 (read_com|write_com): .*, error code: [0-9]+: .+'
check_eq "hang-up: standard error ends in the status text" \
  "$(windows_text hang-up "$w/stderr")" "Sending SMS: OK."$'\n'"${status#2 }"
check_match "hang-up: result line" "$(windows_text hang-up "$w/results.csv")" \
  "^SMS_TEST,1,H,1,ll,2,$F,-Infinity,-Infinity,-Infinity,-Infinity,0$"

echo "== silent modem on COM6"
dir=$T/silent
printf 'SMS_TEST\nresults.csv\nS|30|6|1|hi|0|0|115200|0|115200|0\n' >"$T/silent.cmd"
start_sim "$PORTS" "$T/silent-sim" --modem COM6=5550106,silent
mkdir -p "$dir" && cp "$T/silent.cmd" "$dir/cmd.txt"
run_wine "$dir" cmd.txt status.txt 1 ll
stop_sim
NO_ANSWER='COM6 failed to respond to at comand. Please make sure that the device is connected and the baudrate and other port settings are correct.'
check_eq "silent: exit code" "$(content "$dir/rc")" 2
check_text "silent: status file" "$dir/status.txt" "2 $NO_ANSWER"$'\n'
check_text "silent: standard error" "$dir/stderr" "$NO_ANSWER"$'\n'
check_match "silent: debug log" "$(content "$dir/S.6.debug.log"; printf x)" \
  $'^\nWrote 3 bytes\nAT\rRead timedout, timeout=3, elapsed=[34]\n\nWrote 3 bytes\nAT\rRead timedout, timeout=3, elapsed=[34]\nx$'
seconds=$(content "$dir/seconds")
if awk -v s="$seconds" 'BEGIN { exit !(s >= 4 && s < 12) }'; then pass; else
  fail "silent: two 3-second answer waits took $seconds s"
fi

echo "SKIP busy port: Wine does not enforce the exclusive open (no sharing) of a COM" \
  "port, so a second program gets the port that a run holds; Windows refuses it."

echo "== $(wc -l <"$T/checks") checks, $(failures) failed"
[ "$(failures)" -eq 0 ]
