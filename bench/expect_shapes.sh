#!/usr/bin/env bash
# Times keyscript-expect on scripts of other shapes than keyscript's, each
# against keyscript's own script in the same run:
#
#   keyscript-expect SHAPE_FILE > /dev/null
#   keyscript-expect KEYSCRIPT_FILE > /dev/null     (KEYSCRIPT_SEED=20261208 keyscript 50*SCALE)
#
# Every file is made first (bench/shape_script.cc, on tmpfs where there is
# one); then each round runs keyscript's script and every shape once, RUNS
# rounds, so that a shared machine's noise falls on all alike. ns/line is of
# the median wall time; "x keyscript's" is that over keyscript's script's
# ns/line (for CR LF it is the same script with LF ends). Then the peak memory
# of each (/usr/bin/time), and a markdown table with the figure each shape is
# held to.
#
#   bench/expect_shapes.sh [SCALE [RUNS]]     defaults: 1000000 5
#
# SCALE sets the sizes: keyscript's script has 50*SCALE keys, the checkpoint
# runs 10*SCALE lines, the 5-line cycle 5*SCALE rounds, the short blocks
# about 10*SCALE lines, the deletions 30*SCALE lines.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh

scale=${1:-1000000}
runs=${2:-5}
bench_build keyscript keyscript-expect shape_script
keyscript=$bench_dir/keyscript
expect=$bench_dir/keyscript-expect
shape=$bench_dir/bench/shape_script
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

# name | file | keyscript-expect's options | what it is held to
rows=(
  "keyscript's script|lf||—"
  "$((10 * scale)) \`s\` lines, nothing held|empty||ns ≤ 50"
  "$((10 * scale)) \`s\` lines, all 32768 keys held|full||ns ≤ 50"
  "$((10 * scale)) \`s\` lines, nothing held, --keys|empty|--keys|report only"
  "$((scale / 100)) \`s\` lines, all 32768 keys held, --keys|fullfew|--keys|report only"
  "(\`i\`, \`123\`, \`-1\`, \`d 123\`, \`s\`) x $((5 * scale))|cycle||ns ≤ 20"
  "keyscript's script with CR LF|crlf||x ≤ 1.5"
  "blocks of 8191 to 8300 lines|blocks||x ≤ 3"
  "$((30 * scale)) random \`d KEY\` lines|deletions||x ≤ 3"
)

KEYSCRIPT_SEED=20261208 $keyscript $((50 * scale)) 2>/dev/null >"$work/lf"
$shape crlf <"$work/lf" >"$work/crlf"
$shape empty-checkpoints $((10 * scale)) >"$work/empty"
$shape full-checkpoints $((10 * scale)) >"$work/full"
$shape full-checkpoints $((scale / 100)) >"$work/fullfew"
$shape cycle $((5 * scale)) >"$work/cycle"
$shape blocks $((10 * scale)) >"$work/blocks"
$shape deletions $((30 * scale)) >"$work/deletions"

replay() {  # file, options
  # shellcheck disable=SC2086 # the options are words
  $expect $2 "$work/$1" >/dev/null
}

for row in "${rows[@]}"; do
  IFS='|' read -r _ file options _ <<<"$row"
  replay "$file" "$options"  # warm-up, and the file into the page cache
done
for ((run = 0; run < runs; run++)); do
  for row in "${rows[@]}"; do
    IFS='|' read -r _ file options _ <<<"$row"
    micros replay "$file" "$options" >>"$work/$file$options.times"
  done
done

ns_per_line() {  # file, options
  awk -v us="$(median <"$work/$1$2.times")" -v lines="$(wc -l <"$work/$1")" 'BEGIN { printf "%.1f", us * 1000 / lines }'
}
reference=$(ns_per_line lf "")

printf '\n%s runs of each, in turn; SCALE %s; %s, %s cores\n\n' "$runs" "$scale" \
  "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)"
printf '| shape | lines | ns/line | x keyscript'"'"'s script | peak KiB | target |\n|---|---|---|---|---|---|\n'
for row in "${rows[@]}"; do
  IFS='|' read -r name file options target <<<"$row"
  ns=$(ns_per_line "$file" "$options")
  # shellcheck disable=SC2086 # the options are words
  peak=$(/usr/bin/time -f %M $expect $options "$work/$file" 2>&1 >/dev/null | tail -1)
  times=$(awk -v ns="$ns" -v ref="$reference" 'BEGIN { printf "%.2f", ns / ref }')
  verdict=$(awk -v ns="$ns" -v times="$times" -v target="$target" 'BEGIN {
    split(target, t, " ")
    if (t[1] == "ns") { print (ns <= t[3] ? "holds" : "does not hold") }
    else if (t[1] == "x") { print (times <= t[3] ? "holds" : "does not hold") }
  }')
  printf '| %s | %s | %s | %s | %s | %s%s |\n' "$name" "$(wc -l <"$work/$file")" "$ns" "$times" "$peak" \
    "$target" "${verdict:+: $verdict}"
done
