#include "random/generator.h"

#include <cfloat>
#include <ctime>

// Each real step must be one double-precision operation rounded to nearest.
// Fast-math and unsafe-math reassociate the steps, and x87 (or m68k)
// arithmetic keeps wider intermediates; either would silently write other
// scripts, so the build is refused. gcc names unsafe-math through
// __ASSOCIATIVE_MATH__; clang names no such flag, and the build files refuse
// it by name instead.
#if defined(__FAST_MATH__)
#error "keyscript must not be built with -ffast-math: it changes the script"
#endif
#if defined(__ASSOCIATIVE_MATH__)
#error "keyscript must not be built with -funsafe-math-optimizations or -fassociative-math: it changes the script"
#endif
static_assert(FLT_EVAL_METHOD == 0, "keyscript needs plain double-precision arithmetic, not wider intermediates");

namespace keyscript {

std::uint32_t clock_seed() { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr))); }

std::int32_t next_draw(random_generator& generator) {
  generator.state = next_state(generator.state);
  return draw_of(generator.state);
}

double scaled_value(std::int32_t draw, float scale) {
  // Both operands are widened before either product: in single precision
  // draw * scale would already round. Then draw * scale (15 by 24 significant
  // bits) is exact, and so would scale * SCALE_RECIP (24 by 16) be, so either
  // grouping rounds once, in the last product, to the same value; the code
  // keeps the grouping the draw is defined with.
  const double product = static_cast<double>(draw) * static_cast<double>(scale);
  return product * static_cast<double>(SCALE_RECIP);
}

double between_value(std::int32_t draw, float low, float high) {
  // The width is rounded to single precision before it scales the draw (for
  // the bounds a pass uses it already is a single-precision value).
  const auto width = static_cast<float>(static_cast<double>(high) - static_cast<double>(low));
  return scaled_value(draw, width) + static_cast<double>(low);
}

double random_between(random_generator& generator, float low, float high) {
  return between_value(next_draw(generator), low, high);
}

}  // namespace keyscript
