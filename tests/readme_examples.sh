#!/bin/bash
# Runs the shell examples of the README and the manual pages as a reader
# would type them, and fails when one of them fails.
#
#   tests/readme_examples.sh BUILD_DIR SOURCE_DIR
#
# The examples that run are the ones marked in their document:
#   README.md      a line "<!-- example -->" before an indented code block;
#   man/*.1        a line '.\" example' before an .EX ... .EE block.
# The README's marked blocks run one after the other in one shell (as typed
# into one terminal, so a later block may use what an earlier one set up),
# started in a scratch folder whose "build" leads to BUILD_DIR; each manual
# page's marked blocks run in a shell of their own with the built tools on
# PATH (as an installed package puts them).  Every shell stops at the first
# command that fails (set -e) and ends the jobs it left in the background.
# Paths under /tmp/ are moved into the scratch folder, so that runs of this
# script side by side, and the reader's own /tmp, do not meet.
set -u
build=$(cd "$1" && pwd) || exit 2
source=$(cd "$2" && pwd) || exit 2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/readme_examples.XXXXXX") || exit 2
trap 'rm -rf "$scratch"' EXIT

# The marked blocks of README.md, their indentation removed.
readme_blocks() {
  awk '
    /^<!-- example -->$/ { marked = 1; next }
    marked && /^$/ && !inside { next }
    marked && /^    / { inside = 1; print substr($0, 5); next }
    { if (inside) print ""; marked = 0; inside = 0 }
  ' "$source/README.md"
}

# The marked blocks of one manual page, its escapes undone.
man_blocks() {
  awk '
    /^\.\\" example$/ { marked = 1; next }
    marked && /^\.EX/ { inside = 1; next }
    inside && /^\.EE/ { print ""; marked = 0; inside = 0; next }
    inside { gsub(/\\-/, "-"); gsub(/\\e/, "\\"); gsub(/\\\(aq/, "\047"); print }
  ' "$1"
}

# Runs the script $2 (named $1 in messages) in the scratch folder.
run_examples() {
  local name=$1 text=$2
  [ -n "$text" ] || return 0
  text=${text//\/tmp\//$scratch/tmp/}
  printf '%s\n' "$text" > "$scratch/$name.sh"
  echo "== $name"
  (cd "$scratch" &&
    PATH="$build:$build/sim:$build/tools/report:$PATH" \
      bash -c 'trap "code=\$?; set +e; j=\$(jobs -p); [ -z \"\$j\" ] || kill \$j; wait; exit \$code" EXIT
               set -e; . "$0"' "$scratch/$name.sh")
  local code=$?
  if [ $code -ne 0 ]; then
    echo "FAILED ($code): $name, as run:"
    cat -n "$scratch/$name.sh"
    failed=1
  fi
}

ln -s "$build" "$scratch/build"
mkdir -p "$scratch/tmp"
failed=0
count=0
text=$(readme_blocks)
[ -n "$text" ] && count=$((count + 1))
run_examples README.md "$text"
for page in "$source"/man/*.1; do
  text=$(man_blocks "$page")
  [ -n "$text" ] && count=$((count + 1))
  run_examples "$(basename "$page")" "$text"
done
if [ $count -eq 0 ]; then
  echo "no marked example found"
  exit 1
fi
exit $failed
