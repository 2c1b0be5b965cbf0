#!/usr/bin/env bash
# Test: `cmake --install BUILD --prefix PREFIX` installs exactly the
# programs, one manual page for each (the page of man/, compressed) and the
# package's documents; no test, benchmark or library; every directory 0755.
#
#   packaging/check_install_tree.sh BUILD PREFIX BINDIR MANDIR DOCDIR TOOL...
#
# BINDIR, MANDIR and DOCDIR are relative to PREFIX (GNUInstallDirs); PREFIX
# is emptied first.  Exit code 0 when it holds, 1 when not.
set -uo pipefail
build=$1 prefix=$2 bindir=$3 mandir=$4 docdir=$5
shift 5
source_dir=$(cd "$(dirname "$0")/.." && pwd)

rm -rf "$prefix"
if ! out=$(umask 002 && cmake --install "$build" --prefix "$prefix" 2>&1); then
  echo "cmake --install failed: $out"
  exit 1
fi
failed=0

expected=$(
  for tool in "$@"; do
    echo "$bindir/$tool"
    echo "$mandir/man1/$tool.1.gz"
  done
  printf '%s\n' "$docdir/README.md" "$docdir/copyright" "$docdir/changelog.Debian.gz"
)
actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||')
if [ "$(sort <<<"$expected")" != "$(sort <<<"$actual")" ]; then
  echo "installed files differ (< expected, > installed):"
  diff <(sort <<<"$expected") <(sort <<<"$actual")
  failed=1
fi

# The install ran under umask 002 (group-writable, as on many desktops):
# directories must be 0755 all the same (a Debian package wants them so),
# and programs executable by all.
bad_dirs=$(find "$prefix" -mindepth 1 -type d ! -perm 755)
[ -z "$bad_dirs" ] || { echo "directories not 0755: $bad_dirs"; failed=1; }
for tool in "$@"; do
  f=$prefix/$bindir/$tool
  [ -x "$f" ] && [ "$(stat -c %a "$f")" = 755 ] || { echo "$f: not mode 0755"; failed=1; }
  page=$prefix/$mandir/man1/$tool.1.gz
  if ! gzip -dc "$page" 2>/dev/null | cmp -s - "$source_dir/man/$tool.1"; then
    echo "$page is not man/$tool.1 compressed"
    failed=1
  fi
done
for f in README.md copyright; do
  src=$source_dir/$f
  [ "$f" = copyright ] && src=$source_dir/packaging/copyright
  cmp -s "$src" "$prefix/$docdir/$f" || { echo "$docdir/$f differs from $src"; failed=1; }
done
if ! gzip -dc "$prefix/$docdir/changelog.Debian.gz" 2>/dev/null | head -1 | grep -q '^sms-test ('; then
  echo "$docdir/changelog.Debian.gz does not begin with the package's entry"
  failed=1
fi
exit "$failed"
