#!/usr/bin/env bash
# The packages cpack builds, checked as a user gets them.
#
#   check.sh deb <build-dir> <version> <fakeconv>
#       builds qprepare_<version>_<arch>.deb and checks its files, its link and
#       its conffile; as root it also installs it (dpkg -i), runs the installed
#       qprepare --version, --help (the INI is found through the link) and one
#       conversion with the fake converter, and purges it again. Without root
#       the install part is skipped (exit code 77).
#   check.sh zip <build-dir> <version>
#       builds the Windows zip, checks its files and the INI's CR LF line
#       breaks, and runs the zipped qprepare.exe under Wine.
set -euo pipefail
mode=$1 build=$2 version=$3 fakeconv=${4:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/qv-package.XXXXXX")
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then dpkg -P qprepare >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_line() {  # file line: the file has exactly this line
  grep -qxF -- "$2" "$1" || { cat "$1" >&2; fail "no line '$2' in $1"; }
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi

if [ "$mode" = zip ]; then
  zip=$work/pkg/qprepare-$version-win64.zip
  [ -f "$zip" ] || fail "no $zip"
  unzip -Z1 "$zip" | sort >"$work/list"
  printf '%s\n' qprepare-$version-win64/README.md qprepare-$version-win64/qprepare.exe \
    qprepare-$version-win64/qprepare.ini >"$work/want"
  diff "$work/want" "$work/list" || fail "the zip holds other files"
  unzip -q "$zip" -d "$work/x"
  dir=$work/x/qprepare-$version-win64
  lines=$(wc -l <"$dir/qprepare.ini")
  crlf=$(grep -c $'\r$' "$dir/qprepare.ini" || true)
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "qprepare.ini: $crlf of $lines lines end with CR LF"
  setarch -R env WINEDEBUG=-all wine "$dir/qprepare.exe" --version | tr -d '\r' >"$work/out"
  expect_line "$work/out" "Quorvane Prepare $version (Windows build)"
  setarch -R env WINEDEBUG=-all wine "$dir/qprepare.exe" --help | tr -d '\r' >"$work/out"
  expect_line "$work/out" "Parameter -t, if used, sets the conversion target (default: EPUB)"
  echo "zip: $(basename "$zip") checked"
  exit 0
fi

arch=$(dpkg --print-architecture)
deb=$work/pkg/qprepare_${version}_$arch.deb
[ -f "$deb" ] || { ls "$work/pkg" >&2; fail "no $deb"; }
dpkg-deb -c "$deb" | awk '{ sub("^\\./", "", $6); print $6 ($7 ? " " $7 " " $8 : "") }' >"$work/list"
for want in usr/lib/qprepare/qprepare usr/lib/qprepare/qprepare.ini \
            "usr/bin/qprepare -> ../lib/qprepare/qprepare"; do
  expect_line "$work/list" "$want"
done
dpkg-deb -I "$deb" conffiles >"$work/conffiles"
expect_line "$work/conffiles" "/usr/lib/qprepare/qprepare.ini"

if [ "$(id -u)" -ne 0 ]; then
  echo "deb: $(basename "$deb") built and checked; installing it needs root: skipped"
  exit 77
fi
# One package test at a time on this machine; never touch a qprepare that
# someone else installed.
exec 9>/tmp/qprepare-package-test.lock
flock -w 600 9 || fail "another package test holds the lock"
if dpkg-query -W -f='${Status}' qprepare 2>/dev/null | grep -q installed ||
   [ -e /usr/bin/qprepare ] || [ -e /usr/lib/qprepare ]; then
  echo "deb: a qprepare is installed on this machine already; not touching it: skipped"
  exit 77
fi
# dpkg waits for no one: retry while another installation holds its lock.
for try in $(seq 240); do
  if dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then installed=1; break; fi
  grep -q 'lock' "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
  sleep 2
done
[ "$installed" = 1 ] || fail "dpkg lock busy for eight minutes"

cd "$work"
qprepare --version >out
expect_line out "Quorvane Prepare $version (POSIX build)"
qprepare --help >out
expect_line out "Parameter -t, if used, sets the conversion target (default: EPUB)"
# One conversion through the installed program and its INI.
printf '\n[fake]\nConverter=%s\n' "$fakeconv" >>/usr/lib/qprepare/qprepare.ini
printf '<meta name="fake:--title" content="Packaged">\n' >page.htm
FAKECONV_RECORD=$work/record qprepare -t fake -o out page.htm >out 2>err
expect_line record "ARG --title=Packaged"
expect_line record "ARG --output=out/page.fake"
grep -q "^EXEC: $fakeconv --title=Packaged " out || fail "no EXEC line: $(cat out)"
expect_line err "1 converted, 0 failed"

dpkg -P qprepare >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -P failed"; }
installed=0
[ ! -e /usr/bin/qprepare ] && [ ! -e /usr/lib/qprepare ] || fail "files left after dpkg -P"
echo "deb: $(basename "$deb") installed, run and purged"
