#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The shapes of wide scripts. keyscript's own scripts have one shape, and
// some bugs never show in it (a structure whose deletions rebalance is never
// emptied enough to rebalance); each shape here aims at a kind of structure
// and a kind of bug.

namespace keyscript {

enum class wide_shape : std::uint8_t {
  deletions,     // a block, then most of it deleted in random order, checkpoints between runs
  sorted,        // ascending blocks and deletions: a tree without balancing degenerates
  reverse,       // the same, descending
  clustered,     // keys in a narrow window: nodes fill, split and merge in one place
  absent,        // deletions of keys not held, and of one key twice in a row
  refill,        // the collection emptied and filled again
  small_blocks,  // many blocks of 0 to 6 keys
  checkpoints,   // a checkpoint after every block or one or two deletions
  repeat,        // one key inserted many times and deleted back (for multisets)
};

inline constexpr std::size_t WIDE_SHAPE_COUNT = 9;

struct named_shape {
  wide_shape shape;
  std::string_view name;
};

inline constexpr std::array<named_shape, WIDE_SHAPE_COUNT> WIDE_SHAPES = {{
    {wide_shape::deletions, "deletions"},
    {wide_shape::sorted, "sorted"},
    {wide_shape::reverse, "reverse"},
    {wide_shape::clustered, "clustered"},
    {wide_shape::absent, "absent"},
    {wide_shape::refill, "refill"},
    {wide_shape::small_blocks, "small-blocks"},
    {wide_shape::checkpoints, "checkpoints"},
    {wide_shape::repeat, "repeat"},
}};

constexpr std::string_view shape_name(wide_shape shape) { return WIDE_SHAPES[static_cast<std::size_t>(shape)].name; }

constexpr std::optional<wide_shape> shape_named(std::string_view name) {
  for (const named_shape& entry : WIDE_SHAPES) {
    if (entry.name == name) {
      return entry.shape;
    }
  }
  return std::nullopt;
}

}  // namespace keyscript
