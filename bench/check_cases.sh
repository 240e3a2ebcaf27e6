#!/usr/bin/env bash
# Times keyscript-check on whole cases, each a command line as a user would
# type it: a default campaign that finds a planted bug and shrinks it. One
# line of the table below is one case; a case is its name, the program under
# test (a target of the build, run from build-bench/) and keyscript-check's
# options. For each case: the wall time of the whole command, what the
# logfmt line says (the failing script's lines, the reduced script's, the
# candidates tried) and the shrink's own time from its report.
#
#   bench/check_cases.sh [PATTERN]     the cases whose name has PATTERN (default: all)
#
# The samples are built with the tests (GoogleTest must be found).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh

# name | program | options
cases=(
  "listing cut at 10000, seed 1|sample_hash_set_listing_cut_10000|--seed 1 -j 2"
  "listing cut at 10000, seed 2|sample_hash_set_listing_cut_10000|--seed 2 -j 2"
  "listing cut at 10000, seed 3|sample_hash_set_listing_cut_10000|--seed 3 -j 2"
  "listing cut at 10000, seed 4|sample_hash_set_listing_cut_10000|--seed 4 -j 2"
  "listing cut at 10000, seed 5|sample_hash_set_listing_cut_10000|--seed 5 -j 2"
  "listing cut at 10000, seed 1, persistent|sample_hash_set_listing_cut_10000|--seed 1 -j 2 --persistent"
  "listing cut at 10000, seed 2, persistent|sample_hash_set_listing_cut_10000|--seed 2 -j 2 --persistent"
  "listing cut at 10000, seed 3, persistent|sample_hash_set_listing_cut_10000|--seed 3 -j 2 --persistent"
  "listing cut at 10000, seed 4, persistent|sample_hash_set_listing_cut_10000|--seed 4 -j 2 --persistent"
  "listing cut at 10000, seed 5, persistent|sample_hash_set_listing_cut_10000|--seed 5 -j 2 --persistent"
  "listing cut at 1000, seed 1|sample_hash_set_listing_cut|--seed 1 -j 2"
  "listing cut at 1000, seed 2|sample_hash_set_listing_cut|--seed 2 -j 2"
  "listing cut at 1000, seed 3|sample_hash_set_listing_cut|--seed 3 -j 2"
  "listing cut at 1000, seed 4|sample_hash_set_listing_cut|--seed 4 -j 2"
  "listing cut at 1000, seed 5|sample_hash_set_listing_cut|--seed 5 -j 2"
)
pattern=${1:-}

programs=()
for line in "${cases[@]}"; do
  IFS='|' read -r name program _ <<<"$line"
  [[ $name == *"$pattern"* ]] && programs+=("$program")
done
[ "${#programs[@]}" -gt 0 ] || { echo "no case matches '$pattern'" >&2; exit 1; }
# Every sample is a copy of the samples' one program, under its own name:
# the target sample_programs makes them.
bench_build keyscript-check sample_programs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" "$work/out" | tail -n 1; }

printf '\n%s, %s cores\n\n' "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)"
printf '| case | command | result | lines | reduced to | candidates | shrinking (s) | in all (s) |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for line in "${cases[@]}"; do
  IFS='|' read -r name program options <<<"$line"
  [[ $name == *"$pattern"* ]] || continue
  path=$(find "$bench_dir" -name "$program" -type f -perm -u+x | head -n 1)
  # shellcheck disable=SC2086 # the options are words
  run() { "$bench_dir"/keyscript-check --no-store $options -o "$work/reduced.txt" -- "$path" >"$work/out" 2>"$work/err" || true; }
  micros=$(micros run)
  result=$(sed -n 's/^result=\([a-z]*\).*/\1/p' "$work/out" | tail -n 1)
  shrink=$(sed -n 's/^reduced .* candidates (\([0-9.]*\) s.*/\1/p' "$work/err" | tail -n 1)
  printf '| %s | keyscript-check %s -- %s | %s | %s | %s | %s | %s | %.1f |\n' "$name" "$options" "$program" \
    "$result" "$(field lines)" "$(field reduced_lines)" "$(field candidates)" "${shrink:--}" \
    "$(awk "BEGIN { print $micros / 1e6 }")"
done
