#!/usr/bin/env bash
# Builds the two packages and tries them as a user would:
#   - the Debian package (cpack -G DEB in BUILD_NATIVE): its listing holds
#     each program with its manual page, lintian (when installed) finds no
#     error, `dpkg -i` installs it, the installed SMS_TEST answers a call
#     without arguments with its usage line and exit code 2, one round trip
#     runs between the installed modem_sim and SMS_TEST, `man -w SMS_TEST`
#     finds the page;
#   - the Windows zip (cpack -G ZIP in BUILD_WIN, a mingw-w64 build): its
#     listing holds the programs and the texts with CR LF line ends, and the
#     zipped SMS_TEST.exe, unpacked, prints its usage line under Wine.
#
#   packaging/package_check.sh BUILD_NATIVE BUILD_WIN
#
# Both builds must be built.  Installs what it needs when it is missing
# (dpkg-dev for dpkg-shlibdeps, file, man-db, unzip).  The .deb stays
# installed.  The packages are left in BUILD_*/packages.  Exit code 0 when
# every check passed, 1 when one failed, 2 when it could not run.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_NATIVE BUILD_WIN" >&2
  exit 2
fi
native=$(realpath -e "$1") || exit 2
win=$(realpath -e "$2") || exit 2

die() {
  echo "package_check: $*" >&2
  exit 2
}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check_eq() {
  if [ "$2" == "$3" ]; then
    echo "ok: $1"
  else
    fail "$1"
    printf '  expected: %q\n  actual:   %q\n' "$3" "$2" >&2
  fi
}

need=()
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
command -v man >/dev/null || need+=(man-db)
command -v unzip >/dev/null || need+=(unzip)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update && apt-get install -y --no-install-recommends "${need[@]}" ||
    die "cannot install ${need[*]}"
fi

T=$(mktemp -d "${TMPDIR:-/tmp}/sms_package_check.XXXXXX") || die "no temporary directory"
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${WINESERVER:-}" ]; then
    timeout 20 "$WINESERVER" -k 2>/dev/null
  fi
  if [ "$failures" -gt 0 ]; then
    echo "files of the failed checks kept in $T"
  else
    rm -rf "$T"
  fi
}
trap cleanup EXIT
trap 'exit 2' INT TERM

