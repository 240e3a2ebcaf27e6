#pragma once

#include <cstdint>
#include <string_view>

#include "random/generator.h"
#include "script/generated_source.h"
#include "script/pass_writer.h"

// keyscript's script for one seed and NUM_KEYS, generated as it is asked
// for, in parts of whole lines: the bytes keyscript writes, in constant
// memory, for a caller that feeds them to a program or replays them itself.

namespace keyscript {

class keyscript_source final : public generated_source {
 public:
  keyscript_source(std::uint32_t seed, std::int32_t num_keys);

 private:
  enum class phase { pass_start, keys, pass_end, closing, done };

  char* write_some(char* out, const char* limit) override;

  random_generator generator_;
  std::int32_t num_keys_;
  int passes_done_ = 0;
  phase phase_ = phase::pass_start;
  pass_plan plan_{};
  std::int32_t keys_left_ = 0;
};

}  // namespace keyscript
