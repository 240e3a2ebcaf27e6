#include "wide/wide_source.h"

#include <algorithm>
#include <cstring>

#include "io/writer.h"
#include "script/language.h"

namespace keyscript {

namespace {

constexpr std::size_t PART = OUTPUT_CAPACITY;
// Room for the longest thing written at once: "-1", "s" and a deletion.
constexpr std::ptrdiff_t STEP_ROOM = 32;
constexpr std::int32_t TOP_KEY = KEY_VALUES - 1;

char* put_line(char* out, std::string_view line) {
  std::memcpy(out, line.data(), line.size());
  out[line.size()] = '\n';
  return out + line.size() + 1;
}

wide_step block_of(key_order order, std::int32_t count, std::int32_t low, std::int32_t high, bool checkpoint) {
  return {true, order, count, low, high, 1, checkpoint};
}

wide_step deletions_of(key_order order, std::int32_t count, bool checkpoint) {
  return {false, order, count, 0, TOP_KEY, 1, checkpoint};
}

wide_step checkpoint_alone() { return {false, key_order::held, 0, 0, TOP_KEY, 1, true}; }

std::uint64_t first_state(std::uint32_t seed, std::int32_t size, wide_shape shape) {
  return ((std::uint64_t{seed} << 32) | static_cast<std::uint32_t>(size)) ^
         ((static_cast<std::uint64_t>(shape) + 1) * 0x9E3779B97F4A7C15U);
}

}  // namespace

std::uint64_t wide_random::next() {
  state += 0x9E3779B97F4A7C15U;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
  return z ^ (z >> 31);
}

std::int32_t wide_random::below(std::int32_t n) {
  return static_cast<std::int32_t>(((next() >> 32) * static_cast<std::uint64_t>(n)) >> 32);
}

wide_source::wide_source(std::uint32_t seed, std::int32_t size, wide_shape shape)
    : random_{first_state(seed, size, shape)},
      size_(size),
      shape_(shape),
      first_lines_(2 * static_cast<std::int64_t>(size) + 8),
      lines_left_(first_lines_),
      pool_(std::make_unique<key_pool>()),
      buffer_(new char[line_span::READABLE_BEFORE + PART + OUTPUT_SLACK]) {
  std::memset(buffer_.get(), '\n', line_span::READABLE_BEFORE);
}

// A block's keys: up to `most`, but fewer in a small script, so that it still
// has several episodes.
std::int32_t wide_source::block_cap(std::int32_t most) const { return std::max(1, std::min(most, size_ / 2)); }

std::int32_t wide_source::next_key() {
  key_pool& pool = *pool_;
  const auto any_absent = [&] {
    return pool.held() < KEY_VALUES ? pool.absent_at(random_.below(KEY_VALUES - pool.held()))
                                    : random_.below(KEY_VALUES);
  };
  const auto any_held = [&] { return pool.held() > 0 ? pool.held_at(random_.below(pool.held())) : any_absent(); };
  switch (step_.order) {
    case key_order::range:
      return step_.low + random_.below(step_.high - step_.low + 1);
    case key_order::ascending: {
      const std::int32_t key = step_.low;
      step_.low = std::min(TOP_KEY, key + step_.stride);
      return key;
    }
    case key_order::descending: {
      const std::int32_t key = step_.high;
      step_.high = std::max(0, key - step_.stride);
      return key;
    }
    case key_order::one_key:
      return step_.low;
    case key_order::held:
      return any_held();
    case key_order::absent:
      return any_absent();
    case key_order::held_ascending: {
      std::int32_t key = pool.held_from(step_.low);
      key = key >= 0 ? key : pool.held_from(0);
      step_.low = key >= 0 && key < TOP_KEY ? key + 1 : 0;
      return key >= 0 ? key : any_absent();
    }
    case key_order::held_descending: {
      std::int32_t key = pool.held_down_from(step_.high);
      key = key >= 0 ? key : pool.held_down_from(TOP_KEY);
      step_.high = key > 0 ? key - 1 : TOP_KEY;
      return key >= 0 ? key : any_absent();
    }
    case key_order::mixed_absent: {
      const std::int32_t pick = random_.below(4);
      if (pick == 0 || (pick == 1 && last_deleted_ < 0)) {
        return any_absent();
      }
      return pick == 1 ? last_deleted_ : any_held();
    }
  }
  return 0;
}

namespace {

// The most copies a shape lets the collection hold before it deletes down
// to half as many; the others delete down by themselves. What is held is
// what a program builds and what every checkpoint lists.
std::int64_t copies_cap(wide_shape shape) {
  switch (shape) {
    case wide_shape::sorted:
    case wide_shape::reverse:
    case wide_shape::clustered:
      return 1024;
    case wide_shape::absent:
    case wide_shape::small_blocks:
    case wide_shape::repeat:
      return 256;
    case wide_shape::deletions:
    case wide_shape::refill:
    case wide_shape::checkpoints:
      break;
  }
  return 4096;
}

}  // namespace

wide_step wide_source::plan() {
  const std::int64_t cap = copies_cap(shape_);
  draining_ = pool_->copies_held() > cap || (draining_ && pool_->copies_held() > cap / 2);
  if (draining_) {
    const key_order order = shape_ == wide_shape::sorted    ? key_order::held_ascending
                            : shape_ == wide_shape::reverse ? key_order::held_descending
                                                            : key_order::held;
    const std::int64_t excess = pool_->copies_held() - cap / 2;
    wide_step step = deletions_of(order, static_cast<std::int32_t>(std::min<std::int64_t>(excess, 64)), excess <= 64);
    step.low = 0;
    return step;
  }
  switch (shape_) {
    case wide_shape::deletions:
      return plan_deletions();
    case wide_shape::sorted:
      return plan_sorted(true);
    case wide_shape::reverse:
      return plan_sorted(false);
    case wide_shape::clustered:
      return plan_clustered();
    case wide_shape::absent:
      return plan_absent();
    case wide_shape::refill:
      return plan_refill();
    case wide_shape::small_blocks:
      return plan_small_blocks();
    case wide_shape::checkpoints:
      return plan_checkpoints();
    case wide_shape::repeat:
      return plan_repeat();
  }
  return checkpoint_alone();
}

// A block over the whole key space or a range 2 to 4 times its size, then
// deletions of held keys in runs of 1 to 24, a checkpoint after each, until
// no more than 0 to 30 % of what was held is left.
wide_step wide_source::plan_deletions() {
  if (phase_ == 0) {
    phase_ = 1;
    const std::int32_t count = 16 + random_.below(block_cap(1024));
    const std::int32_t width =
        random_.one_in(2) ? KEY_VALUES : std::min(KEY_VALUES, 2 * count + random_.below(2 * count));
    const std::int32_t low = random_.below(KEY_VALUES - width + 1);
    return block_of(key_order::range, count, low, low + width - 1, true);
  }
  if (phase_ == 1) {
    target_ = static_cast<std::int32_t>(static_cast<std::int64_t>(pool_->held()) * random_.below(31) / 100);
    phase_ = 2;
  }
  const std::int32_t excess = pool_->held() - target_;
  if (excess <= 0) {
    phase_ = 0;
    return plan_deletions();
  }
  return deletions_of(key_order::held, std::min(excess, 1 + random_.below(24)), true);
}

// A block of consecutive keys (or every other, or third, key) in order, then
// a few runs of deletions that walk the held keys in the same order.
wide_step wide_source::plan_sorted(bool ascending) {
  if (phase_ == 0 || runs_left_ == 0) {
    phase_ = 1;
    runs_left_ = 1 + random_.below(4);
    const std::int32_t stride = random_.one_in(4) ? 2 + random_.below(2) : 1;
    const std::int32_t count = 8 + random_.below(block_cap(512));
    const std::int32_t low = random_.below(std::max(1, KEY_VALUES - count * stride));
    const std::int32_t high = std::min(TOP_KEY, low + count * stride);
    wide_step step = block_of(ascending ? key_order::ascending : key_order::descending, count, low, high, true);
    step.stride = stride;
    low_ = ascending ? low : high;
    return step;
  }
  --runs_left_;
  wide_step step =
      deletions_of(ascending ? key_order::held_ascending : key_order::held_descending, 1 + random_.below(32), true);
  (ascending ? step.low : step.high) = random_.one_in(2) ? low_ : random_.below(KEY_VALUES);
  return step;
}

// A window of 16 to 512 keys that moves by half its width, or now and then
// jumps elsewhere; blocks of up to twice its width land in it, and deletions
// of its keys (held or not) follow in runs.
wide_step wide_source::plan_clustered() {
  if (phase_ == 0) {
    phase_ = 1;
    if (random_.one_in(3) || width_ == KEY_VALUES) {
      width_ = 16 << random_.below(6);
      low_ = random_.below(KEY_VALUES - width_ + 1);
    } else {
      low_ = std::clamp(low_ + (random_.one_in(2) ? width_ / 2 : -width_ / 2), 0, KEY_VALUES - width_);
    }
  }
  if (phase_ == 1) {
    phase_ = 2;
    runs_left_ = 1 + random_.below(4);
    return block_of(key_order::range, 1 + random_.below(2 * width_), low_, low_ + width_ - 1, true);
  }
  if (--runs_left_ == 0) {
    phase_ = random_.one_in(3) ? 0 : 1;
  }
  wide_step step = deletions_of(key_order::range, 1 + random_.below(width_ / 2), true);
  step.low = low_;
  step.high = low_ + width_ - 1;
  return step;
}

// Small blocks, then runs of deletions of which a quarter name a key not
// held and a quarter the key just deleted.
wide_step wide_source::plan_absent() {
  if (phase_ == 0 || runs_left_ == 0) {
    phase_ = 1;
    runs_left_ = 1 + random_.below(3);
    const std::int32_t width = random_.one_in(2) ? KEY_VALUES : 256;
    const std::int32_t low = random_.below(KEY_VALUES - width + 1);
    return block_of(key_order::range, 1 + random_.below(block_cap(64)), low, low + width - 1, true);
  }
  --runs_left_;
  return deletions_of(key_order::mixed_absent, 2 + random_.below(16), true);
}

// A block, then every held key deleted in random order with a checkpoint
// now and then, a checkpoint on the empty collection, and the next block.
wide_step wide_source::plan_refill() {
  if (phase_ == 0) {
    phase_ = 1;
    width_ = random_.one_in(2) ? KEY_VALUES : 1024;
    low_ = random_.below(KEY_VALUES - width_ + 1);
    return block_of(key_order::range, 1 + random_.below(block_cap(512)), low_, low_ + width_ - 1, true);
  }
  if (pool_->held() == 0) {
    phase_ = 0;
    return checkpoint_alone();
  }
  // Draws are named one by one: the order in which a call's arguments are
  // evaluated differs between compilers, and so would the script.
  const bool checkpoint = random_.one_in(2);
  return deletions_of(key_order::held, std::min(pool_->held(), 1 + random_.below(64)), checkpoint);
}

// Blocks of 0 to 6 keys, each followed by 0 to 2 deletions of held keys,
// and a checkpoint after one in four.
wide_step wide_source::plan_small_blocks() {
  phase_ = 1 - phase_;
  if (phase_ == 1) {
    return block_of(key_order::range, random_.below(7), 0, TOP_KEY, false);
  }
  const bool checkpoint = random_.one_in(4);
  return deletions_of(key_order::held, random_.below(3), checkpoint);
}

// A block of 1 to 8 keys, or one or two deletions of held keys, or one of a
// key not held, then a checkpoint. Past 64 copies held it only deletes,
// which keeps each listing short.
wide_step wide_source::plan_checkpoints() {
  const std::int32_t pick = pool_->copies_held() > 64 ? 2 : random_.below(4);
  if (pick < 2) {
    const std::int32_t low = random_.below(KEY_VALUES - 1024);
    return block_of(key_order::range, 1 + random_.below(8), low, low + 1023, true);
  }
  return deletions_of(pick == 2 ? key_order::held : key_order::absent, 1 + random_.below(pick == 2 ? 2 : 1), true);
}

// One key inserted 2 to 65 times, in one block (sometimes with neighbours
// before it), then deleted back in runs, now and then once more than it was
// inserted.
wide_step wide_source::plan_repeat() {
  if (phase_ == 0) {
    phase_ = 1;
    low_ = random_.below(KEY_VALUES);
    if (random_.one_in(2)) {
      return block_of(key_order::range, 1 + random_.below(8), std::max(0, low_ - 8), std::min(TOP_KEY, low_ + 8),
                      false);
    }
  }
  if (phase_ == 1) {
    phase_ = 2;
    const std::int32_t copies = 2 + random_.below(block_cap(64));
    target_ = copies + (random_.one_in(4) ? 1 : 0);
    return block_of(key_order::one_key, copies, low_, low_, true);
  }
  const std::int32_t count = std::min(target_, 1 + random_.below(8));
  target_ -= count;
  if (target_ == 0) {
    phase_ = 0;
  }
  wide_step step = deletions_of(key_order::one_key, count, true);
  step.low = low_;
  return step;
}

// Whether the script can afford a checkpoint now, and if so counts its
// listing: a program lists what it holds at every checkpoint, so a
// checkpoint every few lines with a thousand keys held would make the
// program's output, not its work, the run's cost. Checkpoints are written
// while their listings stay within LISTING_CREDIT lines, plus
// LISTING_PER_LINE for every line of the script so far.
bool wide_source::listing_affordable() {
  const std::int64_t cost = pool_->copies_held() + 1;
  const std::int64_t written = first_lines_ - lines_left_;
  if (LISTING_CREDIT + LISTING_PER_LINE * written - listed_ < cost) {
    return false;
  }
  listed_ += cost;
  return true;
}

// Writes lines at `out` while they fit before `limit`; returns their end.
char* wide_source::write_some(char* out, const char* limit) {
  while (!done_ && limit - out >= STEP_ROOM) {
    if (!in_step_) {
      if (lines_left_ <= 0) {
        listed_ += pool_->copies_held() + 1;
        out = put_line(put_line(out, CHECKPOINT_LINE), QUIT_LINE);
        done_ = true;
        break;
      }
      step_ = plan();
      in_step_ = true;
      if (step_.block) {
        out = put_line(out, INSERT_LINE);
        --lines_left_;
      }
      // A step may run past the size by a block's "-1" and a checkpoint.
      step_.count =
          static_cast<std::int32_t>(std::min<std::int64_t>(step_.count, std::max<std::int64_t>(lines_left_, 0)));
      continue;
    }
    if (step_.count > 0) {
      const std::int32_t key = next_key();
      if (step_.block) {
        pool_->insert(key);
        out = write_key_line(out, key);
      } else {
        pool_->erase(key);
        last_deleted_ = key;
        out = write_delete_line(out, key);
      }
      --step_.count;
      --lines_left_;
      continue;
    }
    if (step_.block) {
      out = put_line(out, BLOCK_END_LINE);
      --lines_left_;
    }
    if (step_.checkpoint_after && listing_affordable()) {
      out = put_line(out, CHECKPOINT_LINE);
      --lines_left_;
    }
    in_step_ = false;
  }
  return out;
}

line_span wide_source::next() {
  char* start = buffer_.get() + line_span::READABLE_BEFORE;
  char* end = write_some(start, start + PART);
  return {start, static_cast<std::size_t>(end - start)};
}

}  // namespace keyscript
