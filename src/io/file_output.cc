#include "io/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace keyscript {

namespace {

std::string directory_of(const char* path) {
  const std::string text(path);
  const std::size_t slash = text.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : text.substr(0, slash);
}

bool is_regular_or_absent(const char* path, bool& exists, mode_t& mode) {
  struct stat status {};
  exists = stat(path, &status) == 0;
  mode = status.st_mode;
  return !exists || S_ISREG(status.st_mode);
}

// A new file beside `path`, named after it and this process, made here and
// now (O_EXCL), with the permissions a new file gets; -1 with errno set.
int open_temporary(const char* path, std::string& name) {
  const auto salt = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = std::string(path) + ".tmp" + std::to_string(getpid()) + "." + std::to_string(salt + attempt);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// A file that is not a regular one is written where it is.
int write_in_place(const char* path, const std::function<void(output_writer&)>& write) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  auto out = std::make_unique<output_writer>(fd);
  write(*out);
  return out->close();
}

}  // namespace

int check_writable(const char* path) {
  bool exists = false;
  mode_t mode = 0;
  if (!is_regular_or_absent(path, exists, mode)) {
    if (S_ISDIR(mode)) return EISDIR;
    const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // a FIFO without a reader: ENXIO
    if (fd < 0) return errno == ENXIO ? 0 : errno;
    close(fd);
    return 0;
  }
  // The temporary file goes beside it, and is renamed over it.
  const std::string directory = directory_of(path);
  return access(directory.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

file_written write_file(const char* path, const std::function<void(output_writer&)>& write) {
  file_written result;
  bool exists = false;
  mode_t mode = 0;
  if (!is_regular_or_absent(path, exists, mode)) {
    result.error = write_in_place(path, write);
    return result;
  }
  std::string temporary;
  const int fd = open_temporary(path, temporary);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  if (exists) {
    fchmod(fd, mode & 07777);  // the file it replaces keeps its permissions
  }
  auto out = std::make_unique<output_writer>(fd);
  write(*out);
  result.error = out->close();
  if (result.error == 0 && rename(temporary.c_str(), path) != 0) {
    result.error = errno;
  }
  if (result.error != 0) {
    unlink(temporary.c_str());
    return result;
  }
  result.replaced = exists;
  return result;
}

}  // namespace keyscript
