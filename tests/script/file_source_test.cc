#include "script/file_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace keyscript {
namespace {

// The parts a file_source hands out for a file holding `text`, joined.
std::string read_back(const std::string& text) {
  char path[] = "/tmp/keyscript_file_source_XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  lseek(fd, 0, SEEK_SET);
  std::string got;
  {
    file_source source(fd);
    for (line_span part = source.next(); part.size != 0; part = source.next()) {
      EXPECT_EQ(part.data[part.size - 1], '\n');
      got.append(part.data, part.size);
    }
    EXPECT_EQ(source.error(), 0);
  }
  unlink(path);
  return got;
}

TEST(FileSource, HandsOutTheLinesAsAScriptWritesThem) {
  std::string long_script = "i\r\n";
  std::string long_expected = "i\n";
  for (int key = 0; key < 40000; ++key) {  // several parts
    long_script += std::to_string(key % 32768) + (key % 3 == 0 ? "\r\n" : "\n");
    long_expected += std::to_string(key % 32768) + "\n";
  }
  const struct {
    std::string text;
    std::string lines;
  } cases[] = {
      {"i\n5\n-1\nq\n", "i\n5\n-1\nq\n"},
      {"i\r\n5\r\n-1\r\nd 5\r\nq\r\n", "i\n5\n-1\nd 5\nq\n"},
      {"s\nq", "s\nq\n"},
      {"q", "q\n"},
      {long_script + "-1\r\nq", long_expected + "-1\nq\n"},
  };
  for (const auto& c : cases) {
    // Not EXPECT_EQ: its diff of two long texts takes minutes.
    EXPECT_TRUE(read_back(c.text) == c.lines) << c.text.substr(0, 40);
  }
}

}  // namespace
}  // namespace keyscript
