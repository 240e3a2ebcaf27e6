#pragma once

#include <cstdint>
#include <optional>

#include "io/platform.h"
#include "script/limits.h"

namespace keyscript {

// A count as read, and whether the reading passed over anything a user may
// not have meant: text after the digits other than white space ("1e6" is 1,
// "1,000" is 1), or digits whose value does not fit in 32 bits.
struct count_reading {
  std::int32_t value;
  bool text_after_digits;
  bool wrapped;
};

// Reads a count as "%d" does, except that digits past 32 bits wrap modulo
// 2^32 instead of saturating: leading white space, one optional sign right
// before the digits, then as many digits as there are; the rest is ignored.
// Empty when no digit follows.
std::optional<count_reading> parse_count(const char* text);

// A seed is digits only, 0 to 4294967295.
std::optional<std::uint32_t> parse_seed(const char* text);

// The whole run on `streams`; returns the exit status. The output is closed
// at the end, and a failed close fails the run.
int run_keyscript(int argc, char** argv, const program_streams& streams = {});

}  // namespace keyscript
