#pragma once

#include <cstdint>
#include <optional>

// How long a run may take, from what the program has shown of its pace:
// how long it takes to start (a run on the script "q" alone) and, once runs
// of some length have finished, the slowest it has gone a line.
//
// A run ends as a timeout when it passes either of two limits:
// - without progress (no byte of input taken, none of output given) for
//   10 s, plus ten times the start-up, plus 5 us for every line of the
//   script and its listings, since a program may read the whole script
//   before it works through it without a word;
// - in all, in a campaign, for 10 s, plus ten times the start-up, plus 10 us
//   a line (ten times the pace of a slow interpreter); a run of its own has
//   no runs before it to size this by, and only the first limit.
// --timeout replaces both with one limit on the whole run; --idle-timeout
// sets the first. The limits of a campaign's runs depend on the start-up
// alone, not on runs that went before, so that a verdict does not depend on
// how many runs go side by side.
//
// A shrink's candidates are small and the program's pace is known by then:
// each gets half a second (--candidate-floor), plus ten times the start-up,
// plus ten times the slowest pace seen a line, and never more than the
// failing run had.

namespace keyscript {

inline constexpr std::int64_t NO_LIMIT = -1;

struct run_limits {
  std::int64_t whole_ms = NO_LIMIT;
  std::int64_t idle_ms = NO_LIMIT;
};

// What the runs so far say of the program's pace.
class program_pace {
 public:
  // A run on the script "q" alone took this long.
  void set_startup(std::int64_t elapsed_ms) { startup_ms_ = elapsed_ms; }
  // A run of `lines` lines (script and listings) finished in `elapsed_ms`.
  void note_finished(std::uint64_t lines, std::int64_t elapsed_ms);

  std::int64_t startup_ms() const { return startup_ms_; }
  // The slowest a line has gone, in microseconds; 0 before a run of enough
  // lines to tell.
  double us_per_line() const { return us_per_line_; }
  // The largest finished run: its lines and how long it took.
  std::uint64_t largest_lines() const { return largest_lines_; }
  std::int64_t largest_ms() const { return largest_ms_; }

 private:
  std::int64_t startup_ms_ = 0;
  double us_per_line_ = 0;
  std::uint64_t largest_lines_ = 0;
  std::int64_t largest_ms_ = 0;
};

// What the user gave: --timeout, --idle-timeout and --candidate-floor, in
// seconds.
struct given_limits {
  std::optional<double> whole_s;
  std::optional<double> idle_s;
  std::optional<double> candidate_floor_s;
};

run_limits campaign_run_limits(const program_pace& pace, std::uint64_t lines, const given_limits& given);
run_limits single_run_limits(const program_pace& pace, std::uint64_t lines, const given_limits& given);
run_limits candidate_limits(const program_pace& pace, std::uint64_t lines, const run_limits& failing_run,
                            const given_limits& given);

// A --timeout, in whole seconds, that would let a run of `lines` finish at
// the slowest pace seen, with room to spare; 0 when the pace is not known.
std::int64_t timeout_to_finish_s(const program_pace& pace, std::uint64_t lines);

}  // namespace keyscript
