#include "check/cost_script.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "script/language.h"
#include "script/script_value.h"

namespace keyscript {
namespace {

std::string text_of(line_source& source) {
  std::string text;
  for (line_span part = source.next(); part.size != 0; part = source.next()) {
    text.append(part.data, part.size);
  }
  return text;
}

// Each order's build, for several sizes: `keys` distinct keys, in the
// order's arrangement.
TEST(CostScript, EachOrderBuildsDistinctKeysInItsArrangement) {
  const struct {
    cost_order order;
    // Whether key `at` may follow key `at - 1` in a build.
    bool (*follows)(std::int32_t before, std::int32_t key, std::size_t at);
  } cases[] = {
      {cost_order::sorted, [](std::int32_t before, std::int32_t key, std::size_t) { return key == before + 1; }},
      {cost_order::reverse, [](std::int32_t before, std::int32_t key, std::size_t) { return key == before - 1; }},
      // Runs of CLUSTER_KEYS consecutive keys, each starting on a multiple of it.
      {cost_order::clustered,
       [](std::int32_t before, std::int32_t key, std::size_t at) {
         return at % CLUSTER_KEYS == 0 ? key % CLUSTER_KEYS == 0 : key == before + 1;
       }},
      {cost_order::keyscript, [](std::int32_t, std::int32_t, std::size_t) { return true; }},
  };
  for (const auto& c : cases) {
    for (const std::int32_t keys : {1, 63, 64, 1000, 1024, 32768}) {
      random_generator generator{7};
      const std::vector<std::int32_t> build = draw_build(c.order, keys, generator);
      ASSERT_EQ(build.size(), static_cast<std::size_t>(keys)) << order_name(c.order);
      EXPECT_EQ(std::set<std::int32_t>(build.begin(), build.end()).size(), build.size()) << order_name(c.order);
      for (std::size_t at = 0; at < build.size(); ++at) {
        ASSERT_TRUE(build[at] >= 0 && build[at] < KEY_VALUES) << order_name(c.order) << " " << keys;
        if (at > 0) {
          ASSERT_TRUE(c.follows(build[at - 1], build[at], at)) << order_name(c.order) << " " << keys << " at " << at;
        }
      }
    }
  }
}

TEST(CostScript, KeyscriptOrderIsKeyscriptsDrawsWithoutRepeats) {
  random_generator generator{12345};
  const std::vector<std::int32_t> build = draw_build(cost_order::keyscript, 3000, generator);
  random_generator again{12345};
  std::vector<std::int32_t> expected;
  std::set<std::int32_t> seen;
  while (expected.size() < 3000) {
    const std::int32_t key = next_draw(again);
    if (seen.insert(key).second) {
      expected.push_back(key);
    }
  }
  EXPECT_EQ(build, expected);
}

// The script: builds drawn one after another with one generator, each
// inserted and deleted in the same order, as many as fit the commands
// (at least one), then q.
TEST(CostScript, ScriptsAreBuildsEmptiedAgainThenQ) {
  const struct {
    cost_script script;
    std::int64_t builds;
  } cases[] = {
      {{cost_order::sorted, 1024, 65536, 3}, 32}, {{cost_order::keyscript, 1024, 65536, 3}, 32},
      {{cost_order::clustered, 100, 1000, 9}, 5}, {{cost_order::reverse, 32768, 65536, 1}, 1},
      {{cost_order::reverse, 16384, 8192, 1}, 1},  // one build, whatever the commands asked for
  };
  for (const auto& c : cases) {
    const cost_script& script = c.script;
    EXPECT_EQ(builds_of(script), c.builds);
    EXPECT_EQ(commands_in(script), c.builds * 2 * script.keys);
    random_generator generator{script.seed};
    std::string expected;
    for (std::int64_t build = 0; build < c.builds; ++build) {
      const std::vector<std::int32_t> keys = draw_build(script.order, script.keys, generator);
      expected += "i\n";
      for (const std::int32_t key : keys) {
        expected += std::to_string(key) + "\n";
      }
      expected += "-1\n";
      for (const std::int32_t key : keys) {
        expected += "d " + std::to_string(key) + "\n";
      }
    }
    expected += "q\n";
    cost_source source(script);
    const std::string text = text_of(source);
    EXPECT_EQ(text, expected) << order_name(script.order) << " " << script.keys;
    EXPECT_FALSE(parse_script(text).refused);
    EXPECT_EQ(static_cast<std::int64_t>(parse_script(text).value.items.size()), lines_of(script));
  }
}

TEST(CostScript, EachBuildDrawsItsKeysAfresh) {
  for (const cost_order order : COST_ORDERS) {
    random_generator generator{5};
    const std::vector<std::int32_t> first = draw_build(order, 1024, generator);
    EXPECT_NE(draw_build(order, 1024, generator), first) << order_name(order);
  }
}

TEST(CostScript, OrdersByName) {
  for (const cost_order order : COST_ORDERS) {
    EXPECT_EQ(order_named(order_name(order)), order);
  }
  EXPECT_EQ(order_named("deletions"), std::nullopt);
  EXPECT_EQ(order_named(""), std::nullopt);
}

}  // namespace
}  // namespace keyscript
