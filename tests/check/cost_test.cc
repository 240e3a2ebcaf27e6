#include "check/cost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace keyscript {
namespace {

TEST(CostRule, ALogarithmTimesTheMargin) {
  const struct {
    std::int32_t keys;
    double log;
    double allowed;
  } cases[] = {
      {1024, 1.0, 4.0}, {2048, 1.1, 4.4}, {4096, 1.2, 4.8}, {8192, 1.3, 5.2}, {16384, 1.4, 5.6}, {32768, 1.5, 6.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(log_growth(c.keys), c.log) << c.keys;
    EXPECT_DOUBLE_EQ(allowed_growth(c.keys), c.allowed) << c.keys;
  }
}

TEST(CostRule, ScriptsAreSizedToTheWorkWanted) {
  EXPECT_EQ(work_wanted_us(1000), WORK_WANTED_US);
  EXPECT_EQ(work_wanted_us(500000), 500000);  // python3 behind a shim: its start-up
  const struct {
    std::int64_t work_us;  // in a script of CALIBRATION_COMMANDS
    std::int64_t wanted_us;
    std::int64_t commands;
  } cases[] = {
      {25000, 25000, 65536},  {24999, 25000, 131072}, {3200, 25000, 524288},
      {1000, 25000, 1048576}, {0, 25000, 1048576},    {-5000, 25000, 1048576},  // start-up took it all: the most
      {200000, 25000, 8192},  {100000, 25000, 16384}, {1000000, 1000000, 65536},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(commands_for(c.work_us, c.wanted_us), c.commands) << c.work_us << " of " << c.wanted_us;
  }
}

TEST(CostRule, GrowthIsFromTheFirstSizeOrTheFloor) {
  EXPECT_DOUBLE_EQ(ns_per_command(21000, 1000, 100000), 200);
  EXPECT_DOUBLE_EQ(ns_per_command(900, 1000, 100000), 0);  // less than the start-up: nothing
  EXPECT_DOUBLE_EQ(floor_ns(20000, 1000000), 10);
  EXPECT_DOUBLE_EQ(growth_of(200, 900, 10), 4.5);
  EXPECT_DOUBLE_EQ(growth_of(2, 90, 10), 9);  // 2 ns is noise: counted as 10
  EXPECT_DOUBLE_EQ(growth_of(0, 0, 10), 0);
}

// A program under the ladder: the CPU time of each script it is given,
// from a cost per command in ns by order, size and how many times that
// size has been measured in that order before. Start-up 10 ms.
constexpr std::int64_t STARTUP_US = 10000;
using cost_model = double (*)(cost_order order, std::int32_t keys, int before);

struct ladder_run {
  cost_outcome outcome;
  std::vector<cost_script> measured;
};

ladder_run climb_with(cost_model model, std::vector<cost_order> orders = {COST_ORDERS.begin(), COST_ORDERS.end()},
                      int stop_after = 1000) {
  ladder_run run;
  std::map<std::pair<cost_order, std::int32_t>, int> times;
  const cost_measure measure = [&](const cost_script& script) -> std::optional<std::int64_t> {
    if (static_cast<int>(run.measured.size()) == stop_after) {
      return std::nullopt;
    }
    run.measured.push_back(script);
    const double ns = model(script.order, script.keys, times[{script.order, script.keys}]++);
    return STARTUP_US + std::llround(ns * static_cast<double>(commands_in(script)) / 1000);
  };
  run.outcome = climb_ladder(orders, 99, STARTUP_US, measure);
  return run;
}

double logarithmic(cost_order /*order*/, std::int32_t keys, int /*before*/) { return 20 * std::log2(keys); }

TEST(CostLadder, ALogarithmicProgramPassesEverySizeInEveryOrder) {
  const ladder_run run = climb_with(logarithmic);
  EXPECT_FALSE(run.outcome.broken);
  EXPECT_FALSE(run.outcome.stopped);
  // 200 ns a command: 65536 commands come to 13 ms, so 131072 give the 20 ms wanted.
  EXPECT_EQ(run.outcome.commands, 131072);
  ASSERT_EQ(run.outcome.figures.size(), 4U);
  for (const order_figures& figures : run.outcome.figures) {
    ASSERT_EQ(figures.ns.size(), COST_LADDER.size());
    EXPECT_NEAR(figures.ns.back(), 300, 0.01);
  }
  // The calibration, then every size of every order once (the first at the
  // new length).
  EXPECT_EQ(run.measured.size(), 1 + COST_ORDERS.size() * COST_LADDER.size());
  EXPECT_EQ(run.measured[0].commands, CALIBRATION_COMMANDS);
  // Every size grew as a logarithm does: a quarter of what is allowed.
  ASSERT_TRUE(run.outcome.closest);
  EXPECT_NEAR(run.outcome.closest->growth / run.outcome.closest->allowed, 0.25, 1e-3);
}

// Which size and order break the rule, for programs whose cost grows in one
// order or all, fast or slow, steadily or by a spike; and how many times the
// size watched is measured.
TEST(CostLadder, TheSmallestSizeThatBreaksTheRuleAfterMeasuringItAgain) {
  const struct {
    const char* name;
    cost_model model;
    bool fails;  // at the size watched
    cost_order order;
    std::int32_t keys;
    std::size_t measurements;
  } cases[] = {
      // 8x at 8192 is past 5.2x; 4x at 4096 is not past 4.8x.
      {"a list in every order", [](cost_order, std::int32_t keys, int) { return 1.0 * keys; }, true, cost_order::sorted,
       8192, MEASUREMENTS_TO_FAIL},
      {"a list in reverse order only",
       [](cost_order order, std::int32_t keys, int) { return order == cost_order::reverse ? 1.0 * keys : 300.0; }, true,
       cost_order::reverse, 8192, MEASUREMENTS_TO_FAIL},
      {"quadratic in keyscript's order",
       [](cost_order order, std::int32_t keys, int) {
         return order == cost_order::keyscript ? 1e-3 * keys * keys : 500.0;
       },
       true, cost_order::keyscript, 4096, MEASUREMENTS_TO_FAIL},
      // Noise once: measured again, the size passes, and the climb goes on.
      {"a spike at 2048",
       [](cost_order, std::int32_t keys, int before) { return keys == 2048 && before == 0 ? 1e4 : 300; }, false,
       cost_order::sorted, 2048, 2},
      // 5x from 1024 to 4096 twice, then 4.4x: only the fastest counts.
      {"noisy but within the rule",
       [](cost_order, std::int32_t keys, int before) { return keys == 4096 ? (before < 2 ? 1500.0 : 1320.0) : 300.0; },
       false, cost_order::reverse, 4096, 3},
      // Nanoseconds a command at the most commands: 2 ns growing to 40 is
      // not past 5.2 times the floor's 10 ns.
      {"a command costs almost nothing", [](cost_order, std::int32_t keys, int) { return keys >= 8192 ? 40.0 : 2.0; },
       false, cost_order::sorted, 8192, 1},
  };
  for (const auto& c : cases) {
    const ladder_run run = climb_with(c.model);
    EXPECT_FALSE(run.outcome.stopped) << c.name;
    EXPECT_EQ(run.outcome.broken.has_value(), c.fails) << c.name;
    if (run.outcome.broken && c.fails) {
      EXPECT_EQ(run.outcome.broken->order, c.order) << c.name;
      EXPECT_EQ(run.outcome.broken->keys, c.keys) << c.name;
      EXPECT_GT(run.outcome.broken->growth, run.outcome.broken->allowed) << c.name;
      // Nothing past the size that failed.
      EXPECT_EQ(run.measured.back().keys, c.keys) << c.name;
    }
    std::size_t measured_there = 0;
    for (const cost_script& script : run.measured) {
      measured_there += script.keys == c.keys && script.order == c.order ? 1 : 0;
    }
    EXPECT_EQ(measured_there, c.measurements) << c.name;
  }
}

TEST(CostLadder, SlowProgramsGetShortScriptsAndOneBuildAtLargeSizes) {
  // 40 us a command at the first size: 65536 commands take 2.6 s, and the
  // fewest, 8192, 0.3 s, more than the 20 ms wanted.
  const ladder_run run = climb_with([](cost_order, std::int32_t keys, int) { return 40.0 * keys; });
  EXPECT_EQ(run.outcome.commands, FEWEST_COMMANDS);
  ASSERT_TRUE(run.outcome.broken);
  EXPECT_EQ(run.outcome.broken->keys, 8192);
  // 8192 keys are one build of 16384 commands, and cost per command as
  // much whatever the script's length.
  EXPECT_EQ(commands_in(run.measured.back()), 16384);
  EXPECT_NEAR(run.outcome.broken->ns, 40.0 * 8192, 1);
}

TEST(CostLadder, OneOrderAloneAndAMeasurementThatDoesNotComeBack) {
  const ladder_run alone = climb_with(logarithmic, {cost_order::clustered});
  ASSERT_EQ(alone.outcome.figures.size(), 1U);
  EXPECT_EQ(alone.outcome.figures[0].order, cost_order::clustered);
  for (const cost_script& script : alone.measured) {
    EXPECT_EQ(script.order, cost_order::clustered);
    EXPECT_EQ(script.seed, 99U);
  }
  for (const int stop_after : {0, 1, 5}) {
    const ladder_run stopped = climb_with(logarithmic, {COST_ORDERS.begin(), COST_ORDERS.end()}, stop_after);
    EXPECT_TRUE(stopped.outcome.stopped) << stop_after;
    EXPECT_FALSE(stopped.outcome.broken) << stop_after;
    EXPECT_EQ(stopped.measured.size(), static_cast<std::size_t>(stop_after));
  }
}

}  // namespace
}  // namespace keyscript
