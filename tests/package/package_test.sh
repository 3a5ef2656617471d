#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a scratch folder and checks
# that what a user installs works: control fields, files, and both programs run from there.
# Usage: package_test.sh BUILD_DIR
set -uo pipefail

build=$1
for tool in dpkg-deb cpack; do
    command -v "$tool" >/dev/null || { echo "$tool not installed: skipped"; exit 77; }
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zendor-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Output into the scratch folder keeps the build folder free of packages and staging trees.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
    >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$scratch"/out/zendorcfg_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: expected one zendorcfg_*.deb, found: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}
echo "Built $(basename "$deb")"

field() {
    dpkg-deb -f "$deb" "$1"
}

[ "$(field Package)" = zendorcfg ] || fail "Package is '$(field Package)'"
[ -n "$(field Version)" ] || fail "no Version"
depends=$(field Depends)
echo "Depends: $depends"
# Each runtime library package must be named as a whole item of the list.
for pkg in libc6 libstdc++6 libssl3 libpcsclite1; do
    echo ", $depends," | grep -Eq ", ${pkg//+/\\+}( \([^)]*\))?," || fail "Depends lacks $pkg"
done
recommends=$(field Recommends)
echo ", $recommends," | grep -q ", pcscd," || fail "Recommends lacks pcscd: '$recommends'"

root="$scratch/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
for path in usr/bin/zendorcfg usr/bin/zendor-vcard usr/share/man/man1/zendorcfg.1.gz \
    usr/share/man/man1/zendor-vcard.1.gz usr/share/doc/zendorcfg/examples/zendor.ini; do
    [ -f "$root/$path" ] || fail "missing /$path"
done
# Nothing may point back into the build folder once installed.
for program in zendorcfg zendor-vcard; do
    if readelf -d "$root/usr/bin/$program" | grep -Eq 'RPATH|RUNPATH'; then
        fail "$program keeps a run path into the build"
    fi
done
for page in zendorcfg zendor-vcard; do
    warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
done

zendorcfg="$root/usr/bin/zendorcfg"
vcard="$root/usr/bin/zendor-vcard"
examples="$root/usr/share/doc/zendorcfg/examples"
cd "$scratch" || exit 1

# expect WHAT EXPECTED_STATUS LAST_LINE COMMAND...: runs it and checks its exit status, its last
# line of output (unless LAST_LINE is '*') and that it wrote nothing to standard error; its
# output is left in $out.
out=""
expect() {
    local what=$1 status=$2 last=$3
    shift 3
    local code
    out=$("$@" 2>"$scratch/stderr")
    code=$?
    local ending
    ending=$(tail -n 1 <<<"$out")
    if [ "$code" -ne "$status" ] || { [ "$last" != '*' ] && [ "$ending" != "$last" ]; } ||
        [ -s "$scratch/stderr" ]; then
        fail "$what: exit $code, last line '$ending', stderr '$(cat "$scratch/stderr")'"
    fi
}

expect "zendorcfg -V" 0 "Master Card tool for Quarnel ZENDOR readers" "$zendorcfg" -V
[ "$(head -n 1 <<<"$out")" = "zendorcfg 1.00" ] || fail "zendorcfg -V: '$out'"

expect "zendor-vcard --help" 0 '*' "$vcard" --help
grep -q "zendor-vcard new CARD.json" <<<"$out" || fail "zendor-vcard --help: '$out'"

expect "zendor-vcard new" 0 '*' "$vcard" new card.json --uid 04A1B2C3D4E5F6
grep -q '"uid": *"04A1B2C3D4E5F6"' card.json || fail "zendor-vcard new wrote no card of that UID"

expect "zendorcfg -c" 0 "OK !" "$zendorcfg" -d sim:card.json -c "$examples/zendor.ini"
grep -qx "Application 5A4D43 not found in the card" <<<"$out" ||
    fail "zendorcfg -c did not start from the blank card: '$out'"
expect "zendorcfg -r" 0 "OK !" "$zendorcfg" -d sim:card.json -r "$examples/zendor.ini"
read=$out
grep -qx "pin=04D2 ; Pin code" <<<"$read" || fail "zendorcfg -r shows no pin=04D2: '$read'"

# The exported settings, with the example's [master], go back onto the card and read back the
# same.
expect "zendorcfg -r -o" 0 "OK !" \
    "$zendorcfg" -d sim:card.json -r "$examples/zendor.ini" -o exported.ini
{ cat exported.ini; sed -n '/^\[master\]/,$p' "$examples/zendor.ini"; } >again.ini
expect "zendorcfg -c exported" 0 "OK !" "$zendorcfg" -d sim:card.json -c again.ini
expect "zendorcfg -r again" 0 "OK !" "$zendorcfg" -d sim:card.json -r again.ini
[ "$read" = "$out" ] || fail "settings differ after a round trip through -o"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Package checks passed"
