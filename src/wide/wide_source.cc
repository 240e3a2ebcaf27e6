#include "wide/wide_source.h"

#include <algorithm>

#include "script/language.h"

namespace keyscript {

namespace {

// Room for the longest thing written at once: "-1", "s" and a deletion.
constexpr std::ptrdiff_t STEP_ROOM = 32;

// The shape's place in the table seeds its scripts, so that two shapes of
// one seed and size do not start alike.
std::uint64_t first_state(std::uint32_t seed, std::int32_t size, wide_shape shape) {
  return ((std::uint64_t{seed} << 32) | static_cast<std::uint32_t>(size)) ^
         ((static_cast<std::uint64_t>(shape.place) + 1) * 0x9E3779B97F4A7C15U);
}

// Scattered keys before the next boundary key: 0 to 2 edge_odds - 2, so
// that one in edge_odds is one, at the cost of a draw for each boundary key
// rather than for every key.
std::int32_t gap_to_edge(wide_random& random, std::int32_t size) { return random.below(2 * edge_odds(size) - 1); }

}  // namespace

wide_source::wide_source(std::uint32_t seed, std::int32_t size, wide_shape shape)
    : random_{first_state(seed, size, shape)},
      size_(size),
      shape_(entry_of(shape)),
      generator_(shape_.make()),
      first_lines_(2 * static_cast<std::int64_t>(size) + 8),
      lines_left_(first_lines_),
      pool_(std::make_unique<key_pool>()),
      keys_to_edge_(gap_to_edge(random_, size)) {}

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
    case key_order::scattered: {
      if (keys_to_edge_ > 0) {
        --keys_to_edge_;
        return step_.low + random_.below(step_.high - step_.low + 1);
      }
      keys_to_edge_ = gap_to_edge(random_, size_);
      shape_context context{random_, pool, size_};
      return context.boundary_key();
    }
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

// The shape plans the next step, unless the collection has grown past the
// shape's cap: then deletions bring it down to half the cap first.
wide_step wide_source::plan() {
  const std::int64_t cap = shape_.copies_cap;
  draining_ = pool_->copies_held() > cap || (draining_ && pool_->copies_held() > cap / 2);
  if (draining_) {
    const std::int64_t excess = pool_->copies_held() - cap / 2;
    return deletions_of(shape_.drain, static_cast<std::int32_t>(std::min<std::int64_t>(excess, 64)), excess <= 64);
  }
  shape_context context{random_, *pool_, size_};
  return generator_->next_step(context);
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
        out = write_line(write_line(out, CHECKPOINT_LINE), QUIT_LINE);
        done_ = true;
        break;
      }
      step_ = plan();
      in_step_ = true;
      if (step_.block) {
        out = write_line(out, INSERT_LINE);
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
      out = write_line(out, BLOCK_END_LINE);
      --lines_left_;
    }
    if (step_.checkpoint_after && listing_affordable()) {
      out = write_line(out, CHECKPOINT_LINE);
      --lines_left_;
    }
    in_step_ = false;
  }
  return out;
}

}  // namespace keyscript
