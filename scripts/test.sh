#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the suite, the Windows program's suite
# under Wine and its zip, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# and each fuzz target for a short while (ZENDOR_FUZZ_SECONDS, default 20) on a copy of its
# corpus. The builds are the presets of CMakePresets.json.
# Usage: scripts/test.sh            everything (what CI runs)
#        scripts/test.sh --quick    the Linux build and its suite only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=""
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]"; exit 2 ;;
esac
if [ -n "$quick" ]; then
  "$root/scripts/install-deps.sh" build test
else
  "$root/scripts/install-deps.sh" build test windows
fi
"$root/scripts/build.sh"
(cd "$root" && ctest --preset default)
[ -n "$quick" ] && exit 0
# After the Linux build: the Windows suite exchanges card files with its zendorcfg.
"$root/scripts/test-windows.sh"
"$root/scripts/package-windows.sh"
# One suite after the other: the end-to-end tests share the machine's one pcscd.
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" "${ZENDOR_FUZZ_SECONDS:-20}"
