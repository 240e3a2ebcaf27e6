#pragma once

#include <cstdint>
#include <memory>

#include "script/generated_source.h"
#include "wide/key_pool.h"
#include "wide/shape.h"
#include "wide/step.h"

// A wide script: the language of keyscript's scripts, in another shape. Each
// is a pure function of a seed, a size and a shape, generated as it is asked
// for in constant memory. The size plays NUM_KEYS's part: the script has
// about twice as many lines, then a last "s" and "q".

namespace keyscript {

// A wide script's listings (the lines a correct program writes at its
// checkpoints) come to at most this many lines, plus this many for every
// line of the script: checkpoints are left out where they would pass it.
inline constexpr std::int64_t LISTING_CREDIT = 4096;
inline constexpr std::int64_t LISTING_PER_LINE = 32;

// The most lines a wide script of `size` and its listings come to together.
constexpr std::int64_t most_lines_with_listings(std::int32_t size) {
  const std::int64_t lines = 2 * static_cast<std::int64_t>(size) + 12;
  return lines + LISTING_CREDIT + LISTING_PER_LINE * lines;
}

class wide_source final : public generated_source {
 public:
  wide_source(std::uint32_t seed, std::int32_t size, wide_shape shape);

 private:
  char* write_some(char* out, const char* limit) override;
  std::int32_t next_key();
  bool listing_affordable();
  wide_step plan();

  wide_random random_;
  std::int32_t size_;
  const shape_entry& shape_;
  std::unique_ptr<shape_generator> generator_;
  std::int64_t first_lines_;
  std::int64_t lines_left_;
  std::int64_t listed_ = 0;  // lines of the listings so far
  bool in_step_ = false;
  bool done_ = false;
  bool draining_ = false;  // deleting down to half the shape's most held keys
  wide_step step_{};
  std::unique_ptr<key_pool> pool_;  // 256 KiB: not on the stack
  std::int32_t last_deleted_ = -1;
  std::int32_t keys_to_edge_;  // scattered keys before the next boundary key
};

}  // namespace keyscript
