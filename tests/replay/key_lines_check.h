#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io/input.h"
#include "reference_replay.h"
#include "replay/key_lines.h"

// Holds a fast path to what it promises, on any bytes: it stops at a line
// start, every line before that is a plain key, each counted once, and it
// stops no further than a window short of a line it cannot take. Used by the
// unit tests and by the fuzz target.
namespace key_lines_check {

struct kernel {
  const char* name;
  keyscript::key_lines_function take;
};

inline std::vector<kernel> kernels_here() {
  std::vector<kernel> kernels = {{"portable", keyscript::portable::take_key_lines}};
#if defined(KEYSCRIPT_X86_V3)
  if (keyscript::x86_v3::cpu_runs_it()) {
    kernels.push_back({"x86-64 AVX2", keyscript::x86_v3::take_key_lines});
  }
#endif
  return kernels;
}

// The plain key that the line at `line` (ending before `end`, in LF or
// CR LF) holds, or -1.
inline int plain_key_at(const char* line, const char* end) {
  const auto* line_end = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
  if (line_end == nullptr) {
    return -1;
  }
  std::string_view text(line, static_cast<std::size_t>(line_end - line));
  if (!text.empty() && text.back() == '\r') {
    text.remove_suffix(1);
  }
  int key = -1;
  return reference::plain_key(text, key) ? key : -1;
}

// An empty string, or what went wrong. The KEY_VALUES `counts` must all be 0,
// and are left so.
inline std::string check(const kernel& k, std::uint32_t* counts, const std::string& lines) {
  constexpr std::size_t before = keyscript::line_span::READABLE_BEFORE;
  std::vector<char> buffer(before + lines.size(), '\n');
  std::memcpy(buffer.data() + before, lines.data(), lines.size());
  const char* begin = buffer.data() + before;
  const char* end = begin + lines.size();
  std::uint64_t taken = 0;
  keyscript::block_counter block{counts, nullptr, 0};
  const char* stop = k.take(block, begin, end, taken);
  if (stop < begin || stop > end || (stop != begin && stop[-1] != '\n')) {
    return std::string(k.name) + ": stopped inside a line";
  }
  if (static_cast<std::uint64_t>(std::count(begin, stop, '\n')) != taken) {
    return std::string(k.name) + ": counted " + std::to_string(taken) + " lines taken";
  }
  // Each line taken takes its count back; then every counter must be 0.
  bool undercounted = false;
  for (const char* line = begin; line < stop;
       line = static_cast<const char*>(std::memchr(line, '\n', end - line)) + 1) {
    const int key = plain_key_at(line, stop);
    if (key < 0) {
      std::fill(counts, counts + keyscript::KEY_VALUES, 0);
      return std::string(k.name) + ": took a line that is not a plain key";
    }
    undercounted |= counts[key]-- == 0;
  }
  const bool overcounted = std::any_of(counts, counts + keyscript::KEY_VALUES, [](std::uint32_t n) { return n != 0; });
  if (undercounted || overcounted) {
    std::fill(counts, counts + keyscript::KEY_VALUES, 0);
    return std::string(k.name) + ": counts differ from the lines taken";
  }
  // A window may end on a line it cannot take: never more than 64 bytes on.
  const char* plain_end = stop;
  while (plain_end < end && plain_key_at(plain_end, end) >= 0) {
    plain_end = static_cast<const char*>(std::memchr(plain_end, '\n', end - plain_end)) + 1;
  }
  if (end - stop >= 128 && plain_end - stop > 64) {
    return std::string(k.name) + ": stopped short of " + std::to_string(plain_end - stop) + " bytes of plain keys";
  }
  return "";
}

}  // namespace key_lines_check
