#include "check/ordered_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace keyscript {
namespace {

// Runs finish out of order (the earlier ones take longer), and runs 7 and 9
// fail; a run that is cancelled ends at once.
run_verdict fake_run(std::size_t index, const std::atomic<bool>& cancel) {
  for (int tick = 0; tick < static_cast<int>(12 - index % 12) && !cancel.load(); ++tick) {
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  run_verdict verdict;  // a pass
  if (!cancel.load() && (index == 7 || index == 9)) {
    verdict.outcome = run_failed{failure_kind::listing, 0, 0, {}, {}, false};
  }
  return verdict;
}

TEST(OrderedRuns, TheFirstFailureInRunOrderWhateverTheJobs) {
  for (const unsigned jobs : {1U, 2U, 3U, 8U}) {
    std::vector<std::size_t> taken;
    std::mutex started_lock;
    std::set<std::size_t> started;
    const std::atomic<bool> interrupted{false};
    run_in_order(
        20, jobs,
        [&](std::size_t index, std::size_t /*worker*/, const std::atomic<bool>& cancel) {
          {
            const std::lock_guard<std::mutex> held(started_lock);
            started.insert(index);
          }
          return fake_run(index, cancel);
        },
        [&](std::size_t index, const run_verdict& verdict) {
          taken.push_back(index);
          return failure_of(verdict) == nullptr;
        },
        interrupted);
    // Run 9 fails before run 7 does: the one taken is 7 all the same.
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7})) << jobs;
    EXPECT_TRUE(started.contains(7)) << jobs;
  }
}

TEST(OrderedRuns, AnInterruptEndsTheRunsEvenBeforeTheyStart) {
  const std::atomic<bool> interrupted{true};
  std::vector<std::size_t> taken;
  run_in_order(
      1000, 2,
      [](std::size_t index, std::size_t /*worker*/, const std::atomic<bool>& cancel) {
        return fake_run(index, cancel);
      },
      [&](std::size_t index, const run_verdict& /*verdict*/) {
        taken.push_back(index);
        return false;  // as a session stops once it is interrupted
      },
      interrupted);
  EXPECT_EQ(taken, std::vector<std::size_t>{0});
}

}  // namespace
}  // namespace keyscript
