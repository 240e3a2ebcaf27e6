#pragma once

#include <atomic>

#include "io/platform.h"

namespace keyscript {

// The whole run of keyscript-check on `streams`; returns the exit status
// (check/options.h names them). `interrupted` is set (by a signal handler)
// to stop early: a campaign stops, and a shrink keeps the best script so far.
int run_keyscript_check(int argc, char** argv, const std::atomic<bool>& interrupted,
                        const program_streams& streams = {});

}  // namespace keyscript
