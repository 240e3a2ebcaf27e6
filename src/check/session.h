#pragma once

#include <atomic>

#include "check/plan.h"
#include "io/messages.h"
#include "io/writer.h"

// Carries out a plan: runs the program on its scripts, judges each run,
// and reports the first failure, shrunk; returns the exit status.

namespace keyscript {

// `interrupted` is set (by a signal handler) to stop early: a campaign stops,
// and a shrink keeps the best script so far.
int run_session(const session_plan& plan, message_stream& messages, output_writer& out,
                const std::atomic<bool>& interrupted);

}  // namespace keyscript
