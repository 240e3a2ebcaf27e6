#pragma once

#include <cstdint>

// How big a script can be, and how many lines one of a given size has.

namespace keyscript {

// The largest NUM_KEYS for which every pass's insert count, up to 1.1 times
// the request, still fits in 32 bits.
inline constexpr std::int32_t MAX_NUM_KEYS = 1952257819;

// At most this many lines in keyscript's script for NUM_KEYS: two passes of
// up to 1.1 times NUM_KEYS keys, ten deletions each and eight lines more.
constexpr std::uint64_t most_keyscript_lines(std::int32_t num_keys) {
  return static_cast<std::uint64_t>(num_keys) / 10 * 22 + 64;
}

}  // namespace keyscript
