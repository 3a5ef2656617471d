#!/usr/bin/env bash
# Cross-builds zendorcfg.exe and its tests with MinGW-w64 in build-win/ (configured once), without
# debug information, which is of no use under Wine and slows the build; -O2 as on Linux.
# Usage: scripts/build-windows.sh [extra cmake -D options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZENDOR_WIN_BUILD_DIR:-$root/build-win}"
"$root/scripts/install-deps.sh" build windows
if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DZENDOR_LINUX_ZENDORCFG="${ZENDOR_BUILD_DIR:-$root/build}/src/app/zendorcfg" "$@" >/dev/null
fi
# Quiet when it works; the whole build log when it does not.
ninja -C "$build" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
