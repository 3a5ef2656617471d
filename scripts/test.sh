#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build test
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure --timeout 300 -j2
