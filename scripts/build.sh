#!/usr/bin/env bash
# Configures (once) and builds the Linux preset "default" in build/.
# Usage: scripts/build.sh [extra cmake -D options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
build_preset default "$@"
