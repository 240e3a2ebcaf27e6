#pragma once

#include <cstddef>

// The platform's calls for reading and writing descriptors, in one place, so
// that Windows' C runtime and POSIX differ here and nowhere else.

namespace keyscript {

// One call of the platform's read: the bytes read (0 at the end), or -1
// with errno set.
using read_function = std::ptrdiff_t (*)(int fd, char* data, std::size_t size);
std::ptrdiff_t system_read(int fd, char* data, std::size_t size);

// One call of the platform's write: the bytes accepted (possibly fewer than
// asked), or -1 with errno set. A reader that has gone is EPIPE everywhere.
using write_function = std::ptrdiff_t (*)(int fd, const char* data, std::size_t size);
std::ptrdiff_t system_write(int fd, const char* data, std::size_t size);

// The platform's close: 0, or -1 with errno set.
using close_function = int (*)(int fd);
int system_close(int fd);

// The descriptors a program's run reads and writes, and how it closes its
// output: the standard ones, or others that a test hands it.
struct program_streams {
  int in = 0;
  int out = 1;
  int err = 2;
  close_function close_out = system_close;
};

// Opens a file for reading, in binary mode: a descriptor, or -1 with errno.
int open_for_reading(const char* path);

// Where the platform translates line ends (Windows), text mode makes every
// "\n" written leave as CR LF; binary mode hands every byte over as it is.
void use_text_mode(int fd);
void use_binary_mode(int fd);

// Sleep until `fd` can take more bytes, or has bytes to read: 0, or the errno
// value of a failed wait. The Windows C runtime has nothing like poll, so
// there a descriptor that reports EAGAIN is not waited on (EAGAIN).
int wait_until_writable(int fd);
int wait_until_readable(int fd);

// Hands every byte of `data` to `fd`, going on after short writes and
// interrupted calls, and waiting while a non-blocking descriptor is full.
// Returns 0, or the errno value of the failure; a write that accepts nothing
// is a failure (ENOSPC), since trying again would never end.
int write_all(int fd, const char* data, std::size_t size, write_function write_some = system_write);

// Reads into `data` once, going on after interrupted calls and waiting while
// a non-blocking descriptor is empty: the bytes read (0 at the end), or -1
// with errno set.
std::ptrdiff_t read_some(int fd, char* data, std::size_t size, read_function read = system_read);

}  // namespace keyscript
