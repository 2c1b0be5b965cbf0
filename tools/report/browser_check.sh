#!/usr/bin/env bash
# Renders the report page of a generated drive campaign (three modem pairs,
# positions along a route, failures of several kinds) in headless Chromium
# at 1400 px and checks the page's own layout from the rendered DOM: every
# chart and the track map present, nothing wider than the window, no table
# cell or SVG label running out of its box.  Keeps a screenshot of the
# whole page.
#
#   browser_check.sh SMS_REPORT OUT_DIR
#
# Exit 0: the checks passed; 77: skipped (no chromium); 1: a check failed.
set -euo pipefail
report=$1
out=$2
# CHROMIUM names the browser; otherwise it is looked for on PATH.
browser=${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}
if [ -z "$browser" ] || [ ! -x "$browser" ]; then
  echo "SKIP: chromium not found (install Debian's chromium for the browser check)"
  exit 77
fi
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The campaign: 180 runs over an hour, three test names, a route north-east
# from 48.137N 11.575E; every 11th run not sent, every 7th not received.
# The run records (runs.jsonl in the campaign folder) carry the sending
# modem's identity and radio at the send, every 13th run a set-up failure of
# the test system, every 17th a send while not registered; the runs of b.cmd
# ask for delivery reports (every 5th missing, every 8th failed).  The
# command file copies in status/ give the head its settings.
mkdir -p "$work/out/status"
printf 'SMS_TEST\nresults.csv\nA|60|3|+4915112345678|hi|0|0|115200|4|115200|0|pdu\nrecord=r.jsonl\n' \
  >"$work/out/status/a_+4915112345678.000001.cmd"
printf 'SMS_TEST\nresults.csv\nB|60|5|5550106|hi|0|0|115200|6|115200|0|text\nreport=1\n' \
  >"$work/out/status/b.000002.cmd"
{
  for i in $(seq 0 179); do
    t=$((i % 3))
    name=(operatorA-pair1 operatorB-pair2 "operatorC with a rather long test name that must not be cut")
    cmd=(a_+4915112345678.cmd b.cmd c.cmd)
    tech=(LTE GSM UMTS)
    op=(262-01 262-02 262-03)
    min=$((i / 3)); sec=$(((i % 3) * 20))
    lat=$(awk -v i="$i" 'BEGIN{printf "%.5f", 48.137 + i * 0.00012}')
    lon=$(awk -v i="$i" 'BEGIN{printf "%.5f", 11.575 + i * 0.00020 + (i % 9) * 0.00003}')
    send=$(awk -v i="$i" -v t="$t" 'BEGIN{printf "%.3f", 1.2 + t * 0.4 + (i % 5) * 0.11}')
    dlv=$(awk -v i="$i" -v t="$t" 'BEGIN{printf "%.3f", 3 + t * 1.5 + ((i * 37) % 23) * 0.25}')
    dbm=$((-70 - (i * 7) % 50))
    start=$(printf "2026-12-08T10:%02d:%02dZ" "$min" "$sec")
    phase=null; text='"SUCCESS"'; code=0; confirmed="\"$start\""; registered=true
    if [ $((i % 13)) -eq 4 ]; then
      phase='"setup"'; text='"Failed to open COM9. Please make sure that this device is not in use. (No such file or directory)"'
      send=null; dlv=null; code=2; confirmed=null
    elif [ $((i % 11)) -eq 5 ]; then
      phase='"send"'; text='"Operation Timed out during SMS Send. The modem did not answer the send command in time"'
      send=null; dlv=null; code=2; confirmed=null
    elif [ $((i % 7)) -eq 3 ]; then
      phase='"receive"'; text='"Operation Timed out during SMS Receive. The message was sent but never arrived at the receiving modem"'
      dlv=null; code=2
    fi
    [ $((i % 17)) -eq 9 ] && registered=false
    reports='"reportRequested":false,"reportClass":null'
    if [ "$t" = 1 ]; then
      if [ $((i % 5)) -eq 1 ]; then
        reports='"reportRequested":true,"reportClass":"missing","reportStatus":null,"confirmTime":null,"centreDelivery":null'
      elif [ $((i % 8)) -eq 4 ]; then
        reports='"reportRequested":true,"reportClass":"failed-permanent","reportStatus":70,"confirmTime":9.5,"centreDelivery":null'
      else
        reports="\"reportRequested\":true,\"reportClass\":\"delivered\",\"reportStatus\":0,\"confirmTime\":$(awk -v d="$dlv" 'BEGIN{printf "%.3f", (d == "null" ? 6 : d) + 1.1}'),\"centreDelivery\":$(awk -v d="$dlv" 'BEGIN{printf "%.0f", (d == "null" ? 5 : d)}')"
      fi
    fi
    modems="[{\"port\":$((3 + 2 * t)),\"roles\":[\"from\"],\"identity\":{\"manufacturer\":\"Quectel\",\"model\":\"EC2$t\",\"revision\":\"EC25EFAR06A06M4G\",\"imei\":\"35693803564380$t\",\"homeNetwork\":\"${op[$t]}\"},\"radio\":[{\"at\":\"send\",\"technology\":\"${tech[$t]}\",\"operator\":\"${op[$t]}\",\"lac\":\"1A2B\",\"cellId\":\"00C0FFE$t\",\"rssiDbm\":$dbm,\"rsrpDbm\":$([ "$t" = 0 ] && echo $((dbm - 25)) || echo null)}]}]"
    echo "{\"run\":$((i + 1)),\"cmdFile\":\"${cmd[$t]}\",\"testName\":\"${name[$t]}\",\"mode\":\"round-trip\",\"start\":\"$start\",\"statusCode\":$code,\"statusText\":$text,\"failurePhase\":$phase,\"sendTime\":$send,\"deliveryTime\":$dlv,\"accuracy\":$([ "$dlv" = null ] && echo null || echo 100),\"sendConfirmed\":$confirmed,\"latLong\":\"${lat}N${lon}E\",\"registeredAtSend\":$registered,$reports,\"modems\":$modems}"
  done
} >"$work/out/runs.jsonl"

