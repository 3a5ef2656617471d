#!/usr/bin/env bash
# Fails when two units of src/ include each other, directly or through others. A header and the
# .cpp of the same name are one unit; an include is taken from src/, the including file's own
# folder or its top folder's internal/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/src"

unit() { sed 's/\.\(h\|cpp\)$//' <<<"$1"; }

edges=$(
  find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort | while read -r file; do
    from=$(unit "$file")
    sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file" | while read -r included; do
      [ -e "$included" ] || included="$(dirname "$file")/$included"
      # A folder's internal headers are found through its include path.
      [ -e "$included" ] || included="${file%%/*}/internal/$(basename "$included")"
      [ -e "$included" ] || continue
      to=$(unit "$included")
      [ "$from" = "$to" ] || echo "$to $from"
    done
  done
)
# tsort names each loop it finds on standard error, and then fails.
if ! loops=$(tsort <<<"$edges" 2>&1 >/dev/null) || [ -n "$loops" ]; then
  echo "include loops between units of src/:"
  grep -v 'input contains a loop' <<<"$loops" | sed 's/^tsort: /  /'
  exit 1
fi
echo "no include loops in src/"
