#pragma once

#include <functional>

#include "io/writer.h"

// Whole files written so that no reader ever sees half of one: a regular
// file goes to a temporary name in its own directory and is renamed over the
// old one, so two writers of one name leave one whole file, never a mix;
// anything else at the path (a device, a FIFO) is written where it is.
// POSIX only.

namespace keyscript {

// Whether `path` could be written, found without writing it or truncating
// what is there: 0, or the errno value of what stands in the way (a missing
// or read-only directory, a directory at the path, a file that cannot be
// opened for writing).
int check_writable(const char* path);

struct file_written {
  int error = 0;          // 0, or the errno value of the first failure
  bool replaced = false;  // a regular file was there before, and is now replaced
};

// Writes the file at `path` with what `write` hands its writer.
file_written write_file(const char* path, const std::function<void(output_writer&)>& write);

}  // namespace keyscript
