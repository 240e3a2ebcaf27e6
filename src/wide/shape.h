#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "wide/step.h"

// The shapes of wide scripts. keyscript's own scripts have one shape, and
// some bugs never show in it (a structure whose deletions rebalance is never
// emptied enough to rebalance); each shape aims at a kind of structure and a
// kind of bug. A shape is a generator that keeps its own episode (a block
// and the deletions that follow it, a window that moves) and one entry in
// the table of shapes, which --shape, --help and the campaign's order read.

namespace keyscript {

// Plans a wide script's steps, one at a time, from the shared context and
// what the shape itself remembers between them.
class shape_generator {
 public:
  shape_generator() = default;
  shape_generator(const shape_generator&) = delete;
  shape_generator& operator=(const shape_generator&) = delete;
  virtual ~shape_generator() = default;
  virtual wide_step next_step(shape_context& context) = 0;
};

struct shape_entry {
  std::string_view name;
  std::string_view summary;  // a few words, for --help
  // The most copies the shape lets the collection hold before the source
  // deletes down to half as many, in `drain` order; a shape that deletes
  // down by itself never reaches its cap.
  std::int64_t copies_cap;
  key_order drain;
  std::unique_ptr<shape_generator> (*make)();
};

// Every shape, in the order a campaign's wide runs take them. A shape's
// place in the table also seeds its scripts: a new shape goes at the end,
// or every later shape's scripts change.
std::span<const shape_entry> wide_shapes();

// A shape, by its place in the table.
struct wide_shape {
  std::uint8_t place;
  bool operator==(const wide_shape&) const = default;
};

const shape_entry& entry_of(wide_shape shape);
std::string_view shape_name(wide_shape shape);
std::optional<wide_shape> shape_named(std::string_view name);
// The shape of a campaign's `n`th wide run: the table's, in turn.
wide_shape shape_in_turn(std::uint32_t n);

}  // namespace keyscript
