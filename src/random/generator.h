#pragma once

#include <bit>
#include <cstdint>

// The linear congruential generator that every value of a script comes from.
// The script is a pure function of the seed and the request, so the
// recurrence, the bits taken from it and the floating-point steps of the
// real-valued draws are fixed exactly: a different order of operations writes
// a different script.

namespace keyscript {

// One run seeds one generator and passes it, by reference, to every draw.
struct random_generator {
  std::uint32_t state;
};

inline constexpr std::uint32_t LCG_MULTIPLIER = 214013;
inline constexpr std::uint32_t LCG_INCREMENT = 2531011;

// The single-precision value nearest to 1/32767, exactly 32769 * 2^-30; it is
// just under 1/32767, so 32767 * SCALE_RECIP is 1 - 2^-30, never 1.
inline constexpr float SCALE_RECIP = std::bit_cast<float>(0x38000100U);

constexpr std::uint32_t next_state(std::uint32_t state) { return state * LCG_MULTIPLIER + LCG_INCREMENT; }

// A draw is bits 16 to 30 of the state: 0 to 32767.
constexpr std::int32_t draw_of(std::uint32_t state) { return static_cast<std::int32_t>((state >> 16) & 0x7FFFU); }

// A jump is `steps` steps of the generator taken at once: composed, the steps
// are again a map x -> multiplier * x + increment (modulo 2^32).
struct lcg_jump {
  std::uint32_t multiplier;
  std::uint32_t increment;
};

// The jump of `steps` steps, in O(log steps) time: the one-step map is
// squared while the bits of `steps` are walked.
constexpr lcg_jump jump_of(std::uint64_t steps) {
  lcg_jump total{1, 0};
  lcg_jump power{LCG_MULTIPLIER, LCG_INCREMENT};
  for (; steps != 0; steps >>= 1) {
    if ((steps & 1U) != 0) {
      total = {total.multiplier * power.multiplier, total.increment * power.multiplier + power.increment};
    }
    power = {power.multiplier * power.multiplier, power.increment * power.multiplier + power.increment};
  }
  return total;
}

// The state `by` leads to from `state`.
constexpr std::uint32_t jump(std::uint32_t state, lcg_jump by) { return state * by.multiplier + by.increment; }
constexpr std::uint32_t jump(std::uint32_t state, std::uint64_t steps) { return jump(state, jump_of(steps)); }

// The low 32 bits of the Unix time in whole seconds: the seed of a run that
// is not given one.
std::uint32_t clock_seed();

// Advances the generator one step and returns the draw, 0 to 32767.
std::int32_t next_draw(random_generator& generator);
// From `low` up to just below `high`: `low` plus a draw scaled to the width.
double random_between(random_generator& generator, float low, float high);

// The arithmetic of a draw for a given draw value: the draw times `scale`
// times SCALE_RECIP, and `low` plus the draw scaled to the width.
double scaled_value(std::int32_t draw, float scale);
double between_value(std::int32_t draw, float low, float high);

}  // namespace keyscript
