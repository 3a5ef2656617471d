#!/usr/bin/env bash
# The man pages render without a warning, as groff and man -l see them, and the zendorcfg page
# explains every status of our own that the card library can report.
# Usage: man_pages_test.sh SOURCE_DIR
set -uo pipefail

source_dir=$1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for page in "$source_dir"/man/zendorcfg.1 "$source_dir"/man/zendor-vcard.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about $(basename "$page"): $warnings"
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man -l warns about $(basename "$page"): $warnings"
    fi
done

# Our own statuses, as the two interface headers name them; -1000 and below are the card's.
headers="$source_dir/src/card/marlix.h $source_dir/src/card/marlix_desfire.h"
statuses=$(cat $headers | grep -Eo '= -[0-9]+,' | grep -Eo '[0-9]+' | awk '$1 < 1000')
[ -n "$statuses" ] || fail "no status found in the interface headers"
for status in $statuses; do
    grep -qx "\.B \\\\-$status" "$source_dir/man/zendorcfg.1" ||
        fail "man/zendorcfg.1 does not explain status -$status of the interface headers"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "Man pages checked: $(echo $statuses | wc -w) statuses explained"
