#!/usr/bin/env bash
# Runs the README's worked example of checking a program, as a user would
# type it: the lines between its markers, with build/ standing for the build
# folder under test, in a folder of their own. A cross build's programs run
# under EMULATOR.
#
#   tests/e2e/readme_example.sh README BUILD_DIR [EMULATOR]
set -euo pipefail
readme=$(realpath "$1")
build=$(realpath "$2")
emulator=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
example=$(sed -n '/<!-- worked example/,/<!-- end of worked example -->/p' "$readme" | grep '^    ' | sed 's/^    //')
[ -n "$example" ] || { echo "no worked example in $readme"; exit 1; }
mkdir "$work/build"
for program in keyscript keyscript-expect sorted_set; do
  if [ -n "$emulator" ]; then
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$emulator" "$build/$program" >"$work/build/$program"
    chmod +x "$work/build/$program"
  else
    ln -s "$build/$program" "$work/build/$program"
  fi
done
cd "$work"
echo "$example"
output=$(bash -euo pipefail -c "$example" 2>&1)
echo "$output"
[ "$(tail -n 1 <<<"$output")" = "sorted_set holds what it should" ]
