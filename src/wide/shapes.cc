// Every shape of wide script, one section each, and the table that names
// them. A new shape is a section here and its entry in the table (plus its
// row in docs/scripts.md and its words in the man page, which a test holds
// to the table).
#include <algorithm>

#include "wide/shape.h"

namespace keyscript {

namespace {

// deletions: a block over the whole key space or a range 2 to 4 times its
// size, then deletions of held keys in runs of 1 to 24, a checkpoint after
// each, until no more than 0 to 30 % of what was held is left.
class deletions_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (stage_ == stage::block) {
      stage_ = stage::choose_target;
      const std::int32_t count = 16 + random.below(context.block_cap(1024));
      const bool whole_space = random.one_in(2);
      const std::int32_t width = whole_space ? KEY_VALUES : std::min(KEY_VALUES, 2 * count + random.below(2 * count));
      const std::int32_t low = random.below(KEY_VALUES - width + 1);
      return block_of(key_order::scattered, count, low, low + width - 1, true);
    }
    if (stage_ == stage::choose_target) {
      stage_ = stage::delete_down;
      target_ = static_cast<std::int32_t>(static_cast<std::int64_t>(context.pool.held()) * random.below(31) / 100);
    }
    const std::int32_t excess = context.pool.held() - target_;
    if (excess <= 0) {
      stage_ = stage::block;
      return next_step(context);
    }
    return deletions_of(key_order::held, std::min(excess, 1 + random.below(24)), true);
  }

 private:
  enum class stage : std::uint8_t { block, choose_target, delete_down };
  stage stage_ = stage::block;
  std::int32_t target_ = 0;  // keys held when the deletions stop
};

// sorted and reverse: a block of consecutive keys (or every second, or
// third, key) in order, then 1 to 4 runs of deletions that walk the held keys
// in the same order, from where the block began or from anywhere.
class sorted_shape final : public shape_generator {
 public:
  explicit sorted_shape(bool ascending) : ascending_(ascending) {}

  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (runs_left_ == 0) {
      runs_left_ = 1 + random.below(4);
      const std::int32_t stride = random.one_in(4) ? 2 + random.below(2) : 1;
      const std::int32_t count = 8 + random.below(context.block_cap(512));
      block_start_ = first_key(context, count, stride);
      wide_step step =
          block_of(ascending_ ? key_order::ascending : key_order::descending, count, block_start_, block_start_, true);
      step.stride = stride;
      return step;
    }
    --runs_left_;
    wide_step step =
        deletions_of(ascending_ ? key_order::held_ascending : key_order::held_descending, 1 + random.below(32), true);
    (ascending_ ? step.low : step.high) = random.one_in(2) ? block_start_ : random.below(KEY_VALUES);
    return step;
  }

 private:
  // The block's first key: anywhere the block fits, or at an edge, the
  // block starting or ending there.
  std::int32_t first_key(shape_context& context, std::int32_t count, std::int32_t stride) const {
    wide_random& random = context.random;
    if (context.at_edge()) {
      const std::int32_t span = std::min(TOP_KEY, (count - 1) * stride);
      const std::int32_t lowest = random.one_in(2) ? 0 : TOP_KEY - span;
      return ascending_ ? lowest : lowest + span;
    }
    const std::int32_t low = random.below(std::max(1, KEY_VALUES - count * stride));
    return ascending_ ? low : std::min(TOP_KEY, low + count * stride);
  }

  bool ascending_;
  std::int32_t runs_left_ = 0;  // runs of deletions before the next block
  std::int32_t block_start_ = 0;
};

// clustered: a window of 16 to 512 keys that moves by half its width, or
// now and then jumps elsewhere; blocks of up to twice its width land in it,
// and deletions of its keys (held or not) follow in runs.
class clustered_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (stage_ == stage::move_window) {
      stage_ = stage::block;
      const bool jump = random.one_in(3);
      if (jump || !placed_) {
        placed_ = true;
        width_ = 16 << random.below(6);
        if (context.at_edge()) {
          low_ = random.one_in(2) ? 0 : KEY_VALUES - width_;
        } else {
          low_ = random.below(KEY_VALUES - width_ + 1);
        }
      } else {
        low_ = std::clamp(low_ + (random.one_in(2) ? width_ / 2 : -width_ / 2), 0, KEY_VALUES - width_);
      }
    }
    if (stage_ == stage::block) {
      stage_ = stage::deletions;
      runs_left_ = 1 + random.below(4);
      return block_of(key_order::range, 1 + random.below(2 * width_), low_, low_ + width_ - 1, true);
    }
    if (--runs_left_ == 0) {
      stage_ = random.one_in(3) ? stage::move_window : stage::block;
    }
    wide_step step = deletions_of(key_order::range, 1 + random.below(width_ / 2), true);
    step.low = low_;
    step.high = low_ + width_ - 1;
    return step;
  }

 private:
  enum class stage : std::uint8_t { move_window, block, deletions };
  stage stage_ = stage::move_window;
  bool placed_ = false;
  std::int32_t low_ = 0;
  std::int32_t width_ = 0;
  std::int32_t runs_left_ = 0;
};

// absent: small blocks, then runs of deletions of which a quarter name a key
// not held and a quarter the key just deleted.
class absent_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (runs_left_ == 0) {
      runs_left_ = 1 + random.below(3);
      const std::int32_t width = random.one_in(2) ? KEY_VALUES : 256;
      const std::int32_t low = random.below(KEY_VALUES - width + 1);
      return block_of(key_order::scattered, 1 + random.below(context.block_cap(64)), low, low + width - 1, true);
    }
    --runs_left_;
    return deletions_of(key_order::mixed_absent, 2 + random.below(16), true);
  }

 private:
  std::int32_t runs_left_ = 0;
};

