#!/usr/bin/env bash
# Checks the Windows zip that cpack made in a MinGW build folder: it unpacks
# to one folder holding each PROGRAM.exe, the README and the LICENSE; each
# .exe imports only DLLs that every Windows has; under wine each says its
# version, and keyscript, stopped early by its reader, says why.
#
#   tests/e2e/windows_zip.sh BUILD_DIR PROGRAM...
#
# Runs under wine with the WINEPREFIX of the environment.
set -euo pipefail
build=$1
shift
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip=$build/keyscript-$version-win64.zip
[ -f "$zip" ] || { echo "no $zip: run cpack -G ZIP in $build first"; exit 1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
cmake -E chdir "$unpacked" cmake -E tar xf "$(realpath "$zip")"
folder=$unpacked/keyscript-$version-win64
test -f "$folder/README.md"
cmp LICENSE "$folder/LICENSE"

for program in "$@"; do
  exe=$folder/$program.exe
  # Only DLLs that every Windows has: no libstdc++, libgcc or winpthread.
  imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  echo "$program.exe imports:" $imports
  if grep -v -i -E '^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$imports"; then
    echo "$program.exe needs the DLLs above, which Windows does not have"
    exit 1
  fi
  said=$(wine "$exe" --version)
  echo "$said"
  [ "$said" = "$program $version"$'\r' ]
done

# Windows has no SIGPIPE: a reader that stops early ends the run with a write
# error, which must say what happened.
early=$unpacked/early.err
wine "$folder/keyscript.exe" 1000000 2>"$early" | head -c1 >/dev/null || true
tail -n 1 "$early"
[ "$(tail -n 1 "$early")" = $'keyscript: write error: Broken pipe\r' ]
echo "the zip holds what it should"
