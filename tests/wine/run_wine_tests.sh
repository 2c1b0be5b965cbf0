#!/usr/bin/env bash
# Whole runs of the Windows build, SMS_TEST.exe, under Wine against the
# simulated modems.  The native whole-run tests (tests/whole_run_tests) are
# run a second time in their Windows mode, where each run starts the .exe
# under Wine instead of the native tool and must give the same exit code,
# standard error, status file, result line and debug logs (see
# tests/whole_run.h).  Before them come the start-up failures that depend on
# the Windows C runtime (the command file read in text mode).
#
#   tests/wine/run_wine_tests.sh BUILD_NATIVE BUILD_WIN [GTEST_ARGS...]
#
# BUILD_NATIVE holds tests/whole_run_tests (a native build with the tests),
# BUILD_WIN holds SMS_TEST.exe (cmake/mingw-w64.cmake).  GTEST_ARGS go to
# whole_run_tests, e.g. --gtest_filter=WholeRunTest.Reflector.  Needs Wine 8
# (Debian: wine64).  A Wine prefix is made for the run in a temporary
# directory; its COM ports are mapped through HKLM\Software\Wine\Ports to
# the links the simulator creates there.
#
# Exit code 0 when every check passed, 1 when one failed, 2 when the run
# could not be set up.  SMS_WINE_KEEP=1 keeps the temporary directory.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_NATIVE BUILD_WIN [GTEST_ARGS...]" >&2
  exit 2
fi
WHOLE_RUN_TESTS=$(realpath -e "$1/tests/whole_run_tests") || exit 2
EXE=$(realpath -e "$2/SMS_TEST.exe") || exit 2
shift 2

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
WINE=$(realpath -e "$WINE") || die "Wine not found"
WINESERVER=${WINESERVER:-$(find_tool "$(dirname "$WINE")/wineserver" wineserver /usr/lib/wine/wineserver)} ||
  die "wineserver not found"

T=$(mktemp -d "${TMPDIR:-/tmp}/sms_wine.XXXXXX") || die "no temporary directory"
export WINEPREFIX=$T/prefix
# Wine finds its server through a folder under TMPDIR, so every program of
# the session, the whole-run tests' runs included, must see the same value.
# The tests' own temporary folders go there too, so that a failed run's
# files are kept with the rest.
export TMPDIR=$T/tmp
mkdir -p "$TMPDIR"
export WINEDEBUG=-all
# No Mono or Gecko installers, no window driver: a console program needs none.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
PORTS=$T/ports  # where the simulator's links go for the Windows runs
mkdir -p "$PORTS"
# The whole-run tests put their simulated modems on these ports; every
# other port up to LAST_PORT (8, 9 and 50 in the tests) has no device.
MODEM_PORTS="3 4 5 6 $(seq -s ' ' 10 39)"
LAST_PORT=64
NO_DEVICE=$T/no-device  # a directory: opening it fails as a missing port does
mkdir -p "$NO_DEVICE"

SERVER_PID=""
# Checks are counted in files, so that checks made inside command
# substitutions count too.
: >"$T/checks"
: >"$T/failures"
failures() { wc -l <"$T/failures"; }

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
  stop_wineserver
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

# ----------------------------------------------------------------- set-up

echo "== Wine: $("$WINE" --version 2>/dev/null), $WINE"
started=$(now)
timeout 300 "$WINE" wineboot -i >"$T/wineboot.log" 2>&1 || {
  cat "$T/wineboot.log" >&2
  die "wineboot failed"
}
echo "prefix made in $(seconds_since "$started") s"

# COMn of a modem leads to $PORTS/COMn, where the simulator of each test
# creates its links.  Every other port leads to a directory, which
# CreateFile refuses: a port named in HKLM\Software\Wine\Ports whose path
# does not exist would open Wine's bare device object instead, and a port
# left out would go to one of the machine's own serial devices, which Wine
# numbers from the first free port.  Wine makes dosdevices/comN from these
# values when its server starts, so the mapping is made before the server
# used by the runs.
started=$(now)
port_target() {
  case " $MODEM_PORTS " in
    *" $1 "*) echo "$PORTS/COM$1" ;;
    *) echo "$NO_DEVICE" ;;
  esac
}
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in $(seq 1 $LAST_PORT); do printf '"COM%d"="%s"\n' "$n" "$(port_target "$n")"; done
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
for n in $(seq 1 $LAST_PORT); do
  target=$(readlink "$WINEPREFIX/dosdevices/com$n")
  [ "$target" = "$(port_target "$n")" ] || die "dosdevices/com$n leads to '$target', not $(port_target "$n")"
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
lone CR line ends#SMS_TEST\rresults.csv\rT1|60|0|1|hi|0|0|115200|4|115200|0\r#cmd.txt status.txt 42 ll#From COM port must be > 0\n
message as the last field#SMS_TEST\nresults.csv\nT1|60|3|1|hi\n#cmd.txt status.txt 42 ll#The messageText field in cmd.txt holds a line end (CR or LF)\n
status file as result file#SMS_TEST\nresults.csv\nT1|60|3|1|hi|0|0|115200|4|115200|0\n#cmd.txt RESULTS.CSV 42 ll#The status file RESULTS.CSV is the result file\n
EOF

