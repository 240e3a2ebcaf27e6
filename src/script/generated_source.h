#pragma once

#include <memory>

#include "script/source.h"

namespace keyscript {

// A script made as it is asked for, a part at a time, in a buffer of its own
// with the readable bytes before it that every part needs.
class generated_source : public line_source {
 public:
  line_span next() final;

 protected:
  generated_source();

 private:
  // Writes whole lines from `out` while they fit before `limit` (which has
  // OUTPUT_SLACK bytes of room past it) and returns their end; writes none
  // once the script has ended.
  virtual char* write_some(char* out, const char* limit) = 0;

  std::unique_ptr<char[]> buffer_;
};

}  // namespace keyscript
