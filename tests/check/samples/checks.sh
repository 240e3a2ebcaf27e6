#!/usr/bin/env bash
# Holds the samples to what README.md says of them: each correct one gives
# keyscript-expect's listings on keyscript's scripts, and each failing one
# fails, in the way its row says, on the smallest script its row gives, whose
# line count is the row's too. A cross build's programs run under EMULATOR.
# PART is one correct sample (its name as in README.md, e.g. sample_tree or
# sample_set.py), or "failing" for every failing one: CTest runs each part
# as a test of its own, side by side. The Python samples run under
# KEYSCRIPT_PYTHON (default: python3).
#
#   checks.sh PART README SAMPLES_DIR KEYSCRIPT KEYSCRIPT_EXPECT [EMULATOR]
set -euo pipefail
part=$1
readme=$2
samples=$3
keyscript=$4
expect=$5
emulator=${6:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

target() { "${emulator:-env}" "$@"; }

# Runs PROGRAM... on SCRIPT for at most LIMIT seconds and says how it did
# against keyscript-expect (with the options in expect_options): ok, listing,
# timeout, signal or status, the first that applies. The program runs in a
# session of its own, killed whole afterwards with whatever it left behind,
# and may write 4 MiB at most.
verdict() {
  local limit=$1 script=$2 status=0 program sleeper
  shift 2
  target "$expect" "${expect_options[@]}" --keys "$script" | grep -v -e '^checkpoint=' -e '^total ' >"$work/expected" || true
  (
    ulimit -f 4096
    exec setsid "$@"
  ) <"$script" >"$work/output" 2>/dev/null &
  program=$!
  sleep "$limit" &
  sleeper=$!
  wait -n "$program" "$sleeper" || true
  local timed_out=no
  if kill -0 "$program" 2>/dev/null; then timed_out=yes; fi
  kill -KILL -- "-$program" 2>/dev/null || true  # the session setsid made: its id is the program's
  kill "$sleeper" 2>/dev/null || true
  wait "$program" || status=$?
  wait "$sleeper" || true
  if ! cmp -s "$work/expected" "$work/output"; then
    echo listing
  elif [ "$timed_out" = yes ]; then
    echo timeout
  elif [ "$status" -gt 128 ]; then
    echo signal
  elif [ "$status" != 0 ]; then
    echo status
  else
    echo ok
  fi
}

check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1: expected $2, got $3"
  fi
}

# One correct sample on keyscript's scripts.
correct() {
  local sample=$1 count program
  for count in 0 1 2 10 100 1000 100000; do
    KEYSCRIPT_SEED=1 target "$keyscript" "$count" >"$work/keys$count" 2>/dev/null
  done
  program=("${emulator:-env}" "$samples/$sample")
  [[ $sample != *.py ]] || program=("${KEYSCRIPT_PYTHON:-python3}" "$samples/$sample")
  expect_options=()
  [ "$sample" != sample_multiset ] || expect_options=(--multiset)
  for count in 0 1 2 10 100 1000 100000; do
    check "$sample on keyscript $count" ok "$(verdict 20 "$work/keys$count" "${program[@]}")"
  done
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}

if [ "$part" != failing ]; then
  # shellcheck disable=SC2016 # the backquotes are the README's, not an expansion
  grep -q -E "^\| \`$part\` \| " "$readme" || { echo "$part is not a sample of $readme"; exit 1; }
  correct "$part"
  exit
fi

# A row: | `sample_NAME` | KIND | `SCRIPT` | LINES | ... Each word of SCRIPT
# is a line, but "d" and its key make one, and A..B stands for A to B.
# shellcheck disable=SC2016 # the backquotes are the README's, not an expansion
rows=$(grep -E '^\| `sample_[a-z0-9_]+` \| (listing|timeout|signal|status) \|' "$readme")
[ -n "$rows" ] || { echo "no failing samples in $readme"; exit 1; }
while IFS='|' read -r _ name kind script lines _; do
  name=$(tr -d ' `' <<<"$name")
  kind=$(tr -d ' ' <<<"$kind")
  lines=$(tr -d ' ' <<<"$lines")
  : >"$work/script"
  prefix=
  for word in $(tr -d '`' <<<"$script"); do
    if [ "$word" = d ]; then
      prefix="d "
      continue
    fi
    if [[ $word =~ ^([0-9]+)\.\.([0-9]+)$ ]]; then
      seq -f "$prefix%g" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" >>"$work/script"
    else
      echo "$prefix$word" >>"$work/script"
    fi
    prefix=
  done
  check "$name: lines of its script" "$lines" "$(wc -l <"$work/script" | tr -d ' ')"
  expect_options=()
  [[ $name != *multiset* ]] || expect_options=(--multiset)
  # A hang is a sample still running at the limit: the samples are ours, and
  # those that do not hang end in milliseconds on these scripts.
  limit=3
  [ "$kind" != timeout ] || limit=0.5
  check "$name on its script" "$kind" "$(verdict "$limit" "$work/script" "${emulator:-env}" "$samples/$name")"
  # The same structure without the bug gets the script right: what fails is the bug.
  for structure in tree hash_set multiset chunked_list; do
    if [[ $name == sample_${structure}_* ]]; then
      check "sample_$structure on the script of $name" ok \
        "$(verdict 20 "$work/script" "${emulator:-env}" "$samples/sample_$structure")"
    fi
  done
done <<<"$rows"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
