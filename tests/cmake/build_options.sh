#!/usr/bin/env bash
# Configures the project in ways a user may, and checks the outcome of each:
# -DBUILD_TESTING=OFF builds the programs where GoogleTest is nowhere to be
# found, -DKEYSCRIPT_BENCHMARKS=OFF leaves the benchmark programs out, and a
# compiler other than GCC or Clang, or a fuzz build with GCC, stops at
# configure time with a message that says why.
#
#   tests/cmake/build_options.sh SOURCE_DIR
set -u
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# Configure output must name the reason for a refusal.
refused() {
  local what=$1 reason=$2 out
  shift 2
  if out=$(cmake -S "$source" -B "$work/refused" --fresh "$@" 2>&1); then
    fail "$what was accepted"
  elif ! grep -q -- "$reason" <<<"$out"; then
    fail "$what was refused without saying '$reason':"
    echo "$out" | tail -5
  else
    echo "ok: $what stops at configure"
  fi
}

no_gtest=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DKEYSCRIPT_GTEST_SOURCE="$work/none")
if cmake -S "$source" -B "$work/plain" -G Ninja -DBUILD_TESTING=OFF -DKEYSCRIPT_BENCHMARKS=OFF "${no_gtest[@]}" \
  >"$work/plain.log" 2>&1 && cmake --build "$work/plain" >>"$work/plain.log" 2>&1; then
  [ -x "$work/plain/keyscript" ] || fail "BUILD_TESTING=OFF built no keyscript"
  for left_out in keyscript_tests bench/plain_keyscript bench/ready_writer bench/key_loop_bench; do
    [ ! -e "$work/plain/$left_out" ] || fail "$left_out was built although it was switched off"
  done
  grep -q -i googletest "$work/plain.log" && fail "BUILD_TESTING=OFF still looked for GoogleTest"
  # The benchmark programs are never built with everything: the switch must
  # take away their target too.
  if cmake --build "$work/plain" --target benchmarks >>"$work/plain.log" 2>&1; then
    fail "KEYSCRIPT_BENCHMARKS=OFF still has a benchmarks target"
  fi
  echo "ok: -DBUILD_TESTING=OFF -DKEYSCRIPT_BENCHMARKS=OFF builds keyscript alone, without GoogleTest"
else
  fail "-DBUILD_TESTING=OFF without GoogleTest does not build:"
  tail -5 "$work/plain.log"
fi

if out=$(cmake -S "$source" -B "$work/nogtest" "${no_gtest[@]}" 2>&1); then
  grep -q "GoogleTest was not found" <<<"$out" || fail "a build without GoogleTest does not say so"
  echo "ok: a build without GoogleTest says how to get it or switch the tests off"
else
  fail "a build without GoogleTest does not configure"
fi

refused "KEYSCRIPT_FUZZ=ON with GCC" "needs Clang" -DCMAKE_CXX_COMPILER=g++ -DKEYSCRIPT_FUZZ=ON
# A compiler CMake knows by another name: the detected id is set beforehand.
refused "a compiler other than GCC or Clang" "builds with GCC or Clang" \
  -DCMAKE_CXX_COMPILER_ID_RUN=TRUE -DCMAKE_CXX_COMPILER_ID=Intel -DCMAKE_CXX_COMPILER=g++
exit $failed
