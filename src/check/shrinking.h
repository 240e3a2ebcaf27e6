#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "check/run_check.h"
#include "check/runner.h"
#include "check/verdict.h"
#include "io/messages.h"
#include "shrink/shrink.h"

// Shrinking a failing script by running the program on candidates, several
// side by side, and taking the first that fails the same way in the
// reducer's order, so that the result does not depend on how many run at
// once.

namespace keyscript {

struct shrink_settings {
  run_settings run;   // with a time limit for each candidate
  unsigned jobs = 1;  // candidates run side by side
  // One a job, kept from run to run (under --persistent, a live process
  // each); none: a process of its own for every candidate.
  std::span<program_runner> runners;
  const std::atomic<bool>* stop = nullptr;  // set: give up, keeping the best so far
  std::function<void(const shrink_progress&)> on_progress;
};

// Reduces `failing`, on which `program` fails as `original` says.
shrink_result shrink_failure(const process_command& program, script failing, const run_verdict& original,
                             const shrink_settings& settings);

struct shrink_outcome {
  script value;         // the shortest script known to fail as the run did
  run_verdict verdict;  // of the last run on it
  std::uint64_t candidates;
  bool stopped_early;
  double seconds;
  bool confirmed = true;  // the last run on it failed as the failing run did
};

struct shrink_plan {
  semantics kind;
  run_limits candidate_limits;
  run_limits failing_run_limits;  // what the failing run had, for the last run on the result
  unsigned jobs;
  double seconds;                     // at most, then the best so far
  std::span<program_runner> runners;  // one a job, or none
};

// Shrinks with progress on `messages` (one line redrawn on a terminal, a line
// every few seconds elsewhere), stopping at the plan's time or when
// `interrupted` is set, and runs the program once more on the result, with
// the limits the failing run had: a timeout found under a candidate's
// shorter limit must show under those too, or the result is not kept.
shrink_outcome shrink_with_progress(const process_command& program, script failing, const run_verdict& original,
                                    const shrink_plan& plan, const std::atomic<bool>& interrupted,
                                    message_stream& messages);

// Runs the program on a whole script value.
run_verdict check_script(const process_command& program, const script& value, const run_settings& settings);

}  // namespace keyscript
