#include "random/generator.h"

#include <cfloat>
#include <ctime>

// Each real step must be one double-precision operation rounded to nearest.
// Fast-math reorders and fuses them, and x87 keeps wider intermediates; both
// would silently write other scripts, so refuse to build with either.
#ifdef __FAST_MATH__
#error "keyscript must not be built with -ffast-math: it changes the script"
#endif
static_assert(FLT_EVAL_METHOD == 0, "real steps need plain double precision");

std::uint32_t random_state = 1;
bool needs_seed = true;

void seed_random(std::uint32_t seed) { random_state = seed; }

void fix_seed(std::uint32_t seed) {
  seed_random(seed);
  needs_seed = false;
}

static void seed_if_needed() {
  if (needs_seed) {
    // The low 32 bits of the Unix time in whole seconds.
    seed_random(static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr))));
    needs_seed = false;
  }
}

std::int32_t next_draw() {
  random_state = next_state(random_state);
  return draw_of(random_state);
}

std::int32_t random_key() {
  seed_if_needed();
  return next_draw();
}

double scaled_value(std::int32_t draw, float scale) {
  // (draw * scale) is exact; the product with SCALE_RECIP is rounded once.
  // Forming scale * SCALE_RECIP first would round differently.
  const double product = static_cast<double>(draw) * static_cast<double>(scale);
  return product * static_cast<double>(SCALE_RECIP);
}

double between_value(std::int32_t draw, float low, float high) {
  // The width is rounded to single precision before it scales the draw.
  const auto width = static_cast<float>(static_cast<double>(high) - static_cast<double>(low));
  return scaled_value(draw, width) + static_cast<double>(low);
}

double random_scaled(float scale) {
  seed_if_needed();
  return scaled_value(next_draw(), scale);
}

double random_between(float low, float high) {
  seed_if_needed();
  return between_value(next_draw(), low, high);
}