# ------------------------------------------------------- the whole runs

# The native whole-run tests in their Windows mode, one test at a time (the
# prefix leads every port to the one folder $PORTS).  timeout ends the
# tests' own simulators and Wine programs with them.
echo "== whole-run tests with SMS_TEST.exe"
started=$(now)
SMS_TEST_WINE_EXE=$EXE SMS_TEST_WINE=$WINE SMS_TEST_WINE_PORTS=$PORTS \
  timeout -k 10 600 "$WHOLE_RUN_TESTS" --gtest_brief=1 "$@"
rc=$?
echo "whole-run tests took $(seconds_since "$started") s"
check_eq "whole-run tests with SMS_TEST.exe: exit code" "$rc" 0
kill -0 "$SERVER_PID" 2>/dev/null || fail "the Wine server ended during the runs: $(cat "$T/wineserver.log")"
if [ -s "$T/wineserver.log" ]; then
  fail "the Wine server wrote to its error stream"
  head -20 "$T/wineserver.log" >&2
fi

# ------------------------------------------- an NMEA receiver on a COM port

# sms_gps.exe reads the simulator's GPS receiver, published as COM39, through
# the Windows serial device layer: its fixes come out as JSON lines.
GPS_EXE=$(dirname "$EXE")/sms_gps.exe
SIM=$(dirname "$WHOLE_RUN_TESTS")/../sim/modem_sim
if [ -x "$GPS_EXE" ] && [ -x "$SIM" ]; then
  echo "== sms_gps.exe reading a simulated receiver on COM39"
  dir=$T/gps
  mkdir -p "$dir"
  printf 'loop\n0 45.5000 -73.6200\n60 45.5060 -73.6100\n' >"$dir/route.txt"
  "$SIM" --dir "$PORTS" --modem COM38=5550138 --gps COM39="$dir/route.txt" >"$dir/sim.out" 2>"$dir/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ -e "$PORTS/COM39" ] && grep -q "modem_sim: ready" "$dir/sim.out" 2>/dev/null && break
    sleep 0.1
  done
  # sms_gps runs until its output is closed: a few seconds of fixes.
  (cd "$dir" && timeout -k 5 6 "$WINE" "$GPS_EXE" nmea:39 >stdout 2>stderr)
  # sms_modems.exe finds the modem on COM38 and tells what it is.
  MODEMS_EXE=$(dirname "$EXE")/sms_modems.exe
  if [ -x "$MODEMS_EXE" ]; then
    echo "== sms_modems.exe probing COM38"
    run_in "$T/modems" 20 "$WINE" "$MODEMS_EXE" --json --port COM38
    check_eq "sms_modems.exe: exit code" "$(content "$T/modems/rc")" 0
    if python3 - "$T/modems/stdout" <<'PY'; then pass; else fail "sms_modems.exe: COM38 not found answering (see $T/modems)"; fi
import json, sys
ports = json.load(open(sys.argv[1], encoding="utf-8"))["ports"]
sys.exit(0 if any(p.get("answersAt") and p.get("manufacturer") == "SMS_TEST" and
                  p.get("use") == "text" for p in ports) else 1)
PY
    check_eq "sms_modems.exe: within 3 s (plus Wine's start)" \
      "$(awk -v s="$(content "$T/modems/seconds")" 'BEGIN { print (s < 8) ? "yes" : "no " s }')" yes
  fi
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  fixes=$(grep -c '"class":"FIX".*"lat":45\.5' "$dir/stdout" 2>/dev/null)
  if [ "${fixes:-0}" -ge 2 ]; then
    pass
  else
    fail "sms_gps.exe: no fixes read from COM39 ($(head -c 300 "$dir/stdout" "$dir/stderr" 2>/dev/null | tr '\n' ' '))"
  fi
fi

echo "== $(wc -l <"$T/checks") checks, $(failures) failed"
[ "$(failures)" -eq 0 ]
