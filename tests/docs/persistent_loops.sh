#!/usr/bin/env bash
# Runs the loops that docs/persistent.md shows, each a whole program under
# test, under keyscript-check with --persistent and without: both must pass,
# and with --persistent the program must go on from script to script.
#
#   tests/docs/persistent_loops.sh DOC KEYSCRIPT_CHECK CXX PYTHON
set -euo pipefail
doc=$1
check=$2
cxx=$3
python=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The code between <!-- loop: NAME --> and <!-- end of loop -->, fences dropped.
loop() {
  sed -n "/^<!-- loop: $1 -->\$/,/^<!-- end of loop -->\$/p" "$doc" | sed '1d;$d' | grep -v '^```'
}

loop cpp >"$work/set.cc"
loop python >"$work/set.py"
loop js >"$work/set.js"
[ -s "$work/set.cc" ] && [ -s "$work/set.py" ] && [ -s "$work/set.js" ] || {
  echo "$doc lacks a loop"
  exit 1
}
"$cxx" -std=c++17 -O2 -o "$work/set" "$work/set.cc"
programs=("$work/set" "$python $work/set.py")
if command -v node >/dev/null; then
  programs+=("node $work/set.js")
else
  echo "node is not installed: the JavaScript loop is not run"
fi

failed=0
for program in "${programs[@]}"; do
  for mode in "" --persistent; do
    # shellcheck disable=SC2086 # the program's words are meant to split
    out=$("$check" --no-store --seed 3 --runs 12 --max-keys 300 $mode -- $program 2>"$work/err") || true
    if [ "$out" != "result=pass runs=12 seed=3 max_keys=300 scripts=both" ] || grep -q 'did not go on' "$work/err"; then
      echo "FAILED: $program ${mode:-(a process a script)}: $out"
      cat "$work/err"
      failed=1
    else
      echo "ok: $program ${mode:-(a process a script)}"
    fi
  done
done
exit "$failed"
