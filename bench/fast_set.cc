// A fast, correct program under test, as the yardstick for keyscript-check:
// a set of keys 0 to 32767 in a byte array, its input read and its listings
// written in large blocks. With --keep it keeps all its output until the end,
// as some programs do, which a checker must not deadlock on.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t BLOCK = std::size_t{1} << 20;
constexpr int KEYS = 32768;

struct output {
  std::string pending;
  bool keep;
  void flush() {
    for (std::size_t at = 0; at < pending.size();) {
      const ssize_t put = write(STDOUT_FILENO, pending.data() + at, pending.size() - at);
      if (put <= 0) {
        return;
      }
      at += static_cast<std::size_t>(put);
    }
    pending.clear();
  }
  void list(const std::vector<char>& held) {
    for (int key = 0; key < KEYS; ++key) {
      if (held[static_cast<std::size_t>(key)] != 0) {
        pending += std::to_string(key);
        pending += '\n';
      }
    }
    if (!keep && pending.size() >= BLOCK) {
      flush();
    }
  }
};

int number(const char* text, std::size_t length) {
  int value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  output out{{}, argc > 1 && std::strcmp(argv[1], "--keep") == 0};
  std::vector<char> held(KEYS, 0);
  std::vector<char> in(BLOCK);
  std::array<char, 32> line{};
  std::size_t length = 0;
  bool in_block = false;
  for (ssize_t got = 0; (got = read(STDIN_FILENO, in.data(), in.size())) > 0;) {
    for (ssize_t i = 0; i < got; ++i) {
      const char c = in[static_cast<std::size_t>(i)];
      if (c != '\n') {
        length += length < line.size() ? 1 : 0;
        line[length - 1] = c;
        continue;
      }
      if (in_block) {
        if (line[0] == '-') {
          in_block = false;
        } else {
          held[static_cast<std::size_t>(number(line.data(), length))] = 1;
        }
      } else if (line[0] == 'i') {
        in_block = true;
      } else if (line[0] == 'd') {
        held[static_cast<std::size_t>(number(line.data() + 2, length - 2))] = 0;
      } else {
        out.list(held);
      }
      length = 0;
    }
  }
  out.flush();
  return 0;
}
