#!/usr/bin/env bash
# Checks that every command in docs/ is run: each ```sh block lies between
# <!-- run: NAME --> and <!-- end of run -->, and each NAME is run by .ci/run
# (tests/docs/run_block.sh FILE NAME). Blocks of output are ```text.
#
#   tests/docs/check_blocks.sh     (from the top of the checkout)
set -uo pipefail
failed=0
for file in docs/*.md; do
  # The line numbers of sh blocks outside a run marker.
  loose=$(awk '/^<!-- run: [a-z0-9-]+ -->$/ { inside = 1 } /^<!-- end of run -->$/ { inside = 0 }
    /^```sh$/ && !inside { print NR }' "$file")
  for line in $loose; do
    echo "$file:$line: a block of commands that nothing runs (put it between run markers)"
    failed=1
  done
  for name in $(sed -n 's/^<!-- run: \([a-z0-9-]*\) -->$/\1/p' "$file"); do
    if grep -q -E "run_block\.sh $file $name\b" .ci/run; then
      echo "ok: $file, block '$name' is run by .ci/run"
    else
      echo "$file: block '$name' is run by nothing in .ci/run"
      failed=1
    fi
  done
done
[ "$failed" -eq 0 ]
