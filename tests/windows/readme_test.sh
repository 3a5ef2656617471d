#!/usr/bin/env bash
# The README of the Windows zip, and the manual beside it, speak to a Windows user: no word of
# the Linux tools. Every zendorcfg command the README shows is taken by zendorcfg.exe, run in
# order by Wine's cmd in a folder laid out as the zip unpacks. Commands on a virtual card must
# succeed; those on a reader meet none here, so they need only pass the command line.
# Usage: readme_test.sh README WINDOWS_ZENDORCFG_EXE SOURCE_DIR
set -uo pipefail

readme=$1
exe=$2
source=$3

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

linux_words='apt-get|apt install|zendor-vcard|pcscd|pcsc_scan|scripts/|Debian|Linux|sudo|chmod|/dev/|flock'
if grep -nEi "$linux_words" "$readme"; then
    fail "the README names things of Linux (above)"
fi
# The manual beside it, as the zip holds it.
manual=$(LC_ALL=C.UTF-8 groff -man -Tascii -P-cbou -rwindows=1 "$source/man/zendorcfg.1")
if grep -nEi "$linux_words" <<<"$manual"; then
    fail "the manual of the zip names things of Linux (above)"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zendor-readme-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$exe" "$scratch/zendorcfg.exe"
cp -r "$source/examples" "$scratch/examples"
cp "$source/examples/zendor.ini" "$scratch/my.ini"
cd "$scratch" || exit 1

refusals='error in command line|incoherent parameters|missing parameter|Try .zendorcfg -h'
commands=0
# Each command as a batch file of its own, so that cmd reads its quotes and backslashes.
while IFS= read -r line; do
    commands=$((commands + 1))
    printf '@%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$line" >step.bat
    wine cmd /c step.bat >step.txt 2>/dev/null
    status=$?
    out=$(tr -d '\r' <step.txt)
    if grep -qE "$refusals" <<<"$out"; then
        fail "'$line' is refused: $out"
    elif [[ "$line" == *" sim:"* && $status -ne 0 ]]; then
        fail "'$line' exits $status: $out"
    fi
done < <(sed -n 's/\r$//; s/^  \+\(zendorcfg .*\)$/\1/p' "$readme")
[ "$commands" -ge 5 ] || fail "only $commands zendorcfg commands found in the README"
[ -s read.ini ] || fail "the README's -o made no read.ini"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "README checks passed ($commands commands)"
