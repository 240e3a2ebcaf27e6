#include "check/campaign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../replay/reference_replay.h"
#include "check/options.h"

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
  const std::size_t shape_count = wide_shapes().size();
  std::vector<std::uint32_t> of_shape(shape_count);
  std::vector<std::uint8_t> shapes;
  for (std::uint32_t i = 0; i < runs; ++i) {
    const campaign_run run = plan_run(7, runs, 20000, i, script_kinds::both);
    ASSERT_EQ(run.shape.has_value(), i % 2 == 1) << i;
    EXPECT_GE(run.num_keys, largest[i % 2]) << i;
    largest[i % 2] = run.num_keys;
    if (run.shape) {
      shapes.push_back(run.shape->place);
      ++of_shape[run.shape->place];
      EXPECT_EQ(run.seed, plan_run(7, runs, 20000, i, script_kinds::wide).seed);
    }
  }
  // In turn: no shape comes back before every other has had a run.
  for (std::size_t at = shape_count; at < shapes.size(); ++at) {
    EXPECT_EQ(std::count(shapes.begin() + static_cast<std::ptrdiff_t>(at - shape_count + 1),
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

// A default campaign reaches the edges of the key range early: a set that
// never keeps key 32767 is found by one of its first ten runs, which are
// tiny, whatever the campaign's seed.
std::string text_of(const campaign_run& run) {
  const std::unique_ptr<line_source> source = script_of(run);
  std::string text;
  for (line_span part = source->next(); part.size != 0; part = source->next()) {
    text.append(part.data, part.size);
  }
  return text;
}

TEST(Campaign, AWideRunAmongTheFirstTenHoldsTheTopKeyAtACheckpoint) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    bool found = false;
    for (std::uint32_t index = 0; index < 10 && !found; ++index) {
      const campaign_run run = plan_run(seed, DEFAULT_RUNS, DEFAULT_MAX_KEYS, index, script_kinds::both);
      // The model's figures for each checkpoint, as a set holds its keys.
      const std::string checkpoints = reference::replay(text_of(run), false, false).out;
      found = run.shape && checkpoints.find(" max=32767 ") != std::string::npos;
    }
    EXPECT_TRUE(found) << "campaign seed " << seed;
  }
}

}  // namespace
}  // namespace keyscript
