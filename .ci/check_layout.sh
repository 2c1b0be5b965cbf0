#!/usr/bin/env bash
# Layout rules a configured build can check (run by .ci/run):
# - only test targets (named *_tests) link the test support (test_support,
#   testsupport/), directly or through another library: no product and no
#   benchmark does (cmake --graphviz);
# - every *_test.cpp is compiled into test targets only (the compile
#   database).
#
#   .ci/check_layout.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: .ci/check_layout.sh BUILD_DIR}
status=0

graph=$build/layout/targets.dot
rm -rf "$build/layout"
cmake --graphviz="$graph" "$build" >/dev/null
if [ ! -f "$graph.test_support.dependers" ]; then
  echo "check_layout: no test_support target in $build (configured without tests?)" >&2
  exit 1
fi
users=$(sed -n 's/.*label = "\([^"]*\)".*/\1/p' "$graph.test_support.dependers" | sort -u |
  grep -v -x -e test_support -e '.*_tests' || true)
if [ -n "$users" ]; then
  echo "check_layout: targets that are not tests link test_support:" >&2
  echo "$users" | sed 's/^/  /' >&2
  status=1
fi

database=$build/compile_commands.json
if [ ! -f "$database" ]; then
  echo "check_layout: $database missing" >&2
  exit 1
fi
# Each command names its object as <dir>/CMakeFiles/<target>.dir/... and its
# source after -c.
misplaced=$(sed -n 's/.*CMakeFiles\/\([^/]*\)\.dir\/.* -c \(.*_test\.cpp\)",$/\1 \2/p' "$database" |
  grep -v -E '^[^ ]+_tests ' || true)
if [ -n "$misplaced" ]; then
  echo "check_layout: *_test.cpp compiled into targets that are not tests:" >&2
  echo "$misplaced" | sed 's/^/  /' >&2
  status=1
fi
tests=$(sed -n 's/.* -c \(.*_test\.cpp\)",$/\1/p' "$database" | wc -l)
if [ "$tests" -eq 0 ]; then
  echo "check_layout: no *_test.cpp in $database: nothing was checked" >&2
  status=1
fi
[ $status -eq 0 ] && echo "check_layout: test support and *_test.cpp only in test targets ($tests test sources)"
exit $status
