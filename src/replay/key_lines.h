#pragma once

#include <cstdint>

#include "replay/model.h"
#include "replay/window.h"
#include "script/language.h"

// The reader's fast path: the key lines of an insertion block, a 64-byte
// window at a time. It is compiled once for every instruction set it is
// built for (key_lines_*.cc), each with its own flags, so everything here
// has internal linkage: no copy built with one set of flags can stand in for
// another at link time.

namespace keyscript {
namespace {  // one copy per instruction set, on purpose

// The lines of one window before the first that the window's masks refuse:
// a bit for each of their newlines, and one for the first byte of each line
// end (the CR of a CR LF, else the newline).
struct plain_lines {
  std::uint64_t newlines;
  std::uint64_t text_ends;
  bool whole_window;  // no line ending in the window was refused
};

// Every line of the window from its first byte, `p`, up to its last newline
// is taken only while it is digits without a leading zero, ended by LF or
// CR LF; the masks cannot tell a value past 32767 or more than 5 digits,
// which the key itself shows.
template <bool WithReturns>
inline plain_lines plain_lines_of(const window_masks& masks) {
  const std::uint64_t whole = ~std::uint64_t{0} >> __builtin_clzll(masks.newlines);  // up to the last newline
  const std::uint64_t starts = (masks.newlines << 1 | 1) & whole;
  // A CR is a line end only before LF.
  const std::uint64_t returns = WithReturns ? masks.returns & (masks.newlines >> 1) : 0;
  const std::uint64_t text_ends = returns | (masks.newlines & ~(returns << 1));
  const std::uint64_t refused = (whole & ~(masks.digits | masks.newlines | returns))  // neither a digit nor a line end
                                | (starts & text_ends)                                // an empty line
                                | (starts & masks.zeros & ~(text_ends >> 1));         // a leading zero
  if (refused == 0) {
    return {masks.newlines, text_ends, true};
  }
  // Every bit of a refused line lies in it, so the line ends before its first
  // refused bit are those of the lines before it.
  const std::uint64_t before = (std::uint64_t{1} << __builtin_ctzll(refused)) - 1;
  return {masks.newlines & before, text_ends & before, false};
}

// Counts the lines of a window from its start `p` whose newlines are the
// bits of `newlines` and whose text ends before the bits of `text_ends` (the
// same bits unless `WithReturns`: then a CR LF line ends at its CR). Returns
// the newlines of the lines it did not take: those from the first whose
// value is not a key.
template <typename Kernel, bool Listed, bool WithReturns>
inline std::uint64_t count_lines(std::uint32_t* counts, std::uint16_t* listed, std::uint32_t& listed_count,
                                 const char* p, std::uint64_t newlines, std::uint64_t text_ends) {
  const char* start = p;
  for (; newlines != 0; newlines &= newlines - 1) {
    const char* line_end = p + __builtin_ctzll(newlines);
    const char* text_end = WithReturns ? p + __builtin_ctzll(text_ends) : line_end;
    const std::uint32_t key = Kernel::key(text_end, static_cast<unsigned>(text_end - start));
    if (key >= static_cast<std::uint32_t>(KEY_VALUES)) {
      return newlines;
    }
    const std::uint32_t before = counts[key];
    counts[key] = before + 1;
    if constexpr (Listed) {
      listed[listed_count] = static_cast<std::uint16_t>(key);
      listed_count += before == 0 ? 1 : 0;
    }
    start = line_end + 1;
    if constexpr (WithReturns) {
      text_ends &= text_ends - 1;
    }
  }
  return 0;
}

// Takes the key lines from `p` on while a whole window lies before `end`,
// counting each into `block` and adding the lines taken to `taken`; returns
// the start of the first line it did not take. A line it cannot vouch for (a
// value past 32767, more than 5 digits, "-1", an empty line, a CR that does
// not end the line) is left to the caller, and so are the lines after it in
// its window.
//
// Kernel::masks(window) gives the window's masks but for the carriage
// returns, which Kernel::returns(window) gives; Kernel::key(end, length)
// the value of the `length` digits before `end` (1 to 63 of them), or a
// value past every key when there are more than 5.
template <typename Kernel, bool Listed>
inline const char* take_key_lines_listed(block_counter& block, const char* p, const char* end, std::uint64_t& taken) {
  std::uint32_t* const counts = block.counts;
  std::uint16_t* const listed = block.listed;
  std::uint32_t listed_count = block.listed_count;  // a local: `counts` could alias it
  std::uint64_t lines = 0;
  while (end - p >= static_cast<std::ptrdiff_t>(WINDOW_BYTES)) {
    window_masks masks = Kernel::masks(p);
    if (masks.newlines == 0) {
      break;  // a line longer than a window
    }
    plain_lines plain = plain_lines_of<false>(masks);
    if (!plain.whole_window) {  // perhaps for a CR before LF
      masks.returns = Kernel::returns(p);
      if (masks.returns != 0) {
        plain = plain_lines_of<true>(masks);
      }
    }
    const std::uint64_t left =
        plain.text_ends == plain.newlines
            ? count_lines<Kernel, Listed, false>(counts, listed, listed_count, p, plain.newlines, plain.text_ends)
            : count_lines<Kernel, Listed, true>(counts, listed, listed_count, p, plain.newlines, plain.text_ends);
    const std::uint64_t done = plain.newlines & ~left;
    lines += static_cast<std::uint64_t>(__builtin_popcountll(done));
    if (done != 0) {
      p += 64 - __builtin_clzll(done);  // just after the last newline taken
    }
    if (left != 0 || !plain.whole_window) {
      break;
    }
  }
  block.listed_count = listed_count;
  taken += lines;
  return p;
}

template <typename Kernel>
inline const char* take_key_lines_with(block_counter& block, const char* p, const char* end, std::uint64_t& taken) {
  return block.listed != nullptr ? take_key_lines_listed<Kernel, true>(block, p, end, taken)
                                 : take_key_lines_listed<Kernel, false>(block, p, end, taken);
}

}  // namespace

// One version of the fast path for each instruction set built, each in a
// namespace of its own; the replayer picks one when it starts.
using key_lines_function = const char* (*)(block_counter& block, const char* p, const char* end, std::uint64_t& taken);

namespace portable {
const char* take_key_lines(block_counter& block, const char* p, const char* end, std::uint64_t& taken);
}  // namespace portable

#if defined(KEYSCRIPT_X86_V3)
namespace x86_v3 {
const char* take_key_lines(block_counter& block, const char* p, const char* end, std::uint64_t& taken);
bool cpu_runs_it();  // AVX2 and BMI2
}  // namespace x86_v3
#endif

}  // namespace keyscript
