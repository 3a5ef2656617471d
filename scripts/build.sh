#!/usr/bin/env bash
# Configures (once) and builds the project in build/ with Ninja.
# Usage: scripts/build.sh [extra cmake -D options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZENDOR_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
  cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
fi
ninja -C "$build" >/dev/null
