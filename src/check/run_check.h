#pragma once

#include <atomic>
#include <cstdint>

#include "check/time_limits.h"
#include "check/verdict.h"
#include "process/process.h"
#include "script/source.h"

// One run of a program on one script, judged.

namespace keyscript {

struct run_settings {
  semantics kind = semantics::set;
  run_limits limits;
  const std::atomic<bool>* cancel = nullptr;  // set: the run ends at once
};

// Runs `program` with the script `feed` hands out on its standard input, and
// checks its output against the same script handed out again by `expected`.
run_verdict check_run(const process_command& program, line_source& feed, line_source& expected,
                      const run_settings& settings);

}  // namespace keyscript
