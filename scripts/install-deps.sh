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
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
