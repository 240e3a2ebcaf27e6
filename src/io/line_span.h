#pragma once

#include <cstddef>

namespace keyscript {

// Whole lines, each ending in LF, with READABLE_BEFORE bytes before `data`
// that may be read (8-byte loads that end at a line's end).
struct line_span {
  static constexpr std::size_t READABLE_BEFORE = 8;
  const char* data;
  std::size_t size;
};

}  // namespace keyscript
