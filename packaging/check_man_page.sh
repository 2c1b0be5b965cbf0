#!/usr/bin/env bash
# Test of one manual page: groff and man format it without a single warning
# (man the way lintian runs it), and, given the program, the long options
# that the page's OPTIONS section lists are exactly those that the
# program's --help names, so that neither can drift from the other.
#
#   packaging/check_man_page.sh PAGE [PROGRAM]
#
# Exit code 0 when it holds, 1 when not, 77 (skipped) without groff or man.
set -uo pipefail
page=$1
program=${2:-}
for tool in groff man; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
[ -r "$page" ] || { echo "no manual page $page"; exit 1; }
failed=0

out=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$out" ]; then
  echo "groff -man -ww: $out"
  failed=1
fi
out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$out" ]; then
  echo "man --warnings: $out"
  failed=1
fi
# The page must name its program and have the sections a reader looks for.
name=$(basename "$page" .1)
grep -q "^$name \\\\- " "$page" || { echo "NAME line \"$name \\- ...\" missing"; failed=1; }
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES; do
  grep -q "^\.SH \"\?$section\"\?\$" "$page" || { echo "section $section missing"; failed=1; }
done

if [ -n "$program" ]; then
  # Options of the page: the tags of the OPTIONS section (the line after
  # each .TP), with roff's \- read as -.
  page_options=$(awk '/^\.SH /{ in_options = ($2 == "OPTIONS") } in_options && tag { print } { tag = /^\.TP/ }' "$page" |
    sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
  help=$("$program" --help 2>&1)
  status=$?
  if [ "$status" != 0 ]; then
    echo "$program --help: exit code $status"
    failed=1
  fi
  help_options=$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
  if [ "$page_options" != "$help_options" ]; then
    echo "options of $page and of $program --help differ (< page, > --help):"
    diff <(echo "$page_options") <(echo "$help_options")
    failed=1
  fi
fi
exit "$failed"
