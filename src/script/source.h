#pragma once

#include <string_view>

namespace keyscript {

// A script handed out in parts, each of whole lines; an empty part ends it.
// A part stays valid until the next call.
class script_source {
 public:
  script_source() = default;
  script_source(const script_source&) = delete;
  script_source& operator=(const script_source&) = delete;
  virtual ~script_source() = default;
  virtual std::string_view next() = 0;
};

}  // namespace keyscript
