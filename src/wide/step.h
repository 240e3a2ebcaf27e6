#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "script/language.h"
#include "wide/key_pool.h"

// What a wide script is made of, a step at a time: a block of keys or a run
// of deletions, and whether a checkpoint follows it. A shape plans the steps;
// the source writes them, choosing each key as the step's order says.

namespace keyscript {

inline constexpr std::int32_t TOP_KEY = KEY_VALUES - 1;

// Bugs gather at the edges of the key range (a key 0 taken for "empty", a
// bound one short of 32767) and next to keys already held, so wide scripts
// draw keys there, as Hypothesis' integer strategies do: one scattered key
// in edge_odds(size) is a boundary key, and an episode of an ordered shape
// starts or ends at an edge 1 time in edge_odds(size). That is every time
// below size 16, so that even a campaign's first, tiny scripts reach the
// edges, and 1 in 32 from size 496 on, a few percent of a campaign's keys.
constexpr std::int32_t edge_odds(std::int32_t size) { return std::min(32, 1 + size / 16); }

// splitmix64: integer steps only, so a script is the same on every machine.
// Inline, because every key of a block draws.
struct wide_random {
  std::uint64_t state;

  std::uint64_t next() {
    state += 0x9E3779B97F4A7C15U;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
    return z ^ (z >> 31);
  }
  // 0 to n - 1, for n above 0.
  std::int32_t below(std::int32_t n) {
    return static_cast<std::int32_t>(((next() >> 32) * static_cast<std::uint64_t>(n)) >> 32);
  }
  bool one_in(std::int32_t n) { return below(n) == 0; }
};

// How the keys of one step are chosen, a line at a time.
enum class key_order : std::uint8_t {
  range,            // uniform from low to high, with replacement
  scattered,        // the same, or now and then a boundary key (edge_odds)
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

constexpr wide_step block_of(key_order order, std::int32_t count, std::int32_t low, std::int32_t high,
                             bool checkpoint) {
  return {true, order, count, low, high, 1, checkpoint};
}

constexpr wide_step deletions_of(key_order order, std::int32_t count, bool checkpoint) {
  return {false, order, count, 0, TOP_KEY, 1, checkpoint};
}

constexpr wide_step checkpoint_alone() { return {false, key_order::held, 0, 0, TOP_KEY, 1, true}; }

// What every shape plans its next step from: the script's one random
// source (a shape draws from it in a fixed order: never two draws in one
// call's arguments, whose order differs between compilers), the keys held,
// and the script's size.
struct shape_context {
  wide_random& random;
  const key_pool& pool;
  std::int32_t size;

  // A block's keys: up to `most`, but fewer in a small script, so that it
  // still has several episodes.
  std::int32_t block_cap(std::int32_t most) const { return std::max(1, std::min(most, size / 2)); }

  // Whether this episode goes to an edge: 1 time in edge_odds.
  bool at_edge() { return random.one_in(edge_odds(size)); }

  // A key at an edge: one of the ends (0 or 32767 a quarter of the time
  // each, 1 or 32766 an eighth), or otherwise the key below or above a held
  // one (0 or 32767 while nothing is held). An end already held passes to
  // the next one not held (0, 32767, 1, 32766, 0, ...), so that even two or
  // three boundary keys reach both ends.
  std::int32_t boundary_key() {
    constexpr std::array<std::int32_t, 4> ENDS = {0, TOP_KEY, 1, TOP_KEY - 1};
    const std::int32_t pick = random.below(8);
    if (pick >= 6 && pool.held() > 0) {
      const std::int32_t held = pool.held_at(random.below(pool.held()));
      return (pick == 6 && held > 0) || held == TOP_KEY ? held - 1 : held + 1;
    }
    const auto first = static_cast<std::size_t>(pick % 6);
    for (std::size_t step = 0; step < ENDS.size(); ++step) {
      const std::int32_t end = ENDS[(first + step) % ENDS.size()];
      if (pool.copies(end) == 0) {
        return end;
      }
    }
    return ENDS[first % ENDS.size()];
  }
};

}  // namespace keyscript
