#!/usr/bin/env bash
# Installs what is missing, builds, then creates a Master Card on a virtual card from
# examples/zendor.ini and reads it back.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
"$root/scripts/install-deps.sh" build
"$root/scripts/build.sh"
zendorcfg="$(preset_dir default)/src/app/zendorcfg"
mkdir -p "$root/out"
card="$root/out/demo-card.json"
rm -f "$card"

echo "\$ zendorcfg -d sim:out/demo-card.json -c examples/zendor.ini"
"$zendorcfg" -d "sim:$card" -c "$root/examples/zendor.ini"
echo
echo "\$ zendorcfg -d sim:out/demo-card.json -r examples/zendor.ini"
"$zendorcfg" -d "sim:$card" -r "$root/examples/zendor.ini"
