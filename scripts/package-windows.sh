#!/usr/bin/env bash
# Builds the Windows package: build-win/zendorcfg-<version>-windows-x64.zip holding
# zendorcfg.exe, its README for Windows users, the examples and the manual as text, with Windows
# line ends.
# Refuses a zendorcfg.exe that needs any DLL other than Windows' own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/presets.sh"
build=$(preset_dir windows)
"$root/scripts/build-windows.sh"

exe="$build/src/app/zendorcfg.exe"
# Windows' own DLLs (compared in lower case); the C runtime is msvcrt.dll, part of Windows.
system_dlls="kernel32.dll msvcrt.dll bcrypt.dll winscard.dll advapi32.dll user32.dll"
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
  case " $system_dlls " in
    *" $dll "*) ;;
    *) echo "zendorcfg.exe imports $dll, which Windows does not provide"; exit 1 ;;
  esac
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="zendorcfg-$version-windows-x64"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage/examples"
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

# Without the debug information, which is most of the build's file.
x86_64-w64-mingw32-strip -o "$stage/zendorcfg.exe" "$exe"
# The README for whoever unpacks the zip; README.md is for the developers of the tool.
crlf "$root/docs/windows-readme.txt" "$stage/README.txt"
for example in "$root"/examples/*.ini; do
  crlf "$example" "$stage/examples/$(basename "$example")"
done
# The manual as plain text: no escape sequences, no overstriking.
LC_ALL=C.UTF-8 groff -man -Tascii -P-cbou -rwindows=1 "$root/man/zendorcfg.1" >"$build/package/zendorcfg.txt"
crlf "$build/package/zendorcfg.txt" "$stage/zendorcfg.txt"
rm "$build/package/zendorcfg.txt"

# The same sources give the same zip: fixed times, no extra attributes, names in order.
stamp=$(git -C "$root" log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000)
find "$stage" -exec touch -t "$stamp" {} +
zip_file="$build/$name.zip"
rm -f "$zip_file"
(cd "$build/package" && find "$name" -type f | LC_ALL=C sort | zip -X -q -@ "$zip_file")
echo "$zip_file: $(stat -c %s "$zip_file") bytes"
