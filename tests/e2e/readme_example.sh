#!/usr/bin/env bash
# Runs the README's examples of checking a program, as a user would type
# them: each block of lines between the README's worked-example markers,
# with build/ standing for the build folder under test, in a folder of their
# own (mktemp makes its folders there too, so nothing is left behind). A
# cross build's programs run under EMULATOR. Each block must succeed and
# print no difference on standard output, and the one that says what it
# found must say that the program held what it should.
#
#   tests/e2e/readme_example.sh README BUILD_DIR [EMULATOR]
set -euo pipefail
readme=$(realpath "$1")
build=$(realpath "$2")
emulator=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/build" "$work/tmp"
for program in keyscript keyscript-expect keyscript-check sorted_set masked_set; do
  if [ -n "$emulator" ]; then
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$emulator" "$build/$program" >"$work/build/$program"
    chmod +x "$work/build/$program"
  else
    ln -s "$build/$program" "$work/build/$program"
  fi
done
cd "$work"
export TMPDIR=$work/tmp

blocks=0
held=""
passed=""
found=""
while IFS= read -r -d '' example; do
  blocks=$((blocks + 1))
  echo "$example"
  # Standard output is judged; standard error (keyscript's progress lines) is
  # shown.
  status=0
  output=$(bash -euo pipefail -c "$example") || status=$?
  echo "$output"
  [ "$status" -eq 0 ] || { echo "FAIL: the example above ended with status $status"; exit 1; }
  case $output in
    "") ;;
    "sorted_set holds what it should") held=yes ;;
    "result=pass runs=100 seed=7 max_keys=20000 scripts=both") passed=yes ;;
    "found a bug: result=fail kind=listing "*" reduced_lines=5 "*) found=yes ;;
    *) echo "FAIL: the example above printed more than it should"; exit 1 ;;
  esac
done < <(awk '/^<!-- worked example/ { inside = 1; block = ""; next }
  /^<!-- end of worked example -->/ { inside = 0; printf "%s%c", block, 0; next }
  inside && sub(/^    /, "") { block = block $0 "\n" }' "$readme")
[ "$blocks" -ge 3 ] || { echo "FAIL: $readme has $blocks worked examples, not the three it should"; exit 1; }
[ -n "$held" ] || { echo "FAIL: no example said that sorted_set holds what it should"; exit 1; }
[ -n "$passed" ] || { echo "FAIL: no example checked sorted_set with keyscript-check"; exit 1; }
[ -n "$found" ] || { echo "FAIL: no example found masked_set's bug with keyscript-check"; exit 1; }
echo "$blocks examples ran"
