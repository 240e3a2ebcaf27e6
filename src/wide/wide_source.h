#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "script/source.h"
#include "wide/key_pool.h"
#include "wide/shape.h"

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

// splitmix64: integer steps only, so a script is the same on every machine.
struct wide_random {
  std::uint64_t state;

  std::uint64_t next();
  // 0 to n - 1, for n above 0.
  std::int32_t below(std::int32_t n);
  bool one_in(std::int32_t n) { return below(n) == 0; }
};

// How the keys of one step are chosen, a line at a time.
enum class key_order : std::uint8_t {
  range,            // uniform from low to high, with replacement
  ascending,        // low, low + stride, ...
  descending,       // high, high - stride, ...
  one_key,          // low, every time
  held,             // a held key at random
  absent,           // a key not held at random
  held_ascending,   // held keys in order, from low up
  held_descending,  // held keys in order, from high down
  mixed_absent,     // a key not held, the key just deleted again, or a held one
};

// One block or one run of deletions, and whether a checkpoint follows it.
struct wide_step {
  bool block;
  key_order order;
  std::int32_t count;
  std::int32_t low;
  std::int32_t high;
  std::int32_t stride;
  bool checkpoint_after;
};

class wide_source final : public line_source {
 public:
  wide_source(std::uint32_t seed, std::int32_t size, wide_shape shape);

  line_span next() override;

 private:
  char* write_some(char* out, const char* limit);
  std::int32_t next_key();
  std::int32_t block_cap(std::int32_t most) const;
  bool listing_affordable();
  wide_step plan();
  wide_step plan_deletions();
  wide_step plan_sorted(bool ascending);
  wide_step plan_clustered();
  wide_step plan_absent();
  wide_step plan_refill();
  wide_step plan_small_blocks();
  wide_step plan_checkpoints();
  wide_step plan_repeat();

  wide_random random_;
  std::int32_t size_;
  wide_shape shape_;
  std::int64_t first_lines_;
  std::int64_t lines_left_;
  std::int64_t listed_ = 0;  // lines of the listings so far
  bool in_step_ = false;
  bool done_ = false;
  bool draining_ = false;  // deleting down to half the shape's most held keys
  wide_step step_{};
  std::unique_ptr<key_pool> pool_;  // 256 KiB: not on the stack
  std::int32_t last_deleted_ = -1;
  // The episode a shape is in, and what it keeps between its steps.
  int phase_ = 0;
  std::int32_t target_ = 0;
  std::int32_t runs_left_ = 0;
  std::int32_t low_ = 0;
  std::int32_t width_ = KEY_VALUES;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace keyscript
