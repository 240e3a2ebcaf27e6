#pragma once

#include <cstddef>
#include <string_view>

#include "io/platform.h"

// Output to one descriptor through one large buffer, written with few calls.
// A write that fails is remembered, not acted on: the buffer's bytes from
// then on are dropped, and the run that owns the writer asks error() when it
// is time to decide, so that a full disk or a closed output never passes for
// success and a reader that goes away (EPIPE) is a finding its caller can
// handle.

namespace keyscript {

inline constexpr std::size_t OUTPUT_CAPACITY = std::size_t{1} << 18;
// Room a hot loop may scribble past what it reserved (whole 8-byte copies).
inline constexpr std::size_t OUTPUT_SLACK = 16;

class output_writer {
 public:
  explicit output_writer(int fd, write_function write_some = system_write) : fd_(fd), write_some_(write_some) {}
  output_writer(const output_writer&) = delete;
  output_writer& operator=(const output_writer&) = delete;

  // Where the next `bytes` bytes (plus OUTPUT_SLACK) may be written, flushing
  // first if they would not fit; `bytes` is at most OUTPUT_CAPACITY.
  char* reserve(std::size_t bytes) {
    if (used_ + bytes > OUTPUT_CAPACITY) {
      flush();
    }
    return buffer_ + used_;
  }
  // Marks everything before `end`, a pointer into the reserved room, as written.
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_); }

  void write(std::string_view text);
  // Hands the buffer to the descriptor: 0, or the errno value of the first
  // failed write (every later call returns it too).
  int flush();
  // Flushes and closes the descriptor. Some file systems (NFS, FUSE and
  // others) report a failed write-back only when the file is closed, so a
  // failed close is a failed write.
  int close(close_function close_fd = system_close);
  int error() const { return error_; }

 private:
  int fd_;
  write_function write_some_;
  std::size_t used_ = 0;
  int error_ = 0;
  bool pipe_widened_ = false;
  char buffer_[OUTPUT_CAPACITY + OUTPUT_SLACK];
};

}  // namespace keyscript
