#include "check/campaign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace keyscript {
namespace {

TEST(Campaign, SizesGrowFromZeroToTheLargestWithDistinctSeeds) {
  constexpr std::uint32_t runs = 100;
  std::int32_t previous = -1;
  for (std::uint32_t i = 0; i < runs; ++i) {
    const campaign_run run = plan_run(7, runs, 20000, i);
    EXPECT_GE(run.num_keys, previous) << i;
    EXPECT_NE(run.seed, plan_run(7, runs, 20000, i + 1).seed) << i;
    previous = run.num_keys;
  }
  EXPECT_EQ(plan_run(7, runs, 20000, 0).num_keys, 0);
  EXPECT_EQ(plan_run(7, runs, 20000, 1).num_keys, 1);
  EXPECT_EQ(plan_run(7, runs, 20000, runs - 1).num_keys, 20000);
  EXPECT_EQ(plan_run(7, 1, 500, 0).num_keys, 500);
  EXPECT_NE(plan_run(7, runs, 20000, 3).seed, plan_run(8, runs, 20000, 3).seed);
}

TEST(Campaign, BothAlternatesAndWideRunsTakeEveryShapeInTurn) {
  constexpr std::uint32_t runs = 100;
  std::int32_t largest[2] = {-1, -1};  // keyscript's, wide
  std::uint32_t of_shape[WIDE_SHAPE_COUNT] = {};
  std::vector<wide_shape> shapes;
  for (std::uint32_t i = 0; i < runs; ++i) {
    const campaign_run run = plan_run(7, runs, 20000, i, script_kinds::both);
    ASSERT_EQ(run.shape.has_value(), i % 2 == 1) << i;
    EXPECT_GE(run.num_keys, largest[i % 2]) << i;
    largest[i % 2] = run.num_keys;
    if (run.shape) {
      shapes.push_back(*run.shape);
      ++of_shape[static_cast<std::size_t>(*run.shape)];
      EXPECT_EQ(run.seed, plan_run(7, runs, 20000, i, script_kinds::wide).seed);
    }
  }
  // In turn: no shape comes back before every other has had a run.
  for (std::size_t at = WIDE_SHAPE_COUNT; at < shapes.size(); ++at) {
    EXPECT_EQ(std::count(shapes.begin() + static_cast<std::ptrdiff_t>(at - WIDE_SHAPE_COUNT + 1),
                         shapes.begin() + static_cast<std::ptrdiff_t>(at + 1), shapes[at]),
              1)
        << at;
  }
  EXPECT_EQ(largest[0], 20000);
  EXPECT_EQ(largest[1], 20000);
  EXPECT_EQ(plan_run(7, runs, 20000, 1, script_kinds::both).num_keys, 0);
  for (const std::uint32_t count : of_shape) {
    EXPECT_GE(count, 5U);
  }
  EXPECT_TRUE(plan_run(7, runs, 20000, 0, script_kinds::wide).shape.has_value());
}

}  // namespace
}  // namespace keyscript
