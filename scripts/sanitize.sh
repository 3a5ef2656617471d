#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (the preset "asan", in
# build-asan/) and runs the whole test suite there (the fuzz corpora are replayed as part of it).
# Usage: scripts/sanitize.sh [extra ctest options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
"$root/scripts/install-deps.sh" build test
build_preset asan
# The test preset makes a sanitizer report end the program with status 99, which no test takes
# for the tool's own failure status 1.
cd "$root"
ctest --preset asan "$@"
