#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "script/source.h"
#include "wide/shape.h"

// Which script each run of a campaign gets: a seed and a NUM_KEYS for
// keyscript's own generator, or a seed, a size and a shape for a wide
// script. With both kinds, runs alternate between them, keyscript's first,
// and each kind has its own plan of sizes over its half of the runs; wide
// runs take the shapes in turn. Sizes grow from 0 to the largest over the runs,
// the smallest first and several of them (a bug in emptying a collection
// shows only at 1 or 2 keys), so that the first failure found is already a
// small one.

namespace keyscript {

enum class script_kinds : std::uint8_t { keyscript, wide, both };

struct campaign_run {
  std::uint32_t seed;
  std::int32_t num_keys;
  std::optional<wide_shape> shape;  // none: keyscript's script
};

campaign_run plan_run(std::uint32_t campaign_seed, std::uint32_t runs, std::int32_t max_keys, std::uint32_t index,
                      script_kinds kinds = script_kinds::keyscript);

// Where a shape is named, "keyscript" names keyscript's own script.
inline constexpr std::string_view KEYSCRIPT_SHAPE = "keyscript";
std::string_view shape_text(const campaign_run& run);

// The run's script, handed out in parts.
std::unique_ptr<line_source> script_of(const campaign_run& run);

}  // namespace keyscript
