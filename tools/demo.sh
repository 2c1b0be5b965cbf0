#!/usr/bin/env bash
# The main job: SMS_TEST against two simulated modems, no hardware needed.
#   1. a round trip from COM3 to COM4;
#   2. a reflector run on COM4 that answers a round trip started on COM3:
#      the message goes out, is reflected back through the simulated network
#      and comes home to COM3;
#   3. the round trip of 1 with the standard SMS commands in text mode
#      (command set "text").
# Usage: tools/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
tool="$build/SMS_TEST"
sim="$build/sim/modem_sim"
for f in "$tool" "$sim"; do
  [ -x "$f" ] || { echo "demo: $f is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sms_test_demo.XXXXXX")
ports="$work/ports"
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap cleanup EXIT

# Start the simulator and wait for its ready line.
mkfifo "$work/sim.out"
"$sim" --dir "$ports" --modem COM3=5550103 --modem COM4=5550104 --delay 1.5 \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
ready=
while IFS= read -r -t 10 line <&3; do
  case "$line" in "modem_sim: ready"*) ready=$line; break ;; esac
done
[ -n "$ready" ] || { echo "demo: the simulator did not start:" >&2; cat "$work/sim.err" >&2; exit 2; }
echo "$ready"
export SMS_TEST_PORTS="$ports"

# run NAME RECORD: runs SMS_TEST in $work/NAME with the given parameter record.
run() {
  local dir="$work/$1"
  mkdir -p "$dir"
  printf 'SMS_TEST\n../results.csv\n%s\n' "$2" >"$dir/cmd.txt"
  (cd "$dir" && "$tool" cmd.txt status.txt "$3" 45.5N73.6W 2>stderr.txt; echo $? >exit.txt)
}

show() {
  local dir="$work/$1"
  echo
  echo "== $1 =="
  echo "command file ($dir/cmd.txt):"
  sed 's/^/    /' "$dir/cmd.txt"
  echo "standard error:"
  sed 's/^/    /' "$dir/stderr.txt"
  echo "exit code: $(cat "$dir/exit.txt")"
  echo "status file: $(cat "$dir/status.txt" 2>/dev/null | head -1)"
  echo "debug logs: $(ls "$dir"/*.debug.log | tr '\n' ' ')"
}

run round_trip "T1|30|3|5550104|hello|0|0|115200|4|115200|0" 20261208
show round_trip

# The reflector waits on COM4; the round trip on COM3 sends to COM4's number
# and gets the reflected text back on COM3.
run reflector "R1|40|4|unused|unused|0|0|115200|0|0|1" 20261208 &
reflector_pid=$!
sleep 1
run reflected_round_trip "T2|40|3|5550104|reflect me|0|0|115200|0|0|0" 20261209
wait "$reflector_pid"
show reflector
show reflected_round_trip

run text_round_trip "T3|30|3|5550104|hello in text mode|0|0|115200|4|115200|0|text" 20261210
show text_round_trip

echo
echo "== result file ($work/results.csv) =="
cat "$work/results.csv"
echo
echo "== simulated network ($ports/network.log) =="
cat "$ports/network.log"

failed=0
for d in round_trip reflector reflected_round_trip text_round_trip; do
  [ "$(cat "$work/$d/exit.txt")" = 0 ] && [ "$(head -c 9 "$work/$d/status.txt")" = "0 SUCCESS" ] || failed=1
done
echo
if [ "$failed" = 0 ]; then
  echo "All four runs ended with SUCCESS. Everything is kept in $work"
else
  echo "A run did not succeed; see $work" >&2
fi
exit "$failed"
