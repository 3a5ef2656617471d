# Helpers for the scripts: the four builds are described once, in CMakePresets.json.
# Sourced with $root set to the source folder.

# The build folder of a configure preset (its binaryDir, under the source folder).
preset_dir() {
  local dir
  dir=$(sed -n "/\"name\": \"$1\"/,/binaryDir/ s|.*\"binaryDir\": \"\${sourceDir}/\([^\"]*\)\".*|\1|p" \
    "$root/CMakePresets.json" | head -n 1)
  if [ -z "$dir" ]; then
    echo "CMakePresets.json has no configure preset '$1'"
    return 1
  fi
  echo "$root/$dir"
}

# Configures a preset once (again when cmake options are given), then builds it; the build's
# output is shown only when it fails.
build_preset() {
  local preset=$1 dir
  shift
  dir=$(preset_dir "$preset")
  if [ ! -f "$dir/build.ninja" ] || [ $# -gt 0 ]; then
    (cd "$root" && cmake --preset "$preset" "$@" >/dev/null)
  fi
  mkdir -p "$dir"
  (cd "$root" && cmake --build --preset "$preset" ${ZENDOR_TARGETS:+--target $ZENDOR_TARGETS}) \
    >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; return 1; }
}

# The environment of a test preset, one NAME=VALUE a line, ${sourceDir} filled in: scripts that
# set up what CTest's tests then run in take it from there instead of writing it again.
preset_environment() {
  local pairs
  pairs=$(sed -n '/"testPresets"/,$p' "$root/CMakePresets.json" |
    sed -n "/\"name\": \"$1\"/,/^    }/p" | sed -n '/"environment"/,/^ *},\{0,1\}$/p' |
    sed -n 's|^ *"\([A-Z_]*\)": "\([^"]*\)",\{0,1\}$|\1=\2|p' | sed "s|\${sourceDir}|$root|g")
  if [ -z "$pairs" ]; then
    echo "CMakePresets.json has no environment for the test preset '$1'"
    return 1
  fi
  echo "$pairs"
}
