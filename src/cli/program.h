#pragma once

#include "io/messages.h"
#include "io/platform.h"
#include "io/writer.h"

// What every program does at its end, and for --version.

namespace keyscript {

// "PROGRAM VERSION\n", the one line --version writes.
void write_version(output_writer& out, const char* program);

// Flushes and closes standard output and returns `status`, unless that
// fails: some file systems (NFS, FUSE) report a failed write-back only at
// the close, and a write that failed then has failed all the same. Then
// "PROGRAM: write error: ..." goes to standard error and the run ends with
// `failed_write_status`.
int end_program(int status, output_writer& out, message_stream& messages, close_function close_fd,
                int failed_write_status);

}  // namespace keyscript
