#pragma once

#include "output/output.h"

namespace keyscript {

// Exit statuses: the script is well-formed; a line was refused or the script
// ended early; the options, the input or the output failed.
inline constexpr int EXPECT_COMPLETE = 0;
inline constexpr int EXPECT_MALFORMED = 1;
inline constexpr int EXPECT_TROUBLE = 2;

// The whole run of keyscript-expect; returns the exit status. Standard
// output is closed at the end with `close_fd`.
int run_keyscript_expect(int argc, char** argv, close_function close_fd = system_close);

}  // namespace keyscript
