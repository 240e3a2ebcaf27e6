#!/usr/bin/env bash
# Times a campaign of the Python sample (a correct set, start-up included;
# CAMPAIGN_RUNS runs, default 100 as a default campaign has) with and without
# --persistent, at -j 1 and -j 2, RUNS times each (default 1), and prints the
# median of each as a table with its ratio to -j 1 without --persistent.
# Then the shrinking of the cases of bench/check_cases.sh whose name has
# PATTERN (default: the listings cut at 10000 keys and at 1000, seeds 1 to 5
# at -j 2).
#
#   bench/check_speed.sh [RUNS [CAMPAIGN_RUNS [PATTERN]]]
#
# The Python sample runs under KEYSCRIPT_PYTHON (default: python3); the
# samples are built with the tests (GoogleTest must be found).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/timing.sh
runs=${1:-1}
campaign_runs=${2:-100}
pattern=${3:-listing cut at}
python=${KEYSCRIPT_PYTHON:-python3}

bench_build keyscript-check
sample="$bench_dir/tests/check/samples/sample_set.py"
[ -f "$sample" ] || cmake --build "$bench_dir" >/dev/null # the samples come with the tests
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '\n%s, %s cores, %s\n\n' "$(lscpu | sed -n 's/^Model name: *//p')" "$(nproc)" "$("$python" --version)"
printf '| keyscript-check --seed 1 --runs %s ... -- %s sample_set.py | result | wall (s) | vs -j 1 |\n' \
  "$campaign_runs" "$python"
printf '|---|---|---|---|\n'
base=
for options in "-j 1" "-j 2" "--persistent -j 1" "--persistent -j 2"; do
  # shellcheck disable=SC2086 # the options are words
  run() { "$bench_dir/keyscript-check" --no-store --seed 1 --runs "$campaign_runs" $options -- "$python" "$sample" >"$work/out" 2>"$work/err" || true; }
  for _ in $(seq 1 "$runs"); do micros run; done >"$work/times"
  micros=$(median <"$work/times")
  base=${base:-$micros}
  printf '| %s | %s | %.1f | %.2fx |\n' "$options" "$(sed -n 's/^result=\([a-z]*\).*/\1/p' "$work/out")" \
    "$(awk "BEGIN { print $micros / 1e6 }")" "$(awk "BEGIN { print $micros / $base }")"
done

bench/check_cases.sh "$pattern"
