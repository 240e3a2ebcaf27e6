#!/usr/bin/env bash
# Times keyscript-expect behind keyscript against cat behind keyscript:
#
#   keyscript NUM_KEYS | keyscript-expect > /dev/null
#   keyscript NUM_KEYS | cat > /dev/null
#
# The two pipelines are run in turn, RUNS times each, so that a shared
# machine's noise falls on both alike; the ratio is of their medians. Then
# the peak memory of keyscript-expect (/usr/bin/time), set and multiset, with
# and without --keys, from a pipe and from a file.
#
#   bench/expect_pipeline.sh [NUM_KEYS [RUNS]]     defaults: 50000000 15
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh

keys=${1:-50000000}
runs=${2:-15}
export KEYSCRIPT_SEED=20261208
bench_build keyscript keyscript-expect
keyscript=$bench_dir/keyscript
expect=$bench_dir/keyscript-expect
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

into_cat() { $keyscript "$keys" 2>/dev/null | cat >/dev/null; }
into_expect() { $keyscript "$keys" 2>/dev/null | $expect >/dev/null; }

into_cat
into_expect  # warm-up
for ((run = 0; run < runs; run++)); do
  micros into_cat >>"$work/cat"
  micros into_expect >>"$work/expect"
done
cat_median=$(median <"$work/cat")
expect_median=$(median <"$work/expect")

read -r lines bytes < <($keyscript "$keys" 2>/dev/null | wc -lc)
$keyscript "$keys" 2>/dev/null >"$work/script"
peak() {  # peak memory (KiB) of keyscript-expect with "$@", fed from a pipe
  $keyscript "$keys" 2>/dev/null | /usr/bin/time -f %M -o "$work/peak" $expect "$@" >/dev/null
  cat "$work/peak"
}
file_peak=$(/usr/bin/time -f %M $expect "$work/script" 2>&1 >/dev/null | tail -1)

printf '\n%s keys: %s lines, %s bytes, seed %s; %s runs of each pipeline, in turn\n' \
  "$keys" "$lines" "$bytes" "$KEYSCRIPT_SEED" "$runs"
printf '%s, %s cores\n\n' "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)"
printf '| pipeline | median (s) | fastest (s) | slowest (s) |\n|---|---|---|---|\n'
for name in cat expect; do
  printf '| keyscript %s \\| %s > /dev/null | %.3f | %.3f | %.3f |\n' "$keys" \
    "$([ $name = cat ] && echo cat || echo keyscript-expect)" \
    "$(median <"$work/$name" | awk '{ print $1 / 1e6 }')" \
    "$(sort -n "$work/$name" | head -1 | awk '{ print $1 / 1e6 }')" \
    "$(sort -n "$work/$name" | tail -1 | awk '{ print $1 / 1e6 }')"
done
printf '\nkeyscript-expect / cat: %.2f (medians)\n\n' "$(awk "BEGIN { print $expect_median / $cat_median }")"
printf '| keyscript-expect | peak memory (KiB) |\n|---|---|\n'
printf '| from a pipe | %s |\n' "$(peak)"
printf '| --multiset, from a pipe | %s |\n' "$(peak --multiset)"
printf '| --keys, from a pipe | %s |\n' "$(peak --keys)"
printf '| from a file | %s |\n' "$file_peak"
