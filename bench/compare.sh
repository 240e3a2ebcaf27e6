#!/usr/bin/env bash
# Times keyscript against the plain printf build of the same script, the
# pipe's own limit (head -c of as many bytes) and shuf, all into the same
# reader (cat > /dev/null), and prints medians, ratios and peak memory.
#
#   bench/compare.sh [NUM_KEYS [RUNS]]     defaults: 50000000 5
set -euo pipefail
cd "$(dirname "$0")/.."

keys=${1:-50000000}
runs=${2:-5}
peer_runs=1  # shuf is only for context, and slow
export KEYSCRIPT_SEED=20261208
[ -x /usr/bin/time ] || { echo "compare.sh needs /usr/bin/time (Debian: apt-get install time)" >&2; exit 1; }

cmake -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target keyscript plain_keyscript >/dev/null
bin=build-bench/keyscript
plain=build-bench/bench/plain_keyscript
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bytes=$($bin "$keys" 2>/dev/null | wc -c)
lines=$($bin "$keys" 2>/dev/null | wc -l)
fast_sum=$($bin "$keys" 2>/dev/null | sha256sum)

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

# Wall seconds of one run of "$@" into `cat > /dev/null` (or into the command
# in $sink); its peak memory (KiB) goes to $work/peak.
sink="cat > /dev/null"
time_once() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/peak" "$@" 2>/dev/null | eval "$sink"
  end=$EPOCHREALTIME
  calc "$end - $start"
}

median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m }'; }

# Medians are taken over interleaved rounds, so that a slow moment of the
# machine falls on every command alike.
declare -A times peaks
names=(keyscript plain head shuf)
for ((round = 0; round < runs; round++)); do
  times[keyscript]+="$(time_once $bin "$keys") "; peaks[keyscript]=$(cat "$work/peak")
  if ((round == 0)); then
    # The first plain run also hashes its bytes; the plain writer, at a tenth
    # of the pipe's speed, sets the pace, not the extra reader.
    mkfifo "$work/plain_bytes"
    sha256sum < "$work/plain_bytes" > "$work/plain_sum" &
    hasher=$!
    sink='tee "$work/plain_bytes" > /dev/null'
  fi
  times[plain]+="$(time_once $plain "$keys") "
  sink="cat > /dev/null"
  peaks[plain]=$(cat "$work/peak")
  times[head]+="$(time_once head -c "$bytes" /dev/zero) "; peaks[head]=$(cat "$work/peak")
  if ((round < peer_runs)); then
    times[shuf]+="$(time_once shuf -r -n "$lines" -i 0-32767) "; peaks[shuf]=$(cat "$work/peak")
  fi
done
wait "$hasher"
[ "$(cat "$work/plain_sum")" = "$fast_sum" ] || { echo "plain and fast scripts differ" >&2; exit 1; }

small_peak=$(/usr/bin/time -f %M $bin 1000 2>&1 >/dev/null | tail -1)

# Start-up: a 10-key run against an empty C++ program, 200 runs each.
echo 'int main() {}' > "$work/empty.cc"
g++ -O2 "$work/empty.cc" -o "$work/empty"
per_run_ms() {
  local start end
  start=$EPOCHREALTIME
  for ((i = 0; i < 200; i++)); do "$@" > /dev/null 2>&1; done
  end=$EPOCHREALTIME
  calc "($end - $start) * 1000 / 200"
}
empty_ms=$(per_run_ms "$work/empty")
ten_ms=$(per_run_ms $bin 10)

declare -A medians
for name in "${names[@]}"; do
  read -r -a samples <<< "${times[$name]}"
  medians[$name]=$(printf '%s\n' "${samples[@]}" | median)
done

printf '%s keys: %s lines, %s bytes, seed %s, into cat > /dev/null\n' "$keys" "$lines" "$bytes" "$KEYSCRIPT_SEED"
printf '%s, %s runs (shuf %s)\n\n' "$(lscpu | sed -n 's/^Model name: *//p') $(nproc) cores" "$runs" "$peer_runs"
printf '| command | median wall (s) | keyscript / this | peak memory (KiB) |\n|---|---|---|---|\n'
row() { printf '| %s | %s | %.3f | %s |\n' "$1" "${medians[$2]}" "$(calc "${medians[keyscript]} / ${medians[$2]}")" "${peaks[$2]}"; }
row "keyscript $keys" keyscript
row "plain printf build" plain
row "head -c $bytes /dev/zero" head
row "shuf -r -n $lines -i 0-32767" shuf
printf '\nkeyscript 1000: peak memory %s KiB (at %s keys: %s KiB)\n' "$small_peak" "$keys" "${peaks[keyscript]}"
printf 'start-up: keyscript 10 takes %.3f ms a run, an empty C++ program %.3f ms (difference %.3f ms)\n' \
  "$ten_ms" "$empty_ms" "$(calc "$ten_ms - $empty_ms")"
