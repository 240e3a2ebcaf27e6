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

namespace keyscript {

std::uint32_t clock_seed() { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr))); }

std::int32_t next_draw(random_generator& generator) {
  generator.state = next_state(generator.state);
  return draw_of(generator.state);
}

double scaled_value(std::int32_t draw, float scale) {
  // (draw * scale) is exact; the product with SCALE_RECIP is rounded once.
  const double product = static_cast<double>(draw) * static_cast<double>(scale);
  return product * static_cast<double>(SCALE_RECIP);
}

double between_value(std::int32_t draw, float low, float high) {
  // The width is rounded to single precision before it scales the draw.
  const auto width = static_cast<float>(static_cast<double>(high) - static_cast<double>(low));
  return scaled_value(draw, width) + static_cast<double>(low);
}

double random_between(random_generator& generator, float low, float high) {
  return between_value(next_draw(generator), low, high);
}

}  // namespace keyscript
