#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "check/verdict.h"

// Runs side by side whose verdicts are taken in run order, so that what is
// found does not depend on how many run at once: the first run in order
// that is not taken as a pass ends it all, the runs after it are cancelled,
// and every run before it has passed.

namespace keyscript {

// Calls `run(index, worker, cancel)` for the indexes 0 to `count` - 1, on
// `jobs` workers (numbered from 0) side by side, and hands each verdict to `take(index, verdict)` in index order;
// `take` returns false to stop there. `run` must end soon once `cancel` is
// set. When `interrupted` is set, every run is cancelled, and the next one
// taken is a cancelled one, a pass that claims nothing.
void run_in_order(
    std::size_t count, unsigned jobs,
    const std::function<run_verdict(std::size_t index, std::size_t worker, const std::atomic<bool>& cancel)>& run,
    const std::function<bool(std::size_t index, const run_verdict& verdict)>& take,
    const std::atomic<bool>& interrupted);

}  // namespace keyscript
