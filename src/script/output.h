#pragma once

#include <cstddef>
#include <string_view>

// Standard output goes through one large buffer that is written with few
// write(2) calls. A write that fails ends the run: the reason goes to
// standard error and the exit status is 1, so a full disk or a closed
// standard output never passes for success.

inline constexpr std::size_t OUTPUT_CAPACITY = std::size_t{1} << 18;
// Room the hot loop may scribble past what it reserved (whole 8-byte copies).
inline constexpr std::size_t OUTPUT_SLACK = 16;

// Returns where the next `bytes` bytes (plus OUTPUT_SLACK) may be written,
// flushing first if they would not fit; `bytes` is at most OUTPUT_CAPACITY.
char* output_reserve(std::size_t bytes);
// Marks everything before `end`, a pointer into the reserved room, as written.
void output_commit(const char* end);

void write_output(std::string_view text);
void flush_output();
