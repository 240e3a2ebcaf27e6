#include "check/shrinking.h"

#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <memory>
#include <thread>
#include <vector>

namespace keyscript {

namespace {

run_verdict check_candidate(const process_command& program, const candidate& change, const run_settings& settings) {
  candidate_source feed(change);
  candidate_source expected(change);
  return check_run(program, feed, expected, settings);
}

run_verdict check_candidate(program_runner& runner, const candidate& change, const run_settings& settings) {
  return runner.run([&change] { return std::make_unique<candidate_source>(change); }, settings);
}

class program_tester final : public candidate_tester {
 public:
  program_tester(const process_command& program, const run_verdict& original, const shrink_settings& settings)
      : program_(program), original_(original), settings_(settings) {}

  void answer(std::span<const candidate> batch, std::span<candidate_answer> answers) override {
    const auto run_one = [&](std::size_t i) { answers[i] = answer_one(batch[i], i); };
    // The batch is as large as the jobs, so each candidate gets a thread;
    // the first runs on this one.
    std::vector<std::thread> others;
    others.reserve(batch.size());
    for (std::size_t i = 1; i < batch.size(); ++i) {
      others.emplace_back(run_one, i);
    }
    if (!batch.empty()) {
      run_one(0);
    }
    for (std::thread& other : others) {
      other.join();
    }
  }

 private:
  // A candidate that ran out of time where the failure did not may have
  // failed the same way with the failure's time, which can be longer; one
  // that could not be started, or was stopped from outside, has not said
  // anything. None of them is a pass to remember.
  candidate_answer answer_one(const candidate& change, std::size_t job) const {
    const run_verdict verdict = job < settings_.runners.size()
                                    ? check_candidate(settings_.runners[job], change, settings_.run)
                                    : check_candidate(program_, change, settings_.run);
    if (same_failure(verdict, original_)) return candidate_answer::fails;
    const bool stopped = settings_.stop != nullptr && settings_.stop->load();
    const run_failed* failure = failure_of(verdict);
    // A run that fails only after other scripts in one process says
    // nothing of the candidate alone either.
    const bool timed_out_or_state =
        failure != nullptr && (failure->kind == failure_kind::timeout || failure->kind == failure_kind::state);
    const bool said_nothing = timed_out_or_state || std::holds_alternative<run_not_started>(verdict.outcome) || stopped;
    return said_nothing ? candidate_answer::uncertain : candidate_answer::passes;
  }

  const process_command& program_;
  const run_verdict& original_;
  const shrink_settings& settings_;
};

}  // namespace

run_verdict check_script(const process_command& program, const script& value, const run_settings& settings) {
  return check_candidate(program, without_items(value, 0, 0), settings);
}

shrink_result shrink_failure(const process_command& program, script failing, const run_verdict& original,
                             const shrink_settings& settings) {
  program_tester tester(program, original, settings);
  shrink_options options;
  options.batch = settings.jobs;
  if (settings.stop != nullptr) {
    options.should_stop = [stop = settings.stop] { return stop->load(); };
  }
  options.on_progress = settings.on_progress;
  return shrink(std::move(failing), tester, options);
}

shrink_outcome shrink_with_progress(const process_command& program, script failing, const run_verdict& original,
                                    const shrink_plan& plan, const std::atomic<bool>& interrupted,
                                    message_stream& messages) {
  using clock = std::chrono::steady_clock;
  const clock::time_point start = clock::now();
  const auto seconds_since_start = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
  // The stop flag is set by a watchdog at the time limit or on an interrupt,
  // and running candidates see it within a poll's tick.
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    while (!finished.load() && !stop.load()) {
      if (interrupted.load() || seconds_since_start() >= plan.seconds) {
        stop.store(true);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const bool terminal = isatty(messages.fd) == 1;
  double last_line = 0;
  shrink_settings settings;
  settings.run = {plan.kind, plan.candidate_limits, &stop};
  settings.jobs = plan.jobs;
  settings.runners = plan.runners;
  settings.stop = &stop;
  settings.on_progress = [&](const shrink_progress& now) {
    const double elapsed = seconds_since_start();
    if (terminal) {
      say(messages, "\rshrinking: %zu lines, %" PRIu64 " candidates, %.1f s ", now.lines, now.candidates_tried,
          elapsed);
    } else if (elapsed - last_line >= 5) {
      say(messages, "shrinking: %zu lines, %" PRIu64 " candidates, %.1f s\n", now.lines, now.candidates_tried, elapsed);
      last_line = elapsed;
    }
  };
  shrink_result result = shrink_failure(program, std::move(failing), original, settings);
  finished.store(true);
  watchdog.join();
  if (terminal) {
    say(messages, "\n");
  }
  // Once more, outside the reducer and with the failing run's own limits:
  // the script the report gives must fail as that run did.
  // An interrupt ends every run at once, and the best script so far stands
  // unconfirmed: stopped early, as the report says.
  if (interrupted.load()) {
    return {std::move(result.value), original, result.candidates_tried, true, seconds_since_start(), true};
  }
  run_settings again = settings.run;
  again.limits = plan.failing_run_limits;
  again.cancel = nullptr;
  const run_verdict verdict = check_script(program, result.value, again);
  const bool confirmed = same_failure(verdict, original);
  return {std::move(result.value), verdict,  result.candidates_tried, result.stopped_early,
          seconds_since_start(),   confirmed};
}

}  // namespace keyscript
