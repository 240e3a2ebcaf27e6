#include "random/generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <vector>

TEST(Generator, DrawSequencesFromKnownSeeds) {
  const struct {
    std::uint32_t seed;
    std::vector<std::int32_t> draws;
  } cases[] = {
      {1, {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464, 5705, 28145}},
      {12345, {7584, 19164, 25795, 22125, 5828, 23405, 27477, 5413, 29072, 23404, 14959, 14800}},
  };
  for (const auto& c : cases) {
    seed_random(c.seed);
    for (const std::int32_t expected : c.draws) {
      EXPECT_EQ(next_draw(), expected) << "seed " << c.seed;
    }
  }
}

TEST(Generator, DrawNeverUsesBit31) {
  EXPECT_EQ(draw_of(0xFFFFFFFFU), 0x7FFF);
  EXPECT_EQ(draw_of(0x80000000U), 0);
}

TEST(Generator, JumpMatchesStepping) {
  const std::uint64_t jumps[] = {0, 1, 2, 3, 1000, (1U << 24) - 1, 1U << 24, (1U << 24) + 3, (1U << 25) + 7};
  std::uint32_t stepped = 0xDEADBEEFU;
  std::uint64_t done = 0;
  for (const std::uint64_t steps : jumps) {
    for (; done < steps; ++done) {
      stepped = next_state(stepped);
    }
    EXPECT_EQ(jump_state(0xDEADBEEFU, steps), stepped) << steps << " steps";
  }
  // The map has period 2^32: jumping a whole period comes back.
  EXPECT_EQ(jump_state(7, std::uint64_t{1} << 32), 7U);
}

TEST(Generator, CountDrawValuesAreExact) {
  const struct {
    std::int32_t draw;
    double value;
  } cases[] = {
      {0, 0.89999997615814208984375}, {41, 0.9002502279952769},    {16383, 0.9999969480551953},
      {16384, 1.00000305175854},      {32767, 1.1000000236555934},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(between_value(c.draw, 0.9F, 1.1F), c.value) << "draw " << c.draw;
  }
  EXPECT_EQ(scaled_value(32767, 1.0F), 1.0 - std::ldexp(1.0, -30));
}

TEST(Generator, TopDrawStaysBelowEveryWholeBound) {
  // Truncated, the largest draw gives x - 1 for every whole x up to 2^24.
  for (std::int32_t x = 1; x <= (1 << 24); ++x) {
    const auto picked = static_cast<std::int32_t>(between_value(32767, 0.0F, static_cast<float>(x)));
    ASSERT_EQ(picked, x - 1) << "bound " << x;
  }
}

TEST(Generator, FirstDrawOfEitherKindSeedsFromTheClock) {
  for (const bool through_key : {true, false}) {
    random_state = 1;
    needs_seed = true;
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const double value = through_key ? random_key() : random_scaled(1.0F);
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    EXPECT_FALSE(needs_seed);
    EXPECT_TRUE(random_state == next_state(before) || random_state == next_state(after));
    EXPECT_EQ(value, through_key ? draw_of(random_state) : scaled_value(draw_of(random_state), 1.0F));
    // Later draws continue the sequence rather than seeding again.
    const std::uint32_t seeded = random_state;
    random_key();
    EXPECT_EQ(random_state, next_state(seeded));
  }
}
