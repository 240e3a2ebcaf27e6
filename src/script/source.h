#pragma once

#include "io/line_span.h"

namespace keyscript {

// A script handed out in parts, each of whole lines ending in LF, with
// line_span::READABLE_BEFORE bytes before each part that may be read: the
// replayer reads keys with 8-byte loads that end at a line's end, so every
// reader of a part can replay it where it lies. An empty part ends the
// script; a part stays valid until the next call.
class line_source {
 public:
  line_source() = default;
  line_source(const line_source&) = delete;
  line_source& operator=(const line_source&) = delete;
  virtual ~line_source() = default;
  virtual line_span next() = 0;
};

}  // namespace keyscript
