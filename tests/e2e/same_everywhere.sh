#!/usr/bin/env bash
# Runs a table of cases through the native keyscript and keyscript-expect and
# through each cross-built pair, and fails unless every case's standard
# output, standard error and exit status are the native build's: byte for
# byte on Linux; on Windows the same lines with every line end CR LF, on
# both streams.
#
#   tests/e2e/same_everywhere.sh NATIVE_KEYSCRIPT TRIPLE...
#
# TRIPLE's binaries are build-TRIPLE/keyscript and keyscript-expect (.exe for
# Windows). Each runs under the emulator its build chose, as CTest runs its
# tests (CMAKE_CROSSCOMPILING_EMULATOR in build-TRIPLE/CMakeCache.txt:
# qemu-user, or wine with the WINEPREFIX of the environment), or directly
# where that is empty (32-bit x86 on a kernel that runs it). The native binary
# is run with the same argv[0] as the target sees, so the usage line must
# match too.
set -uo pipefail  # no -e: a failing status is one of the things compared
native=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set -f  # the cases' arguments are split on spaces, never globbed

# Where standard output goes, KEYSCRIPT_SEED, then the arguments. "first"
# compares only the first progress line, the pass's count, which is written
# before any key: the reader stops after one byte, so a count of nearly two
# billion costs nothing. Those counts are where x87 arithmetic, with its wider
# intermediates, draws a different count from plain double precision.
cases=(
  "pipe 1 5" "pipe 1 2" "pipe 1 12" "pipe 12345 3"  # the worked examples
  "pipe 1 0" "pipe 1 1" "pipe 1 10" "pipe 1 11"     # empty passes; one or ten deletions
  "pipe 0 1000" "pipe 4294967295 1000"              # the smallest and largest seeds
  "pipe 20261209 40000000"                          # past 2^25 + 7 keys a pass
  "pipe 1 -3" "pipe 1 1952257820" "pipe abc 5"      # refused count and seed
  "pipe 1 1e6" "pipe 1 4294967296" "first 1 99999999999"  # warned counts
  "pipe 1" "pipe 1 5 6" "pipe 1 abc"                # usage failures
  "pipe 1 --help" "pipe 1 --version"
  "full 1 1000000" "closed 1 5"                     # failed writes
  "first 1234892353 1900000033" "first 3060987269 224803744"  # counts that x87
  "first 2717185413 337707131" "first 765064581 548313449"    # arithmetic gets
  "first 3813143941 670217106"                                 # wrong
)

# keyscript-expect cases: a script, then the options. The script is written
# by the native keyscript from a seed and a count, and fed to each build's
# keyscript-expect as it is ("script"), with CR LF line ends ("crlf"), cut
# after BYTES bytes ("cut=BYTES"), or with an "x" added to line LINE
# ("spoil=LINE").
expect_cases=(
  "script 1 1000" "script 1 1000 --multiset --keys" "script 7 0 --keys"
  "script 20261209 3000000"  # long blocks: the fast paths
  "crlf 5 20000 --keys" "cut=100000 5 20000" "cut=99999 5 20000" "spoil=4321 5 20000 --multiset"
  "script 1 5 --unknown" "script 1 5 --help"
)

# feed GENERATOR SEED NUM_KEYS: the script a keyscript-expect case reads.
feed() {
  local generator=$1
  KEYSCRIPT_SEED=$2 "$native" "$3" 2>/dev/null | case $generator in
    script) cat ;;
    crlf) sed 's/$/\r/' ;;
    cut=*) head -c "${generator#cut=}" ;;
    spoil=*) sed "${generator#spoil=}s/\$/x/" ;;
  esac
}

