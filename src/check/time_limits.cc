#include "check/time_limits.h"

#include <algorithm>
#include <cmath>

namespace keyscript {

namespace {

constexpr std::int64_t FLOOR_MS = 10000;
constexpr std::int64_t CANDIDATE_FLOOR_MS = 500;
constexpr std::int64_t STARTUP_FACTOR = 10;
constexpr double IDLE_US_PER_LINE = 5;
constexpr double WHOLE_US_PER_LINE = 10;
constexpr double CANDIDATE_PACE_FACTOR = 10;
// Runs shorter than this say more of the start-up than of the pace.
constexpr std::uint64_t LINES_TO_TELL_PACE = 10000;

std::int64_t milliseconds(double seconds) { return static_cast<std::int64_t>(std::ceil(seconds * 1000)); }

std::int64_t allowance(std::int64_t floor_ms, const program_pace& pace, std::uint64_t lines, double us_per_line) {
  return floor_ms + STARTUP_FACTOR * pace.startup_ms() +
         static_cast<std::int64_t>(std::ceil(static_cast<double>(lines) * us_per_line / 1000));
}

std::int64_t idle_limit(const program_pace& pace, std::uint64_t lines, const given_limits& given) {
  if (given.idle_s) return milliseconds(*given.idle_s);
  return given.whole_s ? NO_LIMIT : allowance(FLOOR_MS, pace, lines, IDLE_US_PER_LINE);
}

}  // namespace

void program_pace::note_finished(std::uint64_t lines, std::int64_t elapsed_ms) {
  if (lines >= largest_lines_) {
    largest_lines_ = lines;
    largest_ms_ = elapsed_ms;
  }
  if (lines >= LINES_TO_TELL_PACE) {
    const double working_ms = static_cast<double>(std::max<std::int64_t>(0, elapsed_ms - startup_ms_));
    us_per_line_ = std::max(us_per_line_, working_ms * 1000 / static_cast<double>(lines));
  }
}

run_limits campaign_run_limits(const program_pace& pace, std::uint64_t lines, const given_limits& given) {
  const std::int64_t whole =
      given.whole_s ? milliseconds(*given.whole_s) : allowance(FLOOR_MS, pace, lines, WHOLE_US_PER_LINE);
  return {whole, idle_limit(pace, lines, given)};
}

run_limits single_run_limits(const program_pace& pace, std::uint64_t lines, const given_limits& given) {
  return {given.whole_s ? milliseconds(*given.whole_s) : NO_LIMIT, idle_limit(pace, lines, given)};
}

run_limits candidate_limits(const program_pace& pace, std::uint64_t lines, const run_limits& failing_run,
                            const given_limits& given) {
  const std::int64_t floor = given.candidate_floor_s ? milliseconds(*given.candidate_floor_s) : CANDIDATE_FLOOR_MS;
  const std::int64_t own = allowance(floor, pace, lines, CANDIDATE_PACE_FACTOR * std::max(pace.us_per_line(), 0.1));
  const auto capped = [own](std::int64_t limit) { return limit == NO_LIMIT ? own : std::min(own, limit); };
  return {capped(failing_run.whole_ms), capped(failing_run.idle_ms)};
}

std::int64_t timeout_to_finish_s(const program_pace& pace, std::uint64_t lines) {
  if (pace.us_per_line() <= 0) return 0;
  const double seconds =
      static_cast<double>(pace.startup_ms()) / 1000 + static_cast<double>(lines) * pace.us_per_line() / 1e6;
  return static_cast<std::int64_t>(std::ceil(2 * seconds)) + 10;
}

}  // namespace keyscript
