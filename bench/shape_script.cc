// Writes the scripts of other shapes than keyscript's that
// bench/expect_shapes.sh times keyscript-expect on, fast enough that making
// them takes less than timing them:
//
//   shape_script empty-checkpoints N   N s lines, nothing held
//   shape_script full-checkpoints N    a block of 0..32767, then N s lines
//   shape_script cycle N               (i, 123, -1, d 123, s) N times
//   shape_script blocks N              blocks of 8191 to 8300 random keys, about N lines
//   shape_script deletions N           N d KEY lines of random keys
//   shape_script crlf                  standard input with CR LF line ends
//
// Every script ends in q. Keys come from a fixed xorshift, so the files are
// the same from run to run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t FLUSH_AT = std::size_t{1} << 20;
constexpr std::uint32_t KEY_VALUES = 32768;

struct output {
  std::string pending;

  void flush() {
    for (std::size_t at = 0; at < pending.size();) {
      const ssize_t put = write(STDOUT_FILENO, pending.data() + at, pending.size() - at);
      if (put <= 0) {
        std::perror("shape_script: write");
        std::exit(1);
      }
      at += static_cast<std::size_t>(put);
    }
    pending.clear();
  }
  void line(std::string_view text) {
    pending.append(text).push_back('\n');
    if (pending.size() >= FLUSH_AT) {
      flush();
    }
  }
  void key_line(std::string_view prefix, std::uint32_t key) { line(std::string(prefix) + std::to_string(key)); }
};

struct xorshift {
  std::uint64_t state = 0x9E3779B97F4A7C15U;
  std::uint32_t key() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::uint32_t>(state >> 32) % KEY_VALUES;
  }
};

void full_block(output& out) {
  out.line("i");
  for (std::uint32_t key = 0; key < KEY_VALUES; ++key) {
    out.key_line("", key);
  }
  out.line("-1");
}

void repeat(output& out, std::uint64_t times, std::string_view text) {
  for (std::uint64_t i = 0; i < times; ++i) {
    out.line(text);
  }
}

void blocks(output& out, std::uint64_t lines) {
  xorshift random;
  std::uint64_t written = 0;
  for (std::uint32_t length = 8191; written < lines; length = length == 8300 ? 8191 : length + 1) {
    out.line("i");
    for (std::uint32_t i = 0; i < length; ++i) {
      out.key_line("", random.key());
    }
    out.line("-1");
    written += length + 2;
  }
}

void deletions(output& out, std::uint64_t lines) {
  xorshift random;
  for (std::uint64_t i = 0; i < lines; ++i) {
    out.key_line("d ", random.key());
  }
}

void crlf(output& out) {
  char buffer[1 << 16];
  for (ssize_t got; (got = read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') {
        out.pending.push_back('\r');
      }
      out.pending.push_back(buffer[i]);
    }
    if (out.pending.size() >= FLUSH_AT) {
      out.flush();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view shape = argc > 1 ? argv[1] : "";
  const std::uint64_t n = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 0;
  output out;
  if (shape == "empty-checkpoints") {
    repeat(out, n, "s");
  } else if (shape == "full-checkpoints") {
    full_block(out);
    repeat(out, n, "s");
  } else if (shape == "cycle") {
    for (std::uint64_t i = 0; i < n; ++i) {
      out.pending.append("i\n123\n-1\nd 123\ns\n");
      if (out.pending.size() >= FLUSH_AT) {
        out.flush();
      }
    }
  } else if (shape == "blocks") {
    blocks(out, n);
  } else if (shape == "deletions") {
    deletions(out, n);
  } else if (shape == "crlf") {
    crlf(out);
    out.flush();
    return 0;  // the input's own q line ends it
  } else {
    std::fprintf(stderr, "usage: shape_script SHAPE N (see the comment at the top of bench/shape_script.cc)\n");
    return 2;
  }
  out.line("q");
  out.flush();
  return 0;
}
