#!/usr/bin/env bash
# CTest's emulator for the Windows tests: runs the program under Wine. Under a loaded machine
# Wine now and then fails to start a program at all: it exits at once, non-zero, having printed
# nothing. That failure alone is run once more, said on standard error and counted in
# $WINEPREFIX/zendor-wine-reruns.log; any other failure, however quick, counts as it is.
set -uo pipefail

start_failure_seconds=0.5
out=$(mktemp "${TMPDIR:-/tmp}/zendor-wine-out-XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/zendor-wine-err-XXXXXX")
trap 'rm -f "$out" "$err"' EXIT

for attempt in 1 2; do
  started=$EPOCHREALTIME
  wine "$@" >"$out" 2>"$err"
  status=$?
  seconds=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
  if [ "$attempt" -eq 2 ] || [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] ||
    awk -v s="$seconds" -v limit="$start_failure_seconds" 'BEGIN { exit !(s >= limit) }'; then
    break
  fi
  line="wine-run: Wine did not start $1 (status $status, no output, $seconds s): run again"
  echo "$line" >&2
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && echo "$line" >>"$WINEPREFIX/zendor-wine-reruns.log"
done
cat "$out"
cat "$err" >&2
exit "$status"
