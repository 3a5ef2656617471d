#!/usr/bin/env bash
# The man pages render without a warning, as groff and man -l see them. (What the zendorcfg page
# says of each status is checked against the status table by zendor_status_table_tests.)
# Usage: man_pages_test.sh SOURCE_DIR
set -uo pipefail

source_dir=$1
command -v groff >/dev/null || { echo "groff not installed: skipped"; exit 77; }
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

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "Man pages checked"
