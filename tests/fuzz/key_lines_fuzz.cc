// Holds each fast path of keyscript-expect's reader to its promise on any
// bytes (tests/replay/key_lines_check.h).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../replay/key_lines_check.h"

static std::uint32_t counts[keyscript::KEY_VALUES];  // all 0, and left so by each check

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Many lines of a few bytes each, whatever they hold: the input is
  // repeated until the fast path has windows to read.
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string lines;
  while (!input.empty() && lines.size() < 512) {
    lines += input;
  }
  for (const key_lines_check::kernel& k : key_lines_check::kernels_here()) {
    const std::string problem = key_lines_check::check(k, counts, lines);
    if (!problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      std::abort();
    }
  }
  return 0;
}
