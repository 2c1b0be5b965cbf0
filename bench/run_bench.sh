#!/usr/bin/env bash
# Runs every benchmark of bench/ from a build directory: PDU decoding
# (pdu_bench, built when Google Benchmark was found), whole runs of
# SMS_TEST against the simulated modems (sms_bench: fidelity, idle, scale)
# and sms_report on generated million-line result files (report_bench).
#
#   bench/run_bench.sh BUILD_DIR [sms_bench options, e.g. --quick]
#
# Tables go to standard output and BUILD_DIR/bench-results/report.txt, CSV
# files to BUILD_DIR/bench-results, the runs' directories and the
# simulator's records to BUILD_DIR/bench-work.  Exit code 0 when everything
# ran, whether or not the targets were met (the tables say that).
set -eu -o pipefail

if [ $# -lt 1 ]; then
  echo "usage: bench/run_bench.sh BUILD_DIR [sms_bench options]" >&2
  exit 2
fi
build=$1
shift
out=$build/bench-results
work=$build/bench-work
rm -rf -- "$work"
mkdir -p -- "$out" "$work"

type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ "$type" != "Release" ]; then
  echo "run_bench.sh: $build is a '$type' build; the timings are meant for a Release build" >&2
fi

{
  status=0
  if [ -x "$build/bench/pdu_bench" ]; then
    "$build/bench/pdu_bench" --csv="$out/pdu.csv" --benchmark_repetitions=5 \
      --benchmark_report_aggregates_only=true --benchmark_color=false || status=1
  else
    echo "pdu_bench was not built (Google Benchmark not found): PDU decoding skipped"
  fi
  "$build/bench/sms_bench" --out "$out" --work "$work" "$@" || status=1
  "$build/bench/report_bench" --work "$work/report" || status=1
  exit $status
} | tee "$out/report.txt"
