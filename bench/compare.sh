#!/usr/bin/env bash
# Times keyscript with hyperfine against its yardsticks, all into the same
# reader (cat > /dev/null): the zero-generation writer (as many bytes from a
# ready buffer, through keyscript's own output path: the pipe's true limit),
# the plain printf build of the same script, head -c of as many bytes, and
# shuf. Prints medians, means, keyscript's time as a ratio to each, peak
# memory (/usr/bin/time) and start-up cost.
#
#   bench/compare.sh [NUM_KEYS [RUNS]]     defaults: 50000000 5
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh

keys=${1:-50000000}
runs=${2:-5}
warmup=$((runs > 1 ? 1 : 0))
export KEYSCRIPT_SEED=20261208
command -v hyperfine >/dev/null || { echo "compare.sh needs hyperfine (Debian: apt-get install hyperfine)" >&2; exit 1; }
bench_build keyscript plain_keyscript ready_writer
bin=$bench_dir/keyscript
plain=$bench_dir/bench/plain_keyscript
ready=$bench_dir/bench/ready_writer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
# Peak memory (KiB) of "$@", whose standard output goes to the command in $sink.
declare -A peaks
peak_of() {
  local name=$1 sink=$2
  shift 2
  /usr/bin/time -f %M -o "$work/peak" "$@" 2>/dev/null | eval "$sink"
  peaks[$name]=$(cat "$work/peak")
}

read -r lines bytes < <($bin "$keys" 2>/dev/null | wc -lc)
# The plain yardstick must write the very same bytes; these runs also give
# each program's peak memory.
peak_of keyscript 'sha256sum > "$work/fast_sum"' $bin "$keys"
peak_of plain 'sha256sum > "$work/plain_sum"' $plain "$keys"
cmp -s "$work/fast_sum" "$work/plain_sum" || { echo "plain and fast scripts differ" >&2; exit 1; }
peak_of ready 'cat > /dev/null' $ready "$bytes"
peak_of head 'cat > /dev/null' head -c "$bytes" /dev/zero

into_cat="2>/dev/null | cat > /dev/null"
hyperfine --style basic --warmup "$warmup" --runs "$runs" --export-csv "$work/pipe.csv" \
  -n keyscript "$bin $keys $into_cat" \
  -n ready "$ready $bytes $into_cat" \
  -n plain "$plain $keys $into_cat" \
  -n head "head -c $bytes /dev/zero $into_cat" >&2
# shuf is only for context, and slow: one run, measured for memory as well.
hyperfine --style basic --runs 1 --export-csv "$work/shuf.csv" \
  -n shuf "/usr/bin/time -f %M -o $work/peak shuf -r -n $lines -i 0-32767 | cat > /dev/null" >&2
peaks[shuf]=$(cat "$work/peak")

# Start-up: a 10-key run against an empty C++ program, without a shell.
echo 'int main() {}' > "$work/empty.cc"
g++ -O2 "$work/empty.cc" -o "$work/empty"
hyperfine --style basic -N --warmup 10 --runs 200 --export-csv "$work/start.csv" \
  -n ten "$bin 10" -n empty "$work/empty" >&2

# hyperfine's CSV: command,mean,stddev,median,user,system,min,max (seconds).
declare -A means sigmas medians
while IFS=, read -r name mean stddev median _; do
  means[$name]=$mean sigmas[$name]=$stddev medians[$name]=$median
done < <(tail -q -n +2 "$work/pipe.csv" "$work/shuf.csv" "$work/start.csv")

printf '\n%s keys: %s lines, %s bytes, seed %s, into cat > /dev/null\n' "$keys" "$lines" "$bytes" "$KEYSCRIPT_SEED"
printf '%s, hyperfine %s runs after %s warm-up (shuf 1)\n\n' \
  "$(lscpu | sed -n 's/^Model name: *//p') $(nproc) cores" "$runs" "$warmup"
printf '| command | median (s) | mean ± σ (s) | keyscript / this | peak memory (KiB) |\n|---|---|---|---|---|\n'
row() {
  printf '| %s | %.3f | %.3f ± %.3f | %.3f | %s |\n' "$1" "${medians[$2]}" "${means[$2]}" "${sigmas[$2]}" \
    "$(calc "${medians[keyscript]} / ${medians[$2]}")" "${peaks[$2]}"
}
row "keyscript $keys" keyscript
row "zero-generation writer, $bytes bytes" ready
row "plain printf build" plain
row "head -c $bytes /dev/zero" head
row "shuf -r -n $lines -i 0-32767" shuf
small_peak=$(/usr/bin/time -f %M $bin 1000 2>&1 >/dev/null | tail -1)
printf '\nkeyscript 1000: peak memory %s KiB (at %s keys: %s KiB)\n' "$small_peak" "$keys" "${peaks[keyscript]}"
printf 'start-up: keyscript 10 takes %.3f ms a run, an empty C++ program %.3f ms (difference %.3f ms)\n' \
  "$(calc "${means[ten]} * 1000")" "$(calc "${means[empty]} * 1000")" "$(calc "(${means[ten]} - ${means[empty]}) * 1000")"
