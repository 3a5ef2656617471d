#!/usr/bin/env bash
# Cross-builds zendorcfg.exe and its tests with MinGW-w64: the preset "windows", in build-win/
# (Release at -O2, without debug information, which is of no use under Wine and slows the build).
# Usage: scripts/build-windows.sh [extra cmake -D options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
"$root/scripts/install-deps.sh" build windows
build_preset windows "$@"