# run NAME LINE_ENDS CASE COMMAND...: runs CASE with COMMAND and leaves the
# checksum of its standard output in $work/NAME.out, its standard error in
# $work/NAME.err and its status in $work/NAME.status, each stream passed
# through LINE_ENDS first.
run() {
  local name=$1 line_ends=$2 output seed args
  read -r output seed args <<<"$3"
  shift 3
  case $output in
    pipe) KEYSCRIPT_SEED=$seed "$@" $args 2>"$work/raw.err" | $line_ends | cksum >"$work/$name.out" ;;
    first) KEYSCRIPT_SEED=$seed "$@" $args 2>"$work/raw.err" | head -c1 | wc -c >"$work/raw.bytes" ;;
    full) KEYSCRIPT_SEED=$seed "$@" $args 2>"$work/raw.err" >/dev/full ;;
    closed) KEYSCRIPT_SEED=$seed "$@" $args 2>"$work/raw.err" >&- ;;
    expect)
      local generator count options
      read -r generator seed count options <<<"$args"
      feed "$generator" "$seed" "$count" | "$@" $options 2>"$work/raw.err" | $line_ends | cksum >"$work/$name.out"
      ;;
  esac
  local statuses=("${PIPESTATUS[@]}")
  # The status of the program under test: the first command, or the second
  # after a feed.
  echo "${statuses[$([ "$output" = expect ] && echo 1 || echo 0)]}" >"$work/$name.status"
  cp "$work/$name.status" "$work/$name.raw_status"
  # Whether the run wrote nothing at all, on either stream: cksum's second
  # field is the length of what it read.
  local wrote=0
  case $output in
    pipe | expect) read -r _ wrote <"$work/$name.out" ;;
    first) wrote=$(cat "$work/raw.bytes") ;;
  esac
  if [ "$wrote" -eq 0 ] && [ ! -s "$work/raw.err" ]; then
    echo yes >"$work/$name.silent"
  else
    echo no >"$work/$name.silent"
  fi
  [ "$output" = pipe ] || [ "$output" = expect ] || : >"$work/$name.out"
  if [ "$output" = first ]; then
    # The run ends when the reader goes: by SIGPIPE, or on Windows by a
    # write error with a line of its own. Neither is the case's point.
    echo - >"$work/$name.status"
    head -n 1 "$work/raw.err" | $line_ends >"$work/$name.err"
  else
    $line_ends <"$work/raw.err" >"$work/$name.err"
  fi
}

passed=0 failed=0
all_cases=("${cases[@]}")
for c in "${expect_cases[@]}"; do
  all_cases+=("expect - $c")
done
for triple in "$@"; do
  cache=build-$triple/CMakeCache.txt
  [ -f "$cache" ] || { echo "FAIL $triple: no $cache (build it first)"; exit 1; }
  read -r -a runner < <(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$cache")
  for c in "${all_cases[@]}"; do
    program=keyscript
    [ "${c%% *}" = expect ] && program=keyscript-expect
    binary=build-$triple/$program
    argv0=$binary
    line_ends=cat under_wine=""
    case $triple in
      *-w64-mingw32)
        binary+=.exe line_ends='sed s/$/\r/' under_wine=yes
        argv0=$(winepath -w "$(realpath "$binary")" 2>/dev/null) ;;
    esac
    run native "$line_ends" "$c" bash -c 'exec -a "$0" "$@"' "$argv0" "$(dirname "$native")/$program"
    run target cat "$c" "${runner[@]}" "$binary"
    # Now and then, on a loaded machine, wine starts nothing: the run writes
    # not a byte on either stream, and WINEDEBUG=-all hides why. A program
    # that wrote the native build's output once and nothing the next time
    # would still fail here: only a wholly silent run is tried again, once,
    # and the log says so.
    if [ -n "$under_wine" ] && [ "$(cat "$work/target.silent")" = yes ] &&
      [ "$(cat "$work/native.silent")" = no ]; then
      echo "again: $triple, case '$c': wrote nothing on either stream (status $(cat "$work/target.raw_status"))"
      run target cat "$c" "${runner[@]}" "$binary"
    fi
    same=yes
    for stream in out err status; do
      if ! cmp -s "$work/target.$stream" "$work/native.$stream"; then
        echo "FAIL $triple, case '$c': $stream differs from the native build's"
        show=cat
        [ "$stream" = err ] && show="od -An -c"  # line ends made visible
        echo "  native: $($show "$work/native.$stream" | head -3)"
        echo "  $triple: $($show "$work/target.$stream" | head -3)"
        echo "  (its status: $(cat "$work/target.raw_status"))"
        same=""
      fi
    done
    if [ -n "$same" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done
  echo "$triple: ${#all_cases[@]} cases run"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
