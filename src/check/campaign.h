#pragma once

#include <cstdint>

// Which script each run of a campaign gets: a seed and a NUM_KEYS for
// keyscript's own generator. Sizes grow from 0 to the largest over the runs,
// the smallest first and several of them (a bug in emptying a collection
// shows only at 1 or 2 keys), so that the first failure found is already a
// small one.

namespace keyscript {

struct campaign_run {
  std::uint32_t seed;
  std::int32_t num_keys;
};

campaign_run plan_run(std::uint32_t campaign_seed, std::uint32_t runs, std::int32_t max_keys, std::uint32_t index);

}  // namespace keyscript
