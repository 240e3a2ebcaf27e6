// The pipe's true limit, as a yardstick: writes BYTES bytes from a buffer that
// is ready before the run, through keyscript's own output path (the same
// buffer size, write loop and pipe growth), with no generation at all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "io/writer.h"

int main(int argc, char** argv) {
  using namespace keyscript;
  char* end = nullptr;
  const std::uint64_t bytes = argc == 2 ? std::strtoull(argv[1], &end, 10) : 0;
  if (argc != 2 || *end != '\0') {
    std::fprintf(stderr, "usage: %s BYTES\n", argv[0]);
    return 1;
  }
  static output_writer out(1);  // large: kept off the stack
  for (std::uint64_t left = bytes; left > 0;) {
    const std::size_t part = left < OUTPUT_CAPACITY ? static_cast<std::size_t>(left) : OUTPUT_CAPACITY;
    char* at = out.reserve(part);
    out.commit(at + part);
    left -= part;
  }
  return out.flush() == 0 ? 0 : 1;
}
