#!/usr/bin/env bash
# A card file that another program (a virus scanner, a sync client) opens each time it changes:
# held for a moment (a quarter of the wait), in every share mode, a creation still ends "OK !" and
# the card reads back the same as one made undisturbed; held past the wait, the run fails saying
# so, and the card file is still a whole card. hold_file.exe plays the other program.
# Usage: held_card_file.sh ZENDORCFG_EXE HOLD_FILE_EXE SOURCE_DIR
set -uo pipefail

zendorcfg=$1
holder=$2
source=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zendor-held-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
run() {
    wine "$zendorcfg" "$@" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}
# Makes a card in folder $1 while hold_file.exe (share mode $2) holds it $3 ms after each change;
# leaves created.txt, held.txt and the exit status in status.
create_held() {
    local folder=$1 share=$2 milliseconds=$3
    mkdir "$folder" && cp "$source/examples/zendor.ini" "$folder/" && cd "$folder" || exit 1
    wine "$holder" card.json "$share" "$milliseconds" --when-changed 60 | tr -d '\r' >held.txt &
    local watcher=$!
    local waited=0
    until [ -e card.json.watching ] || [ "$waited" -ge 600 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    [ -e card.json.watching ] || fail "$folder: hold_file did not start watching"
    local start=$SECONDS
    run -d sim:card.json -c zendor.ini >created.txt
    echo $? >status
    local took=$((SECONDS - start))
    touch card.json.stop
    wait "$watcher"
    echo "$folder: the creation took $took s, exit $(cat status); hold_file $(cat held.txt)"
    grep -q '^held [1-9]' held.txt || fail "$folder: hold_file never held the card file"
    # Temporary copies and the old card on its way out begin with a dot.
    ls -A | grep -q '^\.' && { ls -A; fail "$folder: a copy was left behind"; }
}

# The undisturbed card, to compare with.
mkdir quiet && cp "$source/examples/zendor.ini" quiet/ && cd quiet || exit 1
run -d sim:card.json -c zendor.ini >created.txt || fail "the undisturbed creation"
run -d sim:card.json -r zendor.ini >read.txt || fail "the undisturbed read"
cd "$scratch" || exit 1

for share in none r rw rwd; do
    create_held "held-$share" "$share" 500
    [ "$(cat status)" = 0 ] || fail "held-$share: exit $(cat status)"
    diff ../quiet/created.txt created.txt || fail "held-$share: the creation said something else"
    run -d sim:card.json -r zendor.ini >read.txt || fail "held-$share: the read failed"
    diff ../quiet/read.txt read.txt || fail "held-$share: the card reads back differently"
    cd "$scratch" || exit 1
done

# Held for longer than the wait: the save that meets the holder fails, and says why.
expected="Virtual card file 'card.json' cannot be saved: cannot write it: another program holds it open"
for share in none r; do
    create_held "long-$share" "$share" 6000
    [ "$(cat status)" = 1 ] || fail "long-$share: exit $(cat status), not 1"
    grep -qxF "$expected" created.txt || { cat created.txt; fail "long-$share: no line saying why"; }
    grep -q 'OK !' created.txt && fail "long-$share: says OK !"
    run -d sim:card.json -r zendor.ini >read.txt
    grep -q 'cannot be read' read.txt && { cat read.txt; fail "long-$share: the card file is broken"; }
    cd "$scratch" || exit 1
done

# The configuration (and the -o file) held by another program, as a sync client holds a file
# Notepad just saved: held for a moment, it is waited for; held past the wait, -c and -r alike
# stop with a line that names it and says why, and the card is untouched.
mkdir config && cp "$source/examples/zendor.ini" config/ && cd config || exit 1
run -d sim:card.json -c zendor.ini >created.txt || fail "config: the first creation"
cp card.json card.before
# Starts hold_file.exe on file $1 for $2 ms and returns once it holds the file.
hold() {
    rm -f "$1.holding"
    wine "$holder" "$1" none "$2" >/dev/null &
    holder_pid=$!
    local waited=0
    until [ -e "$1.holding" ] || [ "$waited" -ge 600 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    [ -e "$1.holding" ] || fail "hold_file did not hold $1"
}
hold zendor.ini 500
run -d sim:card.json -r zendor.ini >read.txt || { cat read.txt; fail "config held a moment: -r"; }
wait "$holder_pid"
grep -qx 'OK !' read.txt || fail "config held a moment: -r did not end OK !"
for job in -c -r; do
    hold zendor.ini 8000
    run -d sim:card.json "$job" zendor.ini >held.txt
    status=$?
    wait "$holder_pid"
    [ "$status" = 1 ] || fail "config held long, $job: exit $status, not 1"
    grep -qxF "Failed to read file 'zendor.ini' : another program holds it open" held.txt ||
        { cat held.txt; fail "config held long, $job: no line naming it and why"; }
    cmp -s card.json card.before || fail "config held long, $job: the card changed"
done
# The -o file held for a moment: waited for, then written.
echo old >read.ini
hold read.ini 500
run -d sim:card.json -r zendor.ini -o read.ini >exported.txt ||
    { cat exported.txt; fail "-o held a moment"; }
wait "$holder_pid"
grep -q '^\[general\]' read.ini || fail "-o held a moment: the settings were not written"
cd "$scratch" || exit 1

[ "$failures" -eq 0 ] && echo "a card file held open by another program"
[ "$failures" -eq 0 ]