"$report" "$work/out" --html "$work/page.html" >/dev/null

# The check runs in a copy of the page (the page itself has no script): it
# writes its findings into <pre id="layout-check">, which --dump-dom shows.
cat >"$work/check.js" <<'JS'
(function () {
  var found = [];
  var W = window.innerWidth;
  var titles = ["Track map", "Cumulative distribution", "Histogram of deliveryTime",
                "deliveryTime of every round trip", "deliveryTime against signal strength"];
  var svgs = Array.prototype.slice.call(document.querySelectorAll("svg"));
  titles.forEach(function (t) {
    var has = svgs.some(function (s) {
      var title = s.querySelector("title");
      return title && title.textContent.indexOf(t) === 0;
    });
    if (!has) found.push("missing chart: " + t);
  });
  svgs.forEach(function (s) {
    var r = s.getBoundingClientRect();
    if (r.width < 10 || r.height < 10) found.push("empty chart box: " + s.querySelector("title").textContent);
  });
  if (document.documentElement.scrollWidth > W) {
    found.push("page wider than the window: " + document.documentElement.scrollWidth + " > " + W);
  }
  document.querySelectorAll("body *").forEach(function (e) {
    var r = e.getBoundingClientRect();
    if (r.right > W + 0.5) found.push("element outside the window: <" + e.tagName + "> right " + Math.round(r.right));
  });
  document.querySelectorAll("td, th, dd, dt, p, h1, h2, li").forEach(function (e) {
    if (e.scrollWidth > e.clientWidth + 1) found.push("text overflows its box: " + e.textContent.slice(0, 60));
  });
  document.querySelectorAll("th").forEach(function (e) {
    if (e.clientHeight > 3 * 18 + 8) found.push("header cell on more than three lines: " + e.textContent);
  });
  svgs.forEach(function (s) {
    var box = s.getBoundingClientRect();
    s.querySelectorAll("text").forEach(function (t) {
      var b = t.getBoundingClientRect();
      if (b.left < box.left - 0.5 || b.right > box.right + 0.5 || b.top < box.top - 0.5 ||
          b.bottom > box.bottom + 0.5) {
        found.push("SVG label cut: " + t.textContent.slice(0, 60));
      }
    });
  });
  var pre = document.createElement("pre");
  pre.id = "layout-check";
  pre.textContent = "CHARTS " + svgs.length + "\nHEIGHT " + document.documentElement.scrollHeight +
      "\n" + (found.length ? found.map(function (f) { return "PROBLEM " + f; }).join("\n") : "LAYOUT OK") + "\n";
  document.body.appendChild(pre);
})();
JS
{
  grep -v -e '^</body>$' -e '^</html>$' "$work/page.html"
  echo "<script>"
  cat "$work/check.js"
  echo "</script></body></html>"
} >"$work/checked.html"

flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
  --disable-background-networking --disable-component-update --disable-sync
  --hide-scrollbars --user-data-dir="$work/profile")
"$browser" "${flags[@]}" --window-size=1400,1000 --dump-dom "file://$work/checked.html" \
  >"$work/dom.html" 2>"$work/chromium.log" || { cat "$work/chromium.log"; exit 1; }
result=$(sed -n '/<pre id="layout-check">/,/<\/pre>/p' "$work/dom.html")
if [ -z "$result" ]; then
  echo "the page's check left no result"; tail -20 "$work/chromium.log"; exit 1
fi
echo "$result" | sed 's/<[^>]*>//g'
height=$(echo "$result" | sed -n 's/.*HEIGHT \([0-9]*\).*/\1/p' | head -1)
height=${height:-3000}
"$browser" "${flags[@]}" --window-size=1400,"$height" --screenshot="$out/report-screenshot.png" \
  "file://$work/page.html" >/dev/null 2>>"$work/chromium.log" || true
cp "$work/page.html" "$out/report-page.html"
[ -s "$out/report-screenshot.png" ] && echo "screenshot: $out/report-screenshot.png"
echo "$result" | grep -q "LAYOUT OK" && ! echo "$result" | grep -q PROBLEM
