#!/usr/bin/env bash
# A run killed between the two renames of a save leaves no card file: the old card under its
# spare name, another under a temporary name. The next run puts the old card back before it
# sweeps anything: it reads back as before, nothing is left beside it, and a creation goes on.
# kill_in_save.exe plays the killed run.
# Usage: killed_save.sh ZENDORCFG_EXE KILL_IN_SAVE_EXE SOURCE_DIR
set -uo pipefail

zendorcfg=$1
killer=$2
source=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zendor-killed-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
cp "$source/examples/zendor.ini" .

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
run() {
    wine "$zendorcfg" "$@" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

run -d sim:card.json -c zendor.ini >created.txt || fail "the creation"
run -d sim:card.json -r zendor.ini >before.txt || fail "the first reading"

wine "$killer" card.json | tr -d '\r' >killed.txt
status=${PIPESTATUS[0]}
[ "$status" = 9 ] || { cat killed.txt; fail "kill_in_save ended $status, not killed"; }
[ -e card.json ] && fail "the card file is still there: the kill was not in the window"
ls -A | grep -q '~$\|_$' || { ls -A; fail "no spare name holds the old card"; }

run -d sim:card.json -r zendor.ini >after.txt ||
    { cat after.txt; fail "the reading after the kill"; }
diff before.txt after.txt || fail "the card reads back differently"
leftovers=$(ls -A | grep '^\.')
[ -z "$leftovers" ] || fail "copies left beside the card: $leftovers"
run -d sim:card.json -c zendor.ini >again.txt || { cat again.txt; fail "a creation after it"; }

[ "$failures" -eq 0 ] && echo "a save killed between its renames loses nothing"
[ "$failures" -eq 0 ]
