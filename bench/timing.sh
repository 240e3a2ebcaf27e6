# Shared by the benchmarks: sourced, not run.

# Wall time of "$@" in microseconds.
micros() {
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# A Release build of the targets "$@" in $bench_dir, for a benchmark that
# also takes peak memory with /usr/bin/time: build-bench/, or the folder
# KEYSCRIPT_BENCH_BUILD names (CI gives its own Release build, build/, rather
# than building the same programs twice).
bench_dir=${KEYSCRIPT_BENCH_BUILD:-build-bench}
bench_build() {
  [ -x /usr/bin/time ] || { echo "$(basename "$0") needs /usr/bin/time (Debian: apt-get install time)" >&2; exit 1; }
  cmake -B "$bench_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$bench_dir" --target "$@" >/dev/null
}
