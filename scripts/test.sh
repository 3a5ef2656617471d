#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the suite, the Windows program's suite
# under Wine (build-win/) and its zip, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and each fuzz target for a short while
# (ZENDOR_FUZZ_SECONDS, default 20) on a copy of its corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build test windows
"$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure --timeout 300 -j2)
# After the Linux build: the Windows suite exchanges card files with its zendorcfg.
"$root/scripts/test-windows.sh"
"$root/scripts/package-windows.sh"
# One suite after the other: the end-to-end tests share the machine's one pcscd.
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" "${ZENDOR_FUZZ_SECONDS:-20}"
