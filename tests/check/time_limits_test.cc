#include "check/time_limits.h"

#include <gtest/gtest.h>

namespace keyscript {
namespace {

program_pace pace_of(std::int64_t startup_ms, std::uint64_t lines, std::int64_t elapsed_ms) {
  program_pace pace;
  pace.set_startup(startup_ms);
  pace.note_finished(lines, elapsed_ms);
  return pace;
}

TEST(TimeLimits, GrowWithStartUpAndLinesAndGivenOnesWin) {
  const program_pace quick = pace_of(1, 100, 2);
  const program_pace slow_start = pace_of(700, 100, 701);
  const struct {
    const char* name;
    run_limits got;
    run_limits expected;
  } cases[] = {
      {"campaign", campaign_run_limits(quick, 100000, {}), {10000 + 10 + 1000, 10000 + 10 + 500}},
      {"campaign, slow start", campaign_run_limits(slow_start, 0, {}), {17000, 17000}},
      // A program may read all 28 million lines first and work them through
      // without a word: 140 s of silence is allowed, and no whole limit.
      {"a run of its own", single_run_limits(quick, 28000000, {}), {NO_LIMIT, 10000 + 10 + 140000}},
      {"given --timeout", campaign_run_limits(quick, 100000, {2.5, {}, {}}), {2500, NO_LIMIT}},
      {"given both", single_run_limits(quick, 100000, {2.5, 0.5, {}}), {2500, 500}},
      {"given --idle-timeout", single_run_limits(quick, 0, {{}, 0.001, {}}), {NO_LIMIT, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.got.whole_ms, c.expected.whole_ms) << c.name;
    EXPECT_EQ(c.got.idle_ms, c.expected.idle_ms) << c.name;
  }
}

TEST(TimeLimits, CandidatesGetWhatThePaceSaysAndNeverMoreThanTheFailingRun) {
  // 100000 lines in 1 s after a 10 ms start: 9.9 us a line.
  const program_pace paced = pace_of(10, 100000, 1000);
  EXPECT_NEAR(paced.us_per_line(), 9.9, 1e-9);
  const run_limits own = candidate_limits(paced, 1000, {NO_LIMIT, NO_LIMIT}, {});
  EXPECT_EQ(own.whole_ms, 500 + 100 + 99);
  EXPECT_EQ(own.idle_ms, own.whole_ms);
  const run_limits capped = candidate_limits(paced, 1000, {600, NO_LIMIT}, {});
  EXPECT_EQ(capped.whole_ms, 600);
  // --candidate-floor replaces the half second alone.
  EXPECT_EQ(candidate_limits(paced, 1000, {NO_LIMIT, NO_LIMIT}, {{}, {}, 0.05}).whole_ms, 50 + 100 + 99);
  // Runs too short to tell the pace say nothing of it.
  EXPECT_EQ(pace_of(10, 50, 1000).us_per_line(), 0);
  EXPECT_EQ(timeout_to_finish_s(pace_of(10, 50, 1000), 1000000), 0);
  // Twice what 28 million lines take at 9.9 us, and ten seconds more.
  EXPECT_EQ(timeout_to_finish_s(paced, 28000000), 565);
}

}  // namespace
}  // namespace keyscript
