#include "check/runner.h"

#include <chrono>
#include <utility>
#include <variant>

namespace keyscript {

namespace {

std::int64_t milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

run_verdict fresh_run(const process_command& command, const script_opener& open, run_settings settings, bool end_line) {
  const std::unique_ptr<line_source> feed = open();
  const std::unique_ptr<line_source> expected = open();
  settings.end_line = end_line;
  return check_run(command, *feed, *expected, settings);
}

}  // namespace

program_runner::program_runner(const process_command& program, bool persistent)
    : plain_(program), persistent_command_(program), persistent_(persistent) {
  persistent_command_.environment.emplace_back(PERSISTENT_VARIABLE);
}

program_runner::~program_runner() {
  if (live_.started()) {
    finish_process(live_);
  }
}

// One script into the live process (started first when there is none). A
// script whose output ends with its end line leaves the process running for
// the next; anything else ends the process, judged as a run of its own is.
// A process that answers every listing but writes no end line does not
// follow the protocol: `not_persistent` says so, and nothing is claimed.
run_verdict program_runner::run_in_live_process(line_source& feed, line_source& expected, const run_settings& settings,
                                                bool& not_persistent) {
  if (!live_.started()) {
    live_ = start_process(persistent_command_);
    scripts_in_live_ = 0;
    if (!live_.started()) {
      run_verdict not_started;
      not_started.outcome = run_not_started{live_.start_error};
      return not_started;
    }
  }
  listing_checker checker(expected, settings.kind, true);
  checking_sink out(checker);
  std::string errors;
  errors_sink err(errors);
  const auto start = std::chrono::steady_clock::now();
  const process_ending ending = pump_process(live_, &feed, input_end::keep_open, out, err, limits_of(settings));
  if (ending == process_ending::paused && !checker.verdict().failed) {
    ++scripts_in_live_;
    run_verdict passed;
    passed.elapsed_ms = milliseconds_since(start);
    return passed;
  }
  process_result result = finish_process(live_);
  live_ = process_run();
  result.elapsed_ms = milliseconds_since(start);
  if (ending == process_ending::stalled || ending == process_ending::timed_out || ending == process_ending::exited) {
    checker.finish();
    // Every listing right and no end line: it waits for input it was not
    // promised, or it exited as a program of one script does (by itself).
    const bool exited_well = ending != process_ending::exited || (result.status == 0 && result.signal == 0);
    not_persistent = !checker.verdict().failed && !checker.ended() && exited_well;
  }
  return verdict_of(result, checker, std::move(errors));
}

run_verdict program_runner::run(const script_opener& open, const run_settings& settings) {
  if (!persistent_) {
    return fresh_run(plain_, open, settings, false);
  }
  const std::uint64_t answered_before = live_.started() ? scripts_in_live_ : 0;
  bool not_persistent = false;
  run_verdict verdict;
  {
    const std::unique_ptr<line_source> feed = open();
    const std::unique_ptr<line_source> expected = open();
    verdict = run_in_live_process(*feed, *expected, settings, not_persistent);
  }
  if (not_persistent) {
    // It answered as a program of one script does, or it hung where a
    // correct program has nothing more to list: run alone, a pass says
    // which (a process a script from now on), and a failure is the
    // script's own.
    const bool hung = failure_of(verdict) != nullptr;
    run_verdict alone = fresh_run(plain_, open, settings, false);
    if (!hung || failure_of(alone) == nullptr) {
      persistent_ = false;
      fell_back_ = true;
    }
    return alone;
  }
  const run_failed* failure = failure_of(verdict);
  if (failure == nullptr || answered_before == 0) {
    return verdict;
  }
  // Alone, the script has a verdict of its own: a failure, whichever, is
  // that verdict; only a pass tells of state kept from earlier scripts.
  run_verdict alone = fresh_run(persistent_command_, open, settings, true);
  if (!std::holds_alternative<run_passed>(alone.outcome)) {
    return alone;
  }
  run_failed kept_state = *failure;
  kept_state.kind = failure_kind::state;
  kept_state.scripts_before = answered_before;
  verdict.outcome = std::move(kept_state);
  return verdict;
}

}  // namespace keyscript
