#pragma once

#include <bit>
#include <cstdint>

// The process-wide linear congruential generator. Every value in a script
// comes from this one sequence, so the recurrence, the bits taken from it and
// the floating-point steps of the real-valued draws are fixed exactly: a
// different order of operations writes a different script.

extern std::uint32_t random_state;  // 1 until the generator is seeded
extern bool needs_seed;             // set until the first seeded draw

inline constexpr std::uint32_t LCG_MULTIPLIER = 214013;
inline constexpr std::uint32_t LCG_INCREMENT = 2531011;

// The single-precision value nearest to 1/32767, exactly 32769 * 2^-30; it is
// just under 1/32767, so 32767 * SCALE_RECIP is 1 - 2^-30, never 1.
inline constexpr float SCALE_RECIP = std::bit_cast<float>(0x38000100U);

constexpr std::uint32_t next_state(std::uint32_t state) { return state * LCG_MULTIPLIER + LCG_INCREMENT; }

// A draw is bits 16 to 30 of the state: 0 to 32767.
constexpr std::int32_t draw_of(std::uint32_t state) { return static_cast<std::int32_t>((state >> 16) & 0x7FFFU); }

// The generator step taken n times is again a map x -> multiplier*x + increment.
struct lcg_jump {
  std::uint32_t multiplier;
  std::uint32_t increment;
};

// The map that applies `first`, then `second`.
constexpr lcg_jump then(lcg_jump first, lcg_jump second) {
  return {first.multiplier * second.multiplier, first.increment * second.multiplier + second.increment};
}

// The map for `steps` steps, in O(log steps) time: square the one-step map
// while walking the bits of `steps`.
constexpr lcg_jump jump_of(std::uint64_t steps) {
  lcg_jump total{1, 0};
  lcg_jump power{LCG_MULTIPLIER, LCG_INCREMENT};
  for (; steps != 0; steps >>= 1) {
    if ((steps & 1U) != 0) {
      total = then(total, power);
    }
    power = then(power, power);
  }
  return total;
}

constexpr std::uint32_t jumped(std::uint32_t state, lcg_jump jump) { return state * jump.multiplier + jump.increment; }

// The state `steps` steps after `state`.
constexpr std::uint32_t jump_state(std::uint32_t state, std::uint64_t steps) { return jumped(state, jump_of(steps)); }

void seed_random(std::uint32_t seed);
// Seeds with a known value in place of the clock (KEYSCRIPT_SEED).
void fix_seed(std::uint32_t seed);

std::int32_t next_draw();
std::int32_t random_key();
double random_scaled(float scale);
double random_between(float low, float high);

// The arithmetic of random_scaled and random_between for a given draw.
double scaled_value(std::int32_t draw, float scale);
double between_value(std::int32_t draw, float low, float high);
