#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and the sanitizers (the preset "fuzz", in
# build-fuzz/) and runs each for SECONDS (default 60) on a copy of its corpus in a scratch
# folder, so the committed corpus stays as it is. Prints the executions and the time of each target.
# An input that breaks a target is kept in out/fuzz-found/<target>/ and the script fails.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  # Every fuzz/NAME_fuzzer.cpp is a target, as fuzz/CMakeLists.txt builds them.
  for source in "$root"/fuzz/*_fuzzer.cpp; do
    name=$(basename "$source")
    targets+=("${name%_fuzzer.cpp}")
  done
fi
. "$root/scripts/lib/presets.sh"
build=$(preset_dir fuzz)

"$root/scripts/install-deps.sh" build fuzz
ZENDOR_TARGETS="${targets[*]/#/fuzz_}" build_preset fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
printf '%-16s %-7s %12s %8s\n' target result execs seconds
for target in "${targets[@]}"; do
  cp -r "$root/fuzz/corpus/$target" "$scratch/$target"
  mkdir -p "$scratch/$target.found"
  log="$scratch/$target.log"
  started=$(date +%s)
  result=ok
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      -artifact_prefix="$scratch/$target.found/" "$scratch/$target" >"$log" 2>&1; then
    result=FAILED
    failed=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  printf '%-16s %-7s %12s %8s\n' "$target" "$result" "${execs:-?}" "$(($(date +%s) - started))"
  if [ "$result" = FAILED ]; then
    mkdir -p "$root/out/fuzz-found/$target"
    cp "$scratch/$target.found/"* "$root/out/fuzz-found/$target/" 2>/dev/null || true
    grep -E 'fuzz invariant|ERROR|SUMMARY|^    #' "$log" | head -30
    echo "the input is in out/fuzz-found/$target/; replay it with $build/fuzz/fuzz_$target FILE"
  fi
done
exit $failed
