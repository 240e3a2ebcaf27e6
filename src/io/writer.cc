#include "io/writer.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace keyscript {

// A pipe holds 64 KiB by default, so each full buffer would cost the writer
// and the reader several rounds of sleeping and waking. Growing the pipe to
// the buffer's size lets one write hand over a whole buffer; it roughly
// halves the time of a large script into a pipe. Anything that is not a pipe,
// or a pipe that is already larger or cannot grow, is left as it is.
static void widen_pipe(int fd) {
#ifdef F_SETPIPE_SZ
  const int size = ::fcntl(fd, F_GETPIPE_SZ);
  if (size > 0 && static_cast<std::size_t>(size) < OUTPUT_CAPACITY) {
    ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(OUTPUT_CAPACITY));
  }
#else
  (void)fd;
#endif
}

int output_writer::flush() {
  if (!pipe_widened_) {
    widen_pipe(fd_);
    pipe_widened_ = true;
  }
  if (error_ == 0) {
    error_ = write_all(fd_, buffer_, used_, write_some_);
  }
  used_ = 0;
  return error_;
}

void output_writer::write(std::string_view text) {
  while (!text.empty()) {
    const std::size_t part = text.size() < OUTPUT_CAPACITY ? text.size() : OUTPUT_CAPACITY;
    char* at = reserve(part);
    std::memcpy(at, text.data(), part);
    commit(at + part);
    text.remove_prefix(part);
  }
}

int output_writer::close(close_function close_fd) {
  flush();
  if (close_fd(fd_) != 0 && error_ == 0) {
    error_ = errno;
  }
  return error_;
}

}  // namespace keyscript
