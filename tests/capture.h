#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "output/output.h"

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

// Runs `body` with standard output and standard error sent to files, and
// returns what it wrote to each.
template <typename Body>
captured capture_output(Body body) {
  char out_path[] = "/tmp/keyscript_out_XXXXXX";
  char err_path[] = "/tmp/keyscript_err_XXXXXX";
  const int out_file = mkstemp(out_path);
  const int err_file = mkstemp(err_path);
  std::fflush(stderr);
  const int saved_out = dup(STDOUT_FILENO);
  const int saved_err = dup(STDERR_FILENO);
  dup2(out_file, STDOUT_FILENO);
  dup2(err_file, STDERR_FILENO);
  body();
  keyscript::flush_output();
  std::fflush(stderr);
  dup2(saved_out, STDOUT_FILENO);
  dup2(saved_err, STDERR_FILENO);
  for (const int fd : {saved_out, saved_err, out_file, err_file}) {
    close(fd);
  }
  captured result{read_file(out_path), read_file(err_path)};
  unlink(out_path);
  unlink(err_path);
  return result;
}
