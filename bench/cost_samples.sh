#!/usr/bin/env bash
# keyscript-check --cost on the samples made for it, each checked with the
# seeds 1 to SEEDS (default 3): how many checks failed, the growth that came
# closest to the rule's allowance (a pass) or the smallest size at which the
# failure showed, and the wall time of one check. The degraded samples must
# fail every check, the logarithmic ones pass every one.
#
#   bench/cost_samples.sh [SEEDS [PATTERN]]     the samples whose name has PATTERN (default: all)
#
# The samples are built with the tests (GoogleTest must be found); the
# Python ones run under KEYSCRIPT_PYTHON (default: python3).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh
seeds=${1:-3}
pattern=${2:-}
python=${KEYSCRIPT_PYTHON:-python3}

# name | command, from the build folder
cases=(
  "AVL tree|tests/check/samples/sample_avl_tree"
  "treap|tests/check/samples/sample_treap"
  "skip list|tests/check/samples/sample_skip_list"
  "hash table|tests/check/samples/sample_hash_table"
  "std::set|sorted_set"
  "Python set|$python tests/check/samples/sample_set.py"
  "Python hash table|$python tests/check/samples/sample_hash_table.py"
  "AVL tree, heights never updated|tests/check/samples/sample_avl_tree_no_height_update"
  "AVL tree, balance factor always 0|tests/check/samples/sample_avl_tree_balance_always_zero"
  "treap, a rotation skipped|tests/check/samples/sample_treap_skips_rotation"
  "skip list, every level 1|tests/check/samples/sample_skip_list_levels_all_one"
  "hash table, rebuilt at the same size|tests/check/samples/sample_hash_table_rebuild_same_size"
  "Python hash table, rebuilt at the same size|$python tests/check/samples/sample_hash_table.py rebuild_same_size"
  "plain search tree|tests/check/samples/sample_tree"
)

selected=()
for line in "${cases[@]}"; do
  [[ ${line%%|*} == *"$pattern"* ]] && selected+=("$line")
done
[ "${#selected[@]}" -gt 0 ] || { echo "no sample matches '$pattern'" >&2; exit 1; }
cases=("${selected[@]}")
# Every sample is a copy of the samples' one program, under its own name:
# the target sample_programs makes them.
bench_build keyscript-check sorted_set sample_programs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" "$work/out" | tail -n 1; }

printf '\n%s, %s cores, seeds 1 to %s\n\n' "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)" "$seeds"
printf '| sample | failed | closest pass (growth / allowed) | smallest failing size | one check (s) |\n'
printf '|---|---|---|---|---|\n'
for line in "${cases[@]}"; do
  IFS='|' read -r name command <<<"$line"
  read -r -a words <<<"$command"
  [[ ${words[0]} == "$python" ]] || words[0]="$bench_dir/${words[0]}"
  [[ ${words[0]} != "$python" ]] || words[1]="$bench_dir/${words[1]}"
  failed=0 closest=0 smallest= total=0
  for seed in $(seq 1 "$seeds"); do
    run() { "$bench_dir/keyscript-check" --no-store --cost --seed "$seed" -- "${words[@]}" >"$work/out" 2>/dev/null || true; }
    total=$((total + $(micros run)))
    if grep -q '^result=fail' "$work/out"; then
      failed=$((failed + 1))
      keys=$(field keys)
      [[ -n $smallest && $smallest -le $keys ]] || smallest=$keys
    else
      closest=$(awk -v c="$closest" -v g="$(field growth)" -v a="$(field allowed)" 'BEGIN { r = g / a; print (r > c ? r : c) }')
    fi
  done
  printf '| %s | %s of %s | %s | %s | %.1f |\n' "$name" "$failed" "$seeds" \
    "$([ "$failed" = "$seeds" ] && echo - || printf '%.2f' "$closest")" "${smallest:--}" \
    "$(awk "BEGIN { print $total / $seeds / 1e6 }")"
done
