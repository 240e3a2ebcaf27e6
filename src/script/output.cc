#include "script/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static char output_buffer[OUTPUT_CAPACITY + OUTPUT_SLACK];
static std::size_t output_used = 0;

[[noreturn]] static void fail_write(int error) {
  std::fprintf(stderr, "keyscript: write error: %s\n", std::strerror(error));
  std::exit(1);
}

// A pipe holds 64 KiB by default, so each full buffer would cost the writer
// and the reader several rounds of sleeping and waking. Growing the pipe to
// the buffer's size lets one write hand over a whole buffer; it roughly
// halves the time of a large script into a pipe. Anything that is not a pipe,
// or a pipe that is already larger or cannot grow, is left as it is.
static void widen_pipe() {
#ifdef F_SETPIPE_SZ
  const int size = ::fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
  if (size > 0 && static_cast<std::size_t>(size) < OUTPUT_CAPACITY) {
    ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, static_cast<int>(OUTPUT_CAPACITY));
  }
#endif
}

void flush_output() {
  static bool pipe_widened = false;
  if (!pipe_widened) {
    widen_pipe();
    pipe_widened = true;
  }
  const char* next = output_buffer;
  const char* const end = output_buffer + output_used;
  while (next < end) {
    const ssize_t written = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(end - next));
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      fail_write(errno);
    }
    next += written;
  }
  output_used = 0;
}

char* output_reserve(std::size_t bytes) {
  if (output_used + bytes > OUTPUT_CAPACITY) {
    flush_output();
  }
  return output_buffer + output_used;
}

void output_commit(const char* end) { output_used = static_cast<std::size_t>(end - output_buffer); }

void write_output(std::string_view text) {
  while (!text.empty()) {
    const std::size_t part = text.size() < OUTPUT_CAPACITY ? text.size() : OUTPUT_CAPACITY;
    char* at = output_reserve(part);
    std::memcpy(at, text.data(), part);
    output_commit(at + part);
    text.remove_prefix(part);
  }
}
