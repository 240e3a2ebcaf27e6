#include "io/file_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

namespace keyscript {
namespace {

std::string read_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct folder {
  std::string path;
  folder() {
    char name[] = "/tmp/keyscript_file_output_XXXXXX";
    path = mkdtemp(name);
  }
  ~folder() { (void)!std::system(("rm -rf '" + path + "'").c_str()); }
  folder(const folder&) = delete;
  folder& operator=(const folder&) = delete;
};

TEST(FileOutput, AReaderSeesTheOldFileWholeUntilTheNewOneIsWhole) {
  const folder work;
  const std::string path = work.path + "/script.txt";
  ASSERT_EQ(write_file(path.c_str(), [](output_writer& out) { out.write("i\n1\n-1\nq\n"); }).error, 0);
  chmod(path.c_str(), 0640);
  std::string seen_while_writing;
  const file_written again = write_file(path.c_str(), [&](output_writer& out) {
    out.write("s\n");
    out.flush();
    seen_while_writing = read_text(path);
    out.write("q\n");
  });
  EXPECT_EQ(again.error, 0);
  EXPECT_TRUE(again.replaced);
  EXPECT_EQ(seen_while_writing, "i\n1\n-1\nq\n");
  EXPECT_EQ(read_text(path), "s\nq\n");
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640U);  // the replaced file's permissions stay
  // No temporary file is left beside it.
  EXPECT_EQ(std::system(("test $(ls '" + work.path + "' | wc -l) = 1").c_str()), 0);
}

TEST(FileOutput, WhatStandsInTheWayIsFoundWithoutWriting) {
  const folder work;
  const std::string kept = work.path + "/kept.txt";
  std::ofstream(kept) << "kept\n";
  const struct {
    std::string path;
    int error;
  } cases[] = {
      {kept, 0},        {work.path + "/new.txt", 0}, {work.path, EISDIR}, {work.path + "/missing/new.txt", ENOENT},
      {"/dev/null", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check_writable(c.path.c_str()), c.error) << c.path;
  }
  EXPECT_EQ(read_text(kept), "kept\n");
  EXPECT_EQ(write_file((work.path + "/missing/new.txt").c_str(), [](output_writer& /*out*/) {}).error, ENOENT);
  // Anything but a regular file is written where it is.
  const file_written device = write_file("/dev/full", [](output_writer& out) { out.write("q\n"); });
  EXPECT_EQ(device.error, ENOSPC);
  EXPECT_FALSE(device.replaced);
}

}  // namespace
}  // namespace keyscript
