#pragma once

#include "io/platform.h"
#include "process/live_runs.h"

namespace keyscript {

// Exit statuses: every run passed; a failure was found and reported; a
// usage error, a program that cannot be started, a script that cannot be
// read or is not well formed, or a failure of keyscript-check itself.
inline constexpr int CHECK_PASSED = 0;
inline constexpr int CHECK_FAILED = 1;
inline constexpr int CHECK_TROUBLE = 2;

// The whole run of keyscript-check on `streams`; returns the exit status.
// Every run of the program joins `runs`, whose `interrupted` is set (by a
// signal handler) to stop early: a campaign stops, and a shrink keeps the
// best script so far.
int run_keyscript_check(int argc, char** argv, live_runs& runs, const program_streams& streams = {});

}  // namespace keyscript
