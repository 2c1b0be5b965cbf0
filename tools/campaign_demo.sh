#!/usr/bin/env bash
# A campaign against simulated modems, no hardware needed: sms_campaign runs
# three modem pairs (COM3->COM4, COM5->COM6, COM7->COM8) 20 times each, side
# by side.  Part-way through it gets a SIGINT, as from Ctrl-C, and is started
# again with the same arguments to make the runs left.  Then campaign.csv is
# checked: exactly 60 run lines, 20 per command file, every run number once,
# every line with its status text; the failure causes are listed.
# Usage: tools/campaign_demo.sh [BUILD_DIR [SECONDS_BEFORE_SIGINT]]
#        (default: build, 15); about a minute.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
interrupt_after=${2:-15}
campaign="$build/sms_campaign"
sim="$build/sim/modem_sim"
for f in "$campaign" "$build/SMS_TEST" "$sim"; do
  [ -x "$f" ] || { echo "campaign_demo: $f is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sms_campaign_demo.XXXXXX")
ports="$work/ports"
out="$work/out"
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap cleanup EXIT

mkfifo "$work/sim.out"
"$sim" --dir "$ports" --delay 0.5 \
  --modem COM3=5550103 --modem COM4=5550104 --modem COM5=5550105 \
  --modem COM6=5550106 --modem COM7=5550107 --modem COM8=5550108 \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
ready=
while IFS= read -r -t 10 line <&3; do
  case "$line" in "modem_sim: ready"*) ready=$line; break ;; esac
done
[ -n "$ready" ] || { echo "campaign_demo: the simulator did not start:" >&2; cat "$work/sim.err" >&2; exit 2; }
echo "$ready"
export SMS_TEST_PORTS="$ports"

cd "$work"
for pair in "3 4" "5 6" "7 8"; do
  set -- $pair
  printf 'SMS_TEST\nresults.csv\nRT%s%s|10|%s|555010%s|hello|0|0|115200|%s|115200|0\n' \
    "$1" "$2" "$1" "$2" "$2" >"rt$1$2.cmd"
done
args=(--dir "$out" --repeat 20 --lat-long 45.5N73.6W rt34.cmd rt56.cmd rt78.cmd)

echo
echo "== $campaign ${args[*]}   (SIGINT after ${interrupt_after} s) =="
code=0
timeout --foreground --preserve-status -s INT "$interrupt_after" "$campaign" "${args[@]}" || code=$?
echo "exit code: $code"
if [ "$code" != 130 ] && [ "$code" != 0 ]; then
  echo "campaign_demo: the campaign should have ended with 130 (interrupted) or 0" >&2
  exit 1
fi

echo
echo "== started again: $campaign ${args[*]} =="
code=0
"$campaign" "${args[@]}" || code=$?
echo "exit code: $code"
[ "$code" = 0 ] || { echo "campaign_demo: the resumed campaign failed" >&2; exit 1; }

# The checks read the columns before statusText by position: the demo's
# names hold no commas.
lines=$(tail -n +2 "$out/campaign.csv")
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failed=1; fi; }
echo
echo "== $out/campaign.csv =="
head -1 "$out/campaign.csv"
echo "$lines" | head -3
echo "..."
check "60 run lines" '[ "$(echo "$lines" | wc -l)" = 60 ]'
for f in rt34.cmd rt56.cmd rt78.cmd; do
  check "20 runs of $f" '[ "$(echo "$lines" | cut -d, -f2 | grep -cx "$f")" = 20 ]'
done
check "run numbers 1 to 60, each once" \
  '[ "$(echo "$lines" | cut -d, -f1 | sort -n | uniq | tr "\n" " ")" = "$(seq 1 60 | tr "\n" " ")" ]'
check "a status text on every line" '! echo "$lines" | grep -q ",\"\","'
echo
echo "status texts (count, statusCode, statusText):"
echo "$lines" | sed -E 's/^([^,]*,){6}([^,]*),"(([^"]|"")*)".*/\2 \3/' | sort | uniq -c | sort -rn
if echo "$lines" | grep -q '"Bad SMS message"'; then
  echo
  echo "Bad SMS message: a run interrupted after its send left its message on the way; SMS_TEST"
  echo "reads the oldest message on the receiving modem, so the next run there read that one,"
  echo "and each later run the one of the run before."
fi
echo
echo "Everything is kept in $work (status files in $out/status)"
exit "$failed"
