#!/usr/bin/env bash
# Times keyscript-check on one large script against the plain pipeline, with
# a fast correct program under test (bench/fast_set.cc):
#
#   keyscript-check --num-keys NUM_KEYS -- fast_set
#   keyscript NUM_KEYS | fast_set > /dev/null
#
# run in turn, RUNS times each; the ratio is of their medians. Then the peak
# memory of keyscript-check, with the program writing as it goes and keeping
# all its output to the end.
#
#   bench/check_pipeline.sh [NUM_KEYS [RUNS]]     defaults: 50000000 7
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh

keys=${1:-50000000}
runs=${2:-7}
seed=20261208
bench_build keyscript keyscript-check fast_set
keyscript=$bench_dir/keyscript
check=$bench_dir/keyscript-check
program=$bench_dir/bench/fast_set
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

plain() { KEYSCRIPT_SEED=$seed $keyscript "$keys" 2>/dev/null | $program >/dev/null; }
checked() { $check --seed "$seed" --num-keys "$keys" -- $program >/dev/null; }

plain
checked  # warm-up, and it must pass
for ((run = 0; run < runs; run++)); do
  micros plain >>"$work/plain"
  micros checked >>"$work/checked"
done
plain_median=$(median <"$work/plain")
checked_median=$(median <"$work/checked")
peak() {  # peak memory (KiB) of keyscript-check, the program given "$@"
  /usr/bin/time -f %M -o "$work/peak" $check --seed "$seed" --num-keys "$keys" -- $program "$@" >/dev/null
  cat "$work/peak"
}

printf '\n%s keys, seed %s; %s runs of each, in turn\n' "$keys" "$seed" "$runs"
printf '%s, %s cores\n\n' "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)"
printf '| command | median (s) |\n|---|---|\n'
printf '| keyscript %s \\| fast_set > /dev/null | %.3f |\n' "$keys" "$(awk "BEGIN { print $plain_median / 1e6 }")"
printf '| keyscript-check --num-keys %s -- fast_set | %.3f |\n' "$keys" "$(awk "BEGIN { print $checked_median / 1e6 }")"
printf '\nkeyscript-check / pipeline: %.2f (medians)\n\n' "$(awk "BEGIN { print $checked_median / $plain_median }")"
printf '| keyscript-check | peak memory (KiB) |\n|---|---|\n'
printf '| program writes as it goes | %s |\n' "$(peak)"
printf '| program keeps its output to the end | %s |\n' "$(peak --keep)"
