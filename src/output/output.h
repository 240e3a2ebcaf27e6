#pragma once

#include <cstddef>
#include <string_view>

// Standard output goes through one large buffer that is written with few
// write calls. A write that fails ends the run: the reason goes to standard
// error and the exit status is 1 (or the program's own choice), so a full
// disk or a closed standard output never passes for success. Messages on standard error are written at once,
// each with a single write where the descriptor takes it whole.

namespace keyscript {

inline constexpr std::size_t OUTPUT_CAPACITY = std::size_t{1} << 18;
// Room the hot loop may scribble past what it reserved (whole 8-byte copies).
inline constexpr std::size_t OUTPUT_SLACK = 16;

// One call of the platform's write: the bytes accepted (possibly fewer than
// asked), or -1 with errno set.
using write_function = std::ptrdiff_t (*)(int fd, const char* data, std::size_t size);
std::ptrdiff_t system_write(int fd, const char* data, std::size_t size);

// The platform's close: 0, or -1 with errno set.
using close_function = int (*)(int fd);
int system_close(int fd);

// Hands every byte of `data` to `fd`, going on after short writes and
// interrupted calls, and waiting while a non-blocking descriptor is full.
// Returns 0, or the errno value of the failure; a write that accepts nothing
// is a failure (ENOSPC), since trying again would never end.
int write_all(int fd, const char* data, std::size_t size, write_function write_some = system_write);

// Returns where the next `bytes` bytes (plus OUTPUT_SLACK) may be written,
// flushing first if they would not fit; `bytes` is at most OUTPUT_CAPACITY.
char* output_reserve(std::size_t bytes);
// Marks everything before `end`, a pointer into the reserved room, as written.
void output_commit(const char* end);

// The program that a failed write names ("keyscript: write error: ..."),
// and the exit status it ends with; keyscript and 1 unless set.
void name_program(const char* name, int status_on_write_error);

void write_output(std::string_view text);
void flush_output(write_function write_some = system_write);

// Flushes standard output and closes it. Some file systems (NFS, FUSE and
// others) report a failed write-back only when the file is closed, so a
// failed close is a failed write and ends the run like one.
void close_output(close_function close_fd = system_close);

// A line for standard error, formatted as printf does, of any length. A
// message that cannot be written is remembered, so that the run can still
// end with status 1.
[[gnu::format(printf, 1, 2)]] void write_message(const char* format, ...);
bool messages_failed();

// Both standard streams are text streams: where the platform translates line
// ends (Windows), every "\n" leaves the process as CR LF.
void use_text_streams();

}  // namespace keyscript
