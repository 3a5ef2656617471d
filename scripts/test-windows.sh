#!/usr/bin/env bash
# Builds the Windows program (scripts/build-windows.sh) and runs its tests under Wine through
# CTest, in a Wine prefix of the build folder's own.
# Usage: scripts/test-windows.sh [extra ctest options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
"$root/scripts/build-windows.sh"

# The Wine settings of the test preset "windows" (a prefix of the build folder's own, no desktop
# integration or Mono/Gecko prompts in a prefix that only runs console programs), for the set-up
# below as for the tests.
environment=$(preset_environment windows)
while IFS= read -r pair; do
  export "${pair?}"
done <<<"$environment"
# A persistent wineserver, and Wine's background services started once before the tests:
# otherwise each test waits for them, and they keep CTest's output pipes open.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wine cmd /c exit >/dev/null 2>&1
# Under a loaded machine Wine now and then fails to start a program at all (no output, 0.02 s):
# CTest's emulator (scripts/lib/wine-run.sh) runs that one failure once more and notes it; every
# other failure counts at once. The reruns are shown at the end.
reruns="$WINEPREFIX/zendor-wine-reruns.log"
rm -f "$reruns"
status=0
(cd "$root" && ctest --preset windows "$@") || status=$?
if [ -s "$reruns" ]; then
  echo "Wine failed to start a program $(wc -l <"$reruns") time(s); each was run once more:"
  cat "$reruns"
else
  echo "Wine started every program at the first try"
fi
exit "$status"
