#!/usr/bin/env bash
# Checks that every guard against floating-point flags that would change the
# script refuses them: the compile-time guards of the generator, with the
# compiler given, and the configure-time check of the build files.
#
#   tests/cmake/float_guards.sh SOURCE_DIR CXX [FLAG...]
#
# FLAGs are the ones the build itself adds for the target (SSE2 arithmetic
# on 32-bit x86), without which the plain compile would be refused too.
set -u
source=$1
cxx=$2
shift 2
target_flags=("$@")
failed=0

# refused WHAT COMMAND...: COMMAND must fail, saying why in keyscript's words.
refused() {
  local what=$1 out
  shift
  if out=$("$@" 2>&1); then
    echo "FAIL: $what was accepted"
    failed=1
  elif ! grep -q -E 'must not be built with|needs plain double-precision' <<<"$out"; then
    echo "FAIL: $what was refused, but not by keyscript's guard:"
    echo "$out" | head -5
    failed=1
  else
    echo "ok: $what is refused"
  fi
}
compile() { "$cxx" -std=c++20 -fsyntax-only "${target_flags[@]}" -I"$source/src" "$@" "$source/src/random/generator.cc"; }

out=$(compile 2>&1) || { echo "FAIL: the plain compile fails: $out"; exit 1; }
macros=$("$cxx" -dM -E -x c++ /dev/null)
flags=("-ffast-math" "-Ofast")
if ! grep -q __clang__ <<<"$macros"; then
  # clang defines no macro for these; the configure check below covers it.
  flags+=("-funsafe-math-optimizations" "-fassociative-math -fno-signed-zeros -fno-trapping-math")
fi
if grep -q -E '__x86_64__|__i386__' <<<"$macros" && ! grep -q __clang__ <<<"$macros"; then
  flags+=("-mfpmath=387")  # clang refuses x87 math on x86-64 by itself
fi
for flag in "${flags[@]}"; do
  # shellcheck disable=SC2086  # a flag entry may hold several flags
  refused "compiling with $flag" compile $flag
done
for variable in CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO; do
  refused "$variable=-funsafe-math-optimizations at configure" \
    cmake -D$variable=-funsafe-math-optimizations -P "$source/cmake/float_flags.cmake"
done
cmake -DCMAKE_CXX_FLAGS_RELEASE=-O2 -P "$source/cmake/float_flags.cmake" || { echo "FAIL: plain flags refused"; failed=1; }
exit $failed