# make_package BUILD GENERATOR EXT: the one package file, in BUILD/packages.
make_package() {
  rm -rf "$1/packages"
  (cd "$1" && cpack -G "$2" -B "$1/packages" >"$T/cpack-$2.log" 2>&1) || {
    cat "$T/cpack-$2.log" >&2
    die "cpack -G $2 in $1 failed"
  }
  local files=("$1"/packages/*."$3")
  [ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || die "cpack -G $2 made no single .$3"
  echo "${files[0]}"
}

# ------------------------------------------------------ the Debian package

echo "== Debian package"
deb=$(make_package "$native" DEB deb) || exit 2
echo "$deb"
mapfile -t tools <"$native/packaging/installed_tools.txt"
[ ${#tools[@]} -ge 3 ] || die "$native/packaging/installed_tools.txt lists ${#tools[@]} programs"
dpkg-deb -c "$deb" | tee "$T/deb.list"
listed=$(awk '{ print $NF }' "$T/deb.list")
check_eq "programs in usr/bin" "$(grep '^\./usr/bin/.' <<<"$listed" | sort)" \
  "$(printf './usr/bin/%s\n' "${tools[@]}" | sort)"
check_eq "manual pages" "$(grep '^\./usr/share/man/man1/.' <<<"$listed" | sort)" \
  "$(printf './usr/share/man/man1/%s.1.gz\n' "${tools[@]}" | sort)"
for f in README.md copyright changelog.Debian.gz; do
  grep -qx "./usr/share/doc/sms-test/$f" <<<"$listed" && echo "ok: doc $f" || fail "no usr/share/doc/sms-test/$f"
done
dpkg-deb -f "$deb" Package Version Depends

if command -v lintian >/dev/null; then
  # Root is fine here: lintian only reads the package.
  if lintian --pedantic --fail-on error "$deb" 2>"$T/lintian.err" | tee "$T/lintian.out" |
    sed 's/^/    /'; then
    echo "ok: lintian reports no error ($(grep -c '^W:' "$T/lintian.out") warnings)"
  else
    fail "lintian reports errors"
    grep -v 'running with root privileges' "$T/lintian.err" >&2
  fi
else
  echo "lintian is not installed: not run"
fi

dpkg -i "$deb" >"$T/dpkg.log" 2>&1 || {
  cat "$T/dpkg.log" >&2
  die "dpkg -i failed"
}
echo "ok: dpkg -i $(basename "$deb")"

# The installed SMS_TEST without arguments.
(cd "$T" && /usr/bin/SMS_TEST >"$T/usage.out" 2>"$T/usage.err")
check_eq "installed SMS_TEST without arguments: exit code" "$?" 2
check_eq "installed SMS_TEST without arguments: standard error" "$(cat "$T/usage.err")" \
  "SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong"
check_eq "installed SMS_TEST without arguments: standard output" "$(cat "$T/usage.out")" ""

version=$(dpkg-deb -f "$deb" Version)
for tool in "${tools[@]}"; do
  [ "$tool" = SMS_TEST ] && continue
  check_eq "installed $tool --version" "$("/usr/bin/$tool" --version 2>&1)" "$tool ${version%-*}"
done

# One round trip from COM3 to COM4 between the installed programs.
work=$T/round_trip
mkdir -p "$work"
mkfifo "$work/sim.out"
/usr/bin/modem_sim --dir "$work/ports" --modem COM3=5550103 --modem COM4=5550104 --delay 0.5 \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
ready=
while IFS= read -r -t 10 line <&3; do
  case "$line" in "modem_sim: ready"*) ready=$line; break ;; esac
done
if [ -n "$ready" ]; then
  echo "$ready"
  printf 'SMS_TEST\nresults.csv\nT1|30|3|5550104|hello|0|0|115200|4|115200|0\n' >"$work/rt.cmd"
  (cd "$work" && SMS_TEST_PORTS="$work/ports" timeout 60 /usr/bin/SMS_TEST rt.cmd status.txt \
    20261209 45.5N73.6W 2>stderr.txt)
  check_eq "installed round trip: exit code" "$?" 0
  check_eq "installed round trip: status file" "$(cat "$work/status.txt" 2>/dev/null)" "0 SUCCESS"
  sed 's/^/    /' "$work/stderr.txt"
  result=$(cat "$work/results.csv" 2>/dev/null)
  echo "    $result"
  case "$result" in
    "SMS_TEST,1,T1,20261209,45.5N73.6W,0,"*",100,100") echo "ok: installed round trip: result line" ;;
    *) fail "installed round trip: result line" ;;
  esac
else
  fail "the installed modem_sim did not start: $(cat "$work/sim.err")"
fi
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null
sim_pid=
exec 3<&-

check_eq "man -w SMS_TEST" "$(man -w SMS_TEST 2>&1)" /usr/share/man/man1/SMS_TEST.1.gz
if MANPAGER=cat MANWIDTH=80 man SMS_TEST 2>&1 | grep -q '^SYNOPSIS'; then
  echo "ok: man SMS_TEST"
else
  fail "man SMS_TEST shows no SYNOPSIS"
fi

# ------------------------------------------------------ the Windows zip

echo "== Windows zip"
zip=$(make_package "$win" ZIP zip) || exit 2
echo "$zip"
unzip -l "$zip" | tee "$T/zip.list"
top=$(basename "$zip" .zip)
mapfile -t win_tools <"$win/packaging/installed_tools.txt"
grep -qx SMS_TEST "$win/packaging/installed_tools.txt" || die "the zip would not hold SMS_TEST.exe"
expected=("$top/README.txt" "$top/copyright.txt")
for tool in "${win_tools[@]}"; do expected+=("$top/$tool.exe"); done
check_eq "files in the zip" "$(awk 'NR > 3 && $4 != "" { print $4 }' "$T/zip.list" | grep -v '/$' | sort)" \
  "$(printf '%s\n' "${expected[@]}" | sort)"
mkdir -p "$T/zip"
unzip -q "$zip" -d "$T/zip" || fail "unzip"
for f in README.txt copyright.txt; do
  if LC_ALL=C grep -q -v $'\r$' "$T/zip/$top/$f"; then
    fail "$f has a line that does not end in CR LF"
  else
    echo "ok: $f has CR LF line ends"
  fi
done

# The zipped SMS_TEST.exe under Wine, in a prefix of its own (as
# tests/wine/run_wine_tests.sh starts it).
find_tool() {
  local name
  for name in "$@"; do
    [ -x "$name" ] && { echo "$name"; return 0; }
    command -v "$name" 2>/dev/null && return 0
  done
  return 1
}
WINE=$(find_tool wine64 /usr/lib/wine/wine64 wine) || die "Wine not found (apt-get install wine64)"
WINE=$(realpath -e "$WINE")
WINESERVER=$(find_tool "$(dirname "$WINE")/wineserver" wineserver /usr/lib/wine/wineserver) ||
  die "wineserver not found"
export WINEPREFIX=$T/wineprefix TMPDIR=$T/tmp WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$TMPDIR"
unset DISPLAY WAYLAND_DISPLAY
timeout 300 "$WINE" wineboot -i >"$T/wineboot.log" 2>&1 || {
  cat "$T/wineboot.log" >&2
  die "wineboot failed"
}
(cd "$T/zip/$top" && timeout 60 "$WINE" ./SMS_TEST.exe >"$T/wine.out" 2>"$T/wine.err")
check_eq "zipped SMS_TEST.exe under Wine without arguments: exit code" "$?" 2
check_eq "zipped SMS_TEST.exe under Wine without arguments: standard error" \
  "$(cat "$T/wine.err")" $'SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\r'
timeout 20 "$WINESERVER" -k 2>/dev/null

echo "== package checks: $failures failed"
[ "$failures" -eq 0 ]
