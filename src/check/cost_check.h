#pragma once

#include <atomic>
#include <cstdint>

#include "check/plan.h"
#include "check/time_limits.h"
#include "io/messages.h"
#include "io/writer.h"

// The cost check as a session carries it out (--cost): the ladder's
// scripts run one at a time, each in a fresh process, since CPU time is
// known when a process ends, and runs side by side would share the
// processor's caches and slow each other; every run is judged as a
// campaign's is, and the outcome reported.

namespace keyscript {

// What the session knows of the program: its pace (for the time limits)
// and the CPU time of its run on "q" alone.
struct measured_startup {
  const program_pace& pace;
  std::int64_t cpu_us;
};

// Returns the exit status.
int check_cost(const cost_ladder& ladder, const session_plan& plan, const measured_startup& startup,
               message_stream& messages, output_writer& out, const std::atomic<bool>& interrupted);

}  // namespace keyscript
