#!/usr/bin/env bash
# A simulated drive, no car and no hardware needed: modem_sim serves a GPS
# receiver (COM20) that follows a four-minute route compressed into one
# minute, and two modems that ride along (COM3 -> COM4).  Part of the route
# has no coverage: sends made there are refused.  sms_campaign runs a round
# trip over and over with --gps nmea:COM20, so every run carries where it
# started; sms_report then draws the page with the track map and writes the
# GeoJSON layer.  The checks: every run has a position on the route, the
# failed runs lie in the hole, the runs well outside it succeeded.
# Usage: tools/drive_demo.sh [BUILD_DIR] (default: build); about a minute.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
campaign="$build/sms_campaign"
report="$build/tools/report/sms_report"
sim="$build/sim/modem_sim"
for f in "$campaign" "$build/sms_gps" "$build/SMS_TEST" "$report" "$sim"; do
  [ -x "$f" ] || { echo "drive_demo: $f is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sms_drive_demo.XXXXXX")
ports="$work/ports"
out="$work/out"
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap cleanup EXIT

# East through the town, longitude rising all the way: route seconds 0 to
# 240 at four route seconds a second.  No coverage from route second 100
# to 150, that is from longitude -73.600 to -73.590.
cat >"$work/route.txt" <<'ROUTE'
# a drive east, four minutes in one
speed 4
0   45.5000 -73.6200
60  45.5060 -73.6100
120 45.5040 -73.5950
180 45.5100 -73.5850
240 45.5150 -73.5700
hole 100 150 fail
ROUTE

mkfifo "$work/sim.out"
"$sim" --dir "$ports" --delay 0.3 --gps COM20="$work/route.txt" \
  --modem COM3=5550103,follows=COM20 --modem COM4=5550104,follows=COM20 \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
ready=
while IFS= read -r -t 10 line <&3; do
  case "$line" in "modem_sim: ready"*) ready=$line; break ;; esac
done
[ -n "$ready" ] || { echo "drive_demo: the simulator did not start:" >&2; cat "$work/sim.err" >&2; exit 2; }
echo "$ready (GPS receiver on $ports/COM20)"
export SMS_TEST_PORTS="$ports"

cd "$work"
printf 'SMS_TEST\nresults.csv\nDRIVE|10|3|5550104|hello|0|0|115200|4|115200|0\n' >drive.cmd
args=(--dir "$out" --repeat 33 --pause 0.5 --gps nmea:COM20 drive.cmd)
echo
echo "== $campaign ${args[*]} =="
"$campaign" "${args[@]}"

echo
echo "== $report --html drive.html --geojson drive.geojson $out/results.csv =="
"$report" --html "$work/drive.html" --geojson "$work/drive.geojson" "$out/results.csv" >/dev/null

# One line per run from runs.jsonl: run, status code, longitude and latLong
# at the start (a '-' when the run had no position).
runs=$(sed -e 's/.*"run":\([0-9]*\).*/\1/' "$out/runs.jsonl" | paste -d' ' - \
  <(sed -e 's/.*"statusCode":\([0-9null-]*\).*/\1/' "$out/runs.jsonl") \
  <(sed -e 's/.*"start":{"latLong":"\([^"]*\)".*/\1/' "$out/runs.jsonl"))
echo
echo "== runs (run statusCode latLong) =="
echo "$runs" | column -c 100

failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failed=1; fi; }
lon() { awk '{ split($3, p, ";"); print p[2] }'; }
echo
check "33 runs" '[ "$(echo "$runs" | wc -l)" = 33 ]'
check "every run has a position" '! echo "$runs" | awk "{print \$3}" | grep -qx -- -'
fails=$(echo "$runs" | awk '$2 != 0')
check "some runs failed" '[ -n "$fails" ]'
# A failed run started in the hole, or just before it: its start fix may be
# a second old and its send comes a moment later (up to 8 route seconds).
check "the failed runs lie in the hole" \
  '[ -z "$(echo "$fails" | lon | awk "\$1 < -73.6025 || \$1 > -73.5900")" ]'
# Runs that started well inside the hole cannot have succeeded.
check "no run inside the hole succeeded" \
  '[ -z "$(echo "$runs" | awk "\$2 == 0" | lon | awk "\$1 > -73.5998 && \$1 < -73.5918")" ]'
check "the page has the track map" 'grep -q "<svg" "$work/drive.html"'
check "the GeoJSON has a point per run" \
  '[ "$(grep -o "\"Point\"" "$work/drive.geojson" | wc -l)" = 33 ]'
echo
echo "page: $work/drive.html"
echo "GeoJSON: $work/drive.geojson"
echo "campaign: $out (runs.jsonl has each run's fix at start and end)"
exit "$failed"
