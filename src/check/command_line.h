#pragma once

#include <atomic>

#include "io/platform.h"

namespace keyscript {

// Exit statuses: every run passed; a failure was found and reported; a
// usage error, a program that cannot be started, a script that cannot be
// read or is not well formed, or a failure of keyscript-check itself.
inline constexpr int CHECK_PASSED = 0;
inline constexpr int CHECK_FAILED = 1;
inline constexpr int CHECK_TROUBLE = 2;

// The whole run of keyscript-check on `streams`; returns the exit status.
// `interrupted` is set (by a signal handler) to stop early: a campaign stops,
// and a shrink keeps the best script so far.
int run_keyscript_check(int argc, char** argv, const std::atomic<bool>& interrupted,
                        const program_streams& streams = {});

}  // namespace keyscript
