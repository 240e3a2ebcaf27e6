#include "io/platform.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace keyscript {

#ifdef _WIN32
// The Windows errors of a write into a pipe whose reader has gone:
// ERROR_NO_DATA ("the pipe is being closed"), and ERROR_PIPE_NOT_CONNECTED,
// which wine gives for the same thing.
static constexpr unsigned long WINDOWS_ERROR_NO_DATA = 232;
static constexpr unsigned long WINDOWS_ERROR_PIPE_NOT_CONNECTED = 233;
#endif

std::ptrdiff_t system_read(int fd, char* data, std::size_t size) {
#ifdef _WIN32
  constexpr std::size_t most = std::size_t{1} << 30;  // _read takes an unsigned int
  return _read(fd, data, static_cast<unsigned int>(size < most ? size : most));
#else
  return ::read(fd, data, size);
#endif
}

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

int open_for_reading(const char* path) {
#ifdef _WIN32
  return _open(path, _O_RDONLY | _O_BINARY);
#else
  return ::open(path, O_RDONLY | O_CLOEXEC);
#endif
}

void use_text_mode(int fd) {
#ifdef _WIN32
  _setmode(fd, _O_TEXT);
#else
  (void)fd;
#endif
}

void use_binary_mode(int fd) {
#ifdef _WIN32
  _setmode(fd, _O_BINARY);
#else
  (void)fd;
#endif
}

#ifdef _WIN32
int wait_until_writable(int /*fd*/) { return EAGAIN; }
int wait_until_readable(int /*fd*/) { return EAGAIN; }
#else
static int wait_for(int fd, short events) {
  pollfd waiting{fd, events, 0};
  while (::poll(&waiting, 1, -1) < 0) {
    if (errno != EINTR) {
      return errno;
    }
  }
  return 0;  // ready, or in error: the next call says which
}

int wait_until_writable(int fd) { return wait_for(fd, POLLOUT); }
int wait_until_readable(int fd) { return wait_for(fd, POLLIN); }
#endif

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

std::ptrdiff_t read_some(int fd, char* data, std::size_t size, read_function read) {
  for (;;) {
    const std::ptrdiff_t got = read(fd, data, size);
    if (got >= 0) {
      return got;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const int error = wait_until_readable(fd);
      if (error != 0) {
        errno = error;
        return -1;
      }
    } else if (errno != EINTR) {
      return -1;
    }
  }
}

}  // namespace keyscript
