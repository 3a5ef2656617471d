#!/usr/bin/env bash
# Fails when a C++ source of the project is not formatted as .clang-format says.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v clang-format >/dev/null || { echo "clang-format not installed: skipped"; exit 77; }
cd "$root"
find src tests fuzz bench -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror
