#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

struct captured {
  std::string out;
  std::string err;
};

inline std::string read_file(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs `body(out_fd, err_fd)` with two new files for it to write, and returns
// what it wrote to each.
template <typename Body>
captured capture_output(Body body) {
  char out_path[] = "/tmp/keyscript_out_XXXXXX";
  char err_path[] = "/tmp/keyscript_err_XXXXXX";
  const int out_file = mkstemp(out_path);
  const int err_file = mkstemp(err_path);
  body(out_file, err_file);
  close(out_file);
  close(err_file);
  captured result{read_file(out_path), read_file(err_path)};
  unlink(out_path);
  unlink(err_path);
  return result;
}

// A close whose write-back fails, as NFS and FUSE can report only at close.
inline int close_fails(int fd) {
  ::close(fd);
  errno = EIO;
  return -1;
}
