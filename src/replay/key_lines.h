#pragma once

#include <cstdint>

#include "replay/window.h"
#include "script/language.h"

// The reader's fast path: the key lines of an insertion block, a 64-byte
// window at a time. It is compiled once for every instruction set it is
// built for (key_lines_*.cc), each with its own flags, so everything here
// has internal linkage: no copy built with one set of flags can stand in for
// another at link time.

namespace keyscript {
namespace {  // one copy per instruction set, on purpose

// Takes the key lines from `p` on while a whole window lies before `end`,
// counting each into `counts` (++counts[key]) and adding the lines
// taken to `taken`; returns the start of the first line it did not take. A
// window is taken only when its masks show that every line ending in it is
// digits without a leading zero, and each line's value is a key; a line it
// cannot vouch for (a value past 32767, more than 5 digits, "-1", a CR before
// the line end, an empty line) is left to the caller.
//
// Kernel::masks(window) gives the window's masks; Kernel::key(end, length)
// the value of the `length` digits before `end` (1 to 63 of them), or a
// value past every key when there are more than 5.
template <typename Kernel>
inline const char* take_key_lines_with(std::uint32_t* counts, const char* p, const char* end, std::uint64_t& taken) {
  while (end - p >= static_cast<std::ptrdiff_t>(WINDOW_BYTES)) {
    const window_masks masks = Kernel::masks(p);
    if (masks.newlines == 0) {
      break;  // a line longer than a window
    }
    const std::uint64_t whole = ~std::uint64_t{0} >> __builtin_clzll(masks.newlines);  // up to the last newline
    const std::uint64_t starts = (masks.newlines << 1 | 1) & whole;
    const std::uint64_t refused = (whole & ~(masks.digits | masks.newlines))          // neither a digit nor a line end
                                  | (starts & masks.newlines)                         // an empty line
                                  | (starts & masks.zeros & ~(masks.newlines >> 1));  // a leading zero
    if (refused != 0) {
      break;
    }
    const char* start = p;
    for (std::uint64_t newlines = masks.newlines; newlines != 0; newlines &= newlines - 1) {
      const char* line_end = p + __builtin_ctzll(newlines);
      const std::uint32_t key = Kernel::key(line_end, static_cast<unsigned>(line_end - start));
      if (key >= static_cast<std::uint32_t>(KEY_VALUES)) {
        // The lines before this one in the window were taken.
        taken += static_cast<std::uint64_t>(__builtin_popcountll(masks.newlines & ~newlines));
        return start;
      }
      ++counts[key];
      start = line_end + 1;
    }
    taken += static_cast<std::uint64_t>(__builtin_popcountll(masks.newlines));
    p = start;
  }
  return p;
}

}  // namespace

// One version of the fast path for each instruction set built, each in a
// namespace of its own; the replayer picks one when it starts.
using key_lines_function = const char* (*)(std::uint32_t* counts, const char* p, const char* end, std::uint64_t& taken);

namespace portable {
const char* take_key_lines(std::uint32_t* counts, const char* p, const char* end, std::uint64_t& taken);
}  // namespace portable

#if defined(KEYSCRIPT_X86_V3)
namespace x86_v3 {
const char* take_key_lines(std::uint32_t* counts, const char* p, const char* end, std::uint64_t& taken);
bool cpu_runs_it();  // AVX2 and BMI2
}  // namespace x86_v3
#endif

}  // namespace keyscript
