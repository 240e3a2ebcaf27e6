#include "check/ordered_runs.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace keyscript {

namespace {

// How often the taker looks at `interrupted` while it waits.
constexpr std::chrono::milliseconds WATCH_TICK{20};

struct shared_runs {
  std::mutex lock;
  std::condition_variable done;
  std::size_t next = 0;                  // the next index to start
  std::size_t stop_at;                   // no index from here on starts
  std::deque<std::atomic<bool>> cancel;  // one a run
  std::vector<std::optional<run_verdict>> verdicts;

  explicit shared_runs(std::size_t count) : stop_at(count), cancel(count), verdicts(count) {}

  void cancel_from(std::size_t index) {
    const std::lock_guard<std::mutex> held(lock);
    stop_at = std::min(stop_at, index);
    for (std::size_t i = index; i < cancel.size(); ++i) {
      cancel[i].store(true);
    }
  }
};

void work(shared_runs& runs, std::size_t worker,
          const std::function<run_verdict(std::size_t, std::size_t, const std::atomic<bool>&)>& run) {
  for (;;) {
    std::size_t index = 0;
    {
      const std::lock_guard<std::mutex> held(runs.lock);
      if (runs.next >= runs.stop_at) return;
      index = runs.next++;
    }
    run_verdict verdict = run(index, worker, runs.cancel[index]);
    {
      const std::lock_guard<std::mutex> held(runs.lock);
      runs.verdicts[index] = std::move(verdict);
    }
    runs.done.notify_all();
  }
}

}  // namespace

void run_in_order(std::size_t count, unsigned jobs,
                  const std::function<run_verdict(std::size_t, std::size_t, const std::atomic<bool>&)>& run,
                  const std::function<bool(std::size_t, const run_verdict&)>& take,
                  const std::atomic<bool>& interrupted) {
  shared_runs runs(count);
  std::vector<std::thread> workers;
  const std::size_t running = std::min<std::size_t>(count, jobs > 0 ? jobs : 1);
  for (std::size_t i = 0; i < running; ++i) {
    workers.emplace_back(work, std::ref(runs), i, std::cref(run));
  }
  for (std::size_t index = 0; index < count; ++index) {
    std::unique_lock<std::mutex> held(runs.lock);
    while (!runs.verdicts[index]) {
      runs.done.wait_for(held, WATCH_TICK);
      if (interrupted.load()) {
        runs.stop_at = std::min(runs.stop_at, index);
        for (std::size_t i = index; i < count; ++i) {
          runs.cancel[i].store(true);
        }
        if (index >= runs.next && !runs.verdicts[index]) {
          runs.verdicts[index] = run_verdict{};  // never started: cancelled all the same, a pass
        }
      }
    }
    const run_verdict verdict = std::move(*runs.verdicts[index]);
    held.unlock();
    if (!take(index, verdict)) {
      break;
    }
  }
  runs.cancel_from(0);
  for (std::thread& worker : workers) {
    worker.join();
  }
}

}  // namespace keyscript
