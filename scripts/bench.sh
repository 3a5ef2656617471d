#!/usr/bin/env bash
# Builds and runs the benchmark: frames and bytes exchanged with the card, CPU time in process,
# and whole-process time of a creation on a blank card, a creation on a Master Card and a
# reading, on virtual cards made from examples/zendor.ini.
# Usage: scripts/bench.sh [RUNS]   (default 20 runs of each measurement)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
build=$(preset_dir default)
runs="${1:-20}"
"$root/scripts/install-deps.sh" build
ZENDOR_TARGETS="zendor_bench zendorcfg" build_preset default
"$build/bench/zendor_bench" --runs "$runs" --config "$root/examples/zendor.ini" \
  --tool "$build/src/app/zendorcfg"
# How long the largest card file the format allows takes to load (the suite bounds its memory).
"$build/bench/zendor_bench" --runs 5 --large-card
