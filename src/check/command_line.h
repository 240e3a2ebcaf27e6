#pragma once

#include "io/platform.h"
#include "process/live_runs.h"

namespace keyscript {

// The whole run of keyscript-check on `streams`; returns the exit status
// (check/options.h names them).
// Every run of the program joins `runs`, whose `interrupted` is set (by a
// signal handler) to stop early: a campaign stops, and a shrink keeps the
// best script so far.
int run_keyscript_check(int argc, char** argv, live_runs& runs, const program_streams& streams = {});

}  // namespace keyscript
