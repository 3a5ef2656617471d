#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Usage: scripts/install-deps.sh [build|test|fuzz|windows]...   (default: build)
set -euo pipefail

build_pkgs=(g++ cmake ninja-build pkg-config libssl-dev libpcsclite-dev nlohmann-json3-dev libgtest-dev libgmock-dev)
test_pkgs=(pcscd vsmartcard-vpcd python3 clang-format groff-base man-db dpkg-dev)
fuzz_pkgs=(clang libclang-rt-14-dev)
# zendorcfg.exe: the MinGW-w64 cross compiler, Wine to run its tests, zip and groff for its package.
windows_pkgs=(g++-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 zip groff-base)

wanted=("${build_pkgs[@]}")
for set in "$@"; do
  case "$set" in
    build) ;;
    test) wanted+=("${test_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
    fuzz) wanted+=("${fuzz_pkgs[@]}") ;;
    windows) wanted+=("${windows_pkgs[@]}") ;;
    *) echo "unknown package set '$set'"; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# A machine installing its updates holds the dpkg lock, or the package lists lock, for a while:
# wait for it (up to ZENDOR_APT_LOCK_WAIT seconds) rather than fail at once.
lock_wait="${ZENDOR_APT_LOCK_WAIT:-300}"
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout="$lock_wait" "$@"; }

# Older apt does not wait for the lists lock of an update by itself: try again, once a second,
# while another run holds it, lock_wait times at most (counted in pauses, not by the clock, so
# that its tests need not wait). Any other failure ends the script at once.
update_lists() {
  local paused=0 errors said=""
  errors=$(mktemp)
  until apt_get update -qq 2>"$errors"; do
    if ! grep -q 'Could not get lock' "$errors" || [ "$paused" -ge "$lock_wait" ]; then
      cat "$errors" >&2
      rm -f "$errors"
      return 1
    fi
    [ -n "$said" ] || echo "Waiting for another package manager run to release its lock..."
    said=1
    sleep 1
    paused=$((paused + 1))
  done
  cat "$errors" >&2
  rm -f "$errors"
}

echo "Installing: ${missing[*]}"
update_lists
apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
