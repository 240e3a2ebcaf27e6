// Boundary keys: the ends of the key range not yet held come first, and
// otherwise a key next to a held one.
#include "wide/step.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace keyscript {
namespace {

TEST(BoundaryKeys, EndsNotHeldComeFirstAndNeighboursAreOfHeldKeys) {
  const struct {
    std::vector<std::int32_t> held;
    std::set<std::int32_t> drawn;  // every key drawn, and no other
  } cases[] = {
      {{}, {0, 1, 32766, 32767}},
      {{0, 32767}, {1, 32766}},
      {{0, 1, 32766, 32767}, {0, 1, 2, 32765, 32766, 32767}},
      {{0, 32767, 5000}, {1, 32766, 4999, 5001}},
  };
  for (const auto& c : cases) {
    key_pool pool;
    for (const std::int32_t key : c.held) {
      pool.insert(key);
    }
    wide_random random{static_cast<std::uint64_t>(c.held.size())};
    shape_context context{random, pool, 0};
    std::set<std::int32_t> drawn;
    for (int n = 0; n < 1000; ++n) {
      drawn.insert(context.boundary_key());
    }
    EXPECT_EQ(drawn, c.drawn) << c.held.size() << " held";
  }
}

}  // namespace
}  // namespace keyscript
