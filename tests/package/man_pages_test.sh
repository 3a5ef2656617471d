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

statuses=$(grep -Eo '= -[0-9]+,' "$source_dir/src/marlix/status.h" | grep -Eo '[0-9]+')
[ -n "$statuses" ] || fail "no status found in src/marlix/status.h"
for status in $statuses; do
    grep -qx "\.B \\\\-$status" "$source_dir/man/zendorcfg.1" ||
        fail "man/zendorcfg.1 does not explain status -$status of src/marlix/status.h"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "Man pages checked: $(echo $statuses | wc -w) statuses explained"
