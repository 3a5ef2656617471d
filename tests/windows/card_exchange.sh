#!/usr/bin/env bash
# A Master Card made by one system's zendorcfg reads back with the other's: the card file is the
# same bytes on Linux and Windows. zendorcfg.exe runs under Wine, given paths the Windows way.
# Usage: card_exchange.sh LINUX_ZENDORCFG WINDOWS_ZENDORCFG_EXE SOURCE_DIR
# Exits 77 (skipped) without a Linux build to compare with.
set -uo pipefail

linux=$1
windows=$2
source=$3
[ -x "$linux" ] || { echo "no Linux zendorcfg at '$linux'"; exit 77; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zendor-exchange-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$source/examples/zendor.ini" "$scratch/zendor.ini"
mkdir "$scratch/examples"
cp "$source/examples/zendor.ini" "$scratch/examples/zendor.ini"
cd "$scratch" || exit 1

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# Reads CARD with the program given after it, into TAG.txt (what it printed) and TAG.ini (the export);
# the export has one name for both systems, since the program prints it.
read_card() {
    local tag=$1 card=$2
    shift 2
    "$@" -d "sim:$card" -r zendor.ini -o read.ini >"$tag.txt" || fail "$tag: the read failed"
    tr -d '\r' <read.ini >"$tag.ini" && rm read.ini
    tr -d '\r' <"$tag.txt" >"$tag.lf" && mv "$tag.lf" "$tag.txt"
}

# Linux writes, Windows reads (a relative sim: path).
"$linux" -d sim:linux-card.json -c zendor.ini >created-linux.txt || fail "Linux -c"
read_card linux-by-linux linux-card.json "$linux"
read_card linux-by-windows linux-card.json wine "$windows"
diff linux-by-linux.txt linux-by-windows.txt || fail "the Linux card reads differently"
diff linux-by-linux.ini linux-by-windows.ini || fail "the Linux card exports differently"

# Windows writes, given a drive letter and backslashes, and Linux reads.
drive_path=$(winepath -w "$scratch/windows-card.json" 2>/dev/null)
wine "$windows" -d "sim:$drive_path" -c 'examples\zendor.ini' | tr -d '\r' >created-windows.txt ||
    fail "Windows -c (sim:$drive_path)"
diff created-linux.txt created-windows.txt || fail "the creations say different things"
read_card windows-by-windows windows-card.json wine "$windows"
read_card windows-by-linux windows-card.json "$linux"
diff windows-by-windows.txt windows-by-linux.txt || fail "the Windows card reads differently"
diff linux-by-linux.ini windows-by-linux.ini || fail "the two cards hold different settings"

[ "$failures" -eq 0 ] && echo "card files exchanged both ways"
[ "$failures" -eq 0 ]
