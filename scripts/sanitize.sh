#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# the whole test suite there (the fuzz corpora are replayed as part of it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZENDOR_ASAN_BUILD_DIR:-$root/build-asan}"
"$root/scripts/install-deps.sh" build test
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DZENDOR_SANITIZE=ON >/dev/null
fi
ninja -C "$build" >/dev/null
cd "$build"
# A sanitizer report ends the program with status 99, which no test takes for the tool's own
# failure status 1.
export ASAN_OPTIONS="${ASAN_OPTIONS:-exitcode=99}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-exitcode=99:print_stacktrace=1}"
ctest --output-on-failure --timeout 600 -j2
