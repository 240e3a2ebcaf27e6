#include "output/output.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace keyscript {

static constexpr int OUTPUT_FD = 1;
static constexpr int MESSAGE_FD = 2;

static char output_buffer[OUTPUT_CAPACITY + OUTPUT_SLACK];
static std::size_t output_used = 0;
static bool message_lost = false;

#ifdef _WIN32
// The Windows errors of a write into a pipe whose reader has gone:
// ERROR_NO_DATA ("the pipe is being closed"), and ERROR_PIPE_NOT_CONNECTED,
// which wine gives for the same thing.
static constexpr unsigned long WINDOWS_ERROR_NO_DATA = 232;
static constexpr unsigned long WINDOWS_ERROR_PIPE_NOT_CONNECTED = 233;
#endif

std::ptrdiff_t system_write(int fd, const char* data, std::size_t size) {
#ifdef _WIN32
  // _write takes an unsigned int and returns an int; a short write is fine.
  const int written = _write(fd, data, static_cast<unsigned int>(std::min<std::size_t>(size, INT_MAX)));
  // The C runtime reports a reader that has gone as EINVAL; it is EPIPE.
  if (written < 0 && errno == EINVAL &&
      (_doserrno == WINDOWS_ERROR_NO_DATA || _doserrno == WINDOWS_ERROR_PIPE_NOT_CONNECTED)) {
    errno = EPIPE;
  }
  return written;
#else
  return ::write(fd, data, size);
#endif
}

int system_close(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  return ::close(fd);
#endif
}

// Sleeps until `fd` can take more bytes; 0, or the errno value of a failed
// wait. The Windows C runtime has nothing like poll, so there a descriptor
// that reports EAGAIN fails the write rather than being retried in a loop.
static int wait_until_writable(int fd) {
#ifdef _WIN32
  (void)fd;
  return EAGAIN;
#else
  pollfd waiting{fd, POLLOUT, 0};
  while (::poll(&waiting, 1, -1) < 0) {
    if (errno != EINTR) {
      return errno;
    }
  }
  return 0;  // writable, or in error: the next write says which
#endif
}

int write_all(int fd, const char* data, std::size_t size, write_function write_some) {
  while (size > 0) {
    const std::ptrdiff_t written = write_some(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written == 0) {
      return ENOSPC;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const int error = wait_until_writable(fd);
      if (error != 0) {
        return error;
      }
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

void write_message(const char* format, ...) {
  char line[256];
  va_list values;
  va_list again;
  va_start(values, format);
  va_copy(again, values);
  const int length = std::vsnprintf(line, sizeof line, format, values);
  va_end(values);
  // The rare line that does not fit, such as one naming a long program
  // path, is formatted again into room of its own (malloc rather than a
  // std::string keeps the program free of libstdc++ and its start-up cost).
  char* longer = nullptr;
  if (length >= static_cast<int>(sizeof line)) {
    longer = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (longer != nullptr) {
      std::vsnprintf(longer, static_cast<std::size_t>(length) + 1, format, again);
    }
  }
  va_end(again);
  const bool formatted = length >= 0 && (length < static_cast<int>(sizeof line) || longer != nullptr);
  if (!formatted || write_all(MESSAGE_FD, longer != nullptr ? longer : line, static_cast<std::size_t>(length)) != 0) {
    message_lost = true;
  }
  std::free(longer);
}

bool messages_failed() { return message_lost; }

void use_text_streams() {
#ifdef _WIN32
  _setmode(OUTPUT_FD, _O_TEXT);
  _setmode(MESSAGE_FD, _O_TEXT);
#endif
}

static const char* program_name = "keyscript";
static int write_error_status = 1;

void name_program(const char* name, int status_on_write_error) {
  program_name = name;
  write_error_status = status_on_write_error;
}

[[noreturn]] static void fail_write(int error) {
  write_message("%s: write error: %s\n", program_name, std::strerror(error));
  std::exit(write_error_status);
}

// A pipe holds 64 KiB by default, so each full buffer would cost the writer
// and the reader several rounds of sleeping and waking. Growing the pipe to
// the buffer's size lets one write hand over a whole buffer; it roughly
// halves the time of a large script into a pipe. Anything that is not a pipe,
// or a pipe that is already larger or cannot grow, is left as it is.
static void widen_pipe() {
#ifdef F_SETPIPE_SZ
  const int size = ::fcntl(OUTPUT_FD, F_GETPIPE_SZ);
  if (size > 0 && static_cast<std::size_t>(size) < OUTPUT_CAPACITY) {
    ::fcntl(OUTPUT_FD, F_SETPIPE_SZ, static_cast<int>(OUTPUT_CAPACITY));
  }
#endif
}

void flush_output(write_function write_some) {
  static bool pipe_widened = false;
  if (!pipe_widened) {
    widen_pipe();
    pipe_widened = true;
  }
  const int error = write_all(OUTPUT_FD, output_buffer, output_used, write_some);
  if (error != 0) {
    fail_write(error);
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

void close_output(close_function close_fd) {
  flush_output();
  if (close_fd(OUTPUT_FD) != 0) {
    fail_write(errno);
  }
}

}  // namespace keyscript