// refill: a block, then every held key deleted in random order with a
// checkpoint now and then, a checkpoint on the empty collection, and the
// next block.
class refill_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (!filled_) {
      filled_ = true;
      const std::int32_t width = random.one_in(2) ? KEY_VALUES : 1024;
      const std::int32_t low = random.below(KEY_VALUES - width + 1);
      return block_of(key_order::scattered, 1 + random.below(context.block_cap(512)), low, low + width - 1, true);
    }
    if (context.pool.held() == 0) {
      filled_ = false;
      return checkpoint_alone();
    }
    const bool checkpoint = random.one_in(2);
    return deletions_of(key_order::held, std::min(context.pool.held(), 1 + random.below(64)), checkpoint);
  }

 private:
  bool filled_ = false;
};

// small-blocks: blocks of 0 to 6 keys, each followed by 0 to 2 deletions of
// held keys, and a checkpoint after one in four.
class small_blocks_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    after_block_ = !after_block_;
    if (after_block_) {
      return block_of(key_order::scattered, random.below(7), 0, TOP_KEY, false);
    }
    const bool checkpoint = random.one_in(4);
    return deletions_of(key_order::held, random.below(3), checkpoint);
  }

 private:
  bool after_block_ = false;
};

// checkpoints: a block of 1 to 8 keys, or one or two deletions of held keys,
// or one of a key not held, then a checkpoint. Past 64 copies held it only
// deletes, which keeps each listing short.
class checkpoints_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    const std::int32_t pick = context.pool.copies_held() > 64 ? 2 : random.below(4);
    if (pick < 2) {
      const std::int32_t low = random.below(KEY_VALUES - 1024);
      return block_of(key_order::scattered, 1 + random.below(8), low, low + 1023, true);
    }
    // A key not held is deleted once, after a draw below 1 that the
    // scripts' bytes keep.
    const std::int32_t count = 1 + random.below(pick == 2 ? 2 : 1);
    return deletions_of(pick == 2 ? key_order::held : key_order::absent, count, true);
  }
};

// repeat: one key inserted 2 to 65 times, in one block (sometimes with
// neighbours before it), then deleted back in runs, now and then once more
// than it was inserted.
class repeat_shape final : public shape_generator {
 public:
  wide_step next_step(shape_context& context) override {
    wide_random& random = context.random;
    if (stage_ == stage::choose_key) {
      stage_ = stage::copies;
      key_ = context.at_edge() ? context.boundary_key() : random.below(KEY_VALUES);
      if (random.one_in(2)) {
        return block_of(key_order::range, 1 + random.below(8), std::max(0, key_ - 8), std::min(TOP_KEY, key_ + 8),
                        false);
      }
    }
    if (stage_ == stage::copies) {
      stage_ = stage::deletions;
      const std::int32_t copies = 2 + random.below(context.block_cap(64));
      to_delete_ = copies + (random.one_in(4) ? 1 : 0);
      return block_of(key_order::one_key, copies, key_, key_, true);
    }
    const std::int32_t count = std::min(to_delete_, 1 + random.below(8));
    to_delete_ -= count;
    if (to_delete_ == 0) {
      stage_ = stage::choose_key;
    }
    wide_step step = deletions_of(key_order::one_key, count, true);
    step.low = key_;
    return step;
  }

 private:
  enum class stage : std::uint8_t { choose_key, copies, deletions };
  stage stage_ = stage::choose_key;
  std::int32_t key_ = 0;
  std::int32_t to_delete_ = 0;
};

template <typename Shape, auto... arguments>
std::unique_ptr<shape_generator> make_shape() {
  return std::make_unique<Shape>(arguments...);
}

// What is held is what a program builds and what every checkpoint lists,
// so shapes that would grow without end are capped: those whose point is
// many keys at 1024 copies, those whose point is many small steps at 256.
// The others delete down by themselves and never come near 4096.
constexpr shape_entry SHAPES[] = {
    {"deletions", "a block, then most of it deleted", 4096, key_order::held, make_shape<deletions_shape>},
    {"sorted", "ascending blocks and deletions", 1024, key_order::held_ascending, make_shape<sorted_shape, true>},
    {"reverse", "descending blocks and deletions", 1024, key_order::held_descending, make_shape<sorted_shape, false>},
    {"clustered", "keys in a narrow window", 1024, key_order::held, make_shape<clustered_shape>},
    {"absent", "deleting keys not held, and one key twice", 256, key_order::held, make_shape<absent_shape>},
    {"refill", "the collection emptied and filled again", 4096, key_order::held, make_shape<refill_shape>},
    {"small-blocks", "many blocks of 0 to 6 keys", 256, key_order::held, make_shape<small_blocks_shape>},
    {"checkpoints", "a checkpoint after every few lines", 4096, key_order::held, make_shape<checkpoints_shape>},
    {"repeat", "one key inserted many times (for --multiset)", 256, key_order::held, make_shape<repeat_shape>},
};

}  // namespace

std::span<const shape_entry> wide_shapes() { return SHAPES; }

const shape_entry& entry_of(wide_shape shape) { return SHAPES[shape.place]; }

std::string_view shape_name(wide_shape shape) { return entry_of(shape).name; }

std::optional<wide_shape> shape_named(std::string_view name) {
  for (std::size_t place = 0; place < std::size(SHAPES); ++place) {
    if (SHAPES[place].name == name) {
      return wide_shape{static_cast<std::uint8_t>(place)};
    }
  }
  return std::nullopt;
}

wide_shape shape_in_turn(std::uint32_t n) { return {static_cast<std::uint8_t>(n % std::size(SHAPES))}; }

}  // namespace keyscript
