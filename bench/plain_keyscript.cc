// The yardstick for the fast path: the plain writer the tests use as their
// oracle (its own generator and arithmetic, one printf per line, the keys
// kept in a vector), as a program.
// It takes the seed from KEYSCRIPT_SEED (required) and writes the same bytes
// as keyscript.
#include <cstdio>
#include <cstdlib>

#include "keyscript/command_line.h"
#include "script/reference_script.h"

int main(int argc, char** argv) {
  using keyscript::MAX_NUM_KEYS;
  using keyscript::parse_count;
  using keyscript::parse_seed;
  const char* seed_text = std::getenv("KEYSCRIPT_SEED");
  const auto seed = seed_text != nullptr ? parse_seed(seed_text) : std::nullopt;
  const auto count = argc == 2 ? parse_count(argv[1]) : std::nullopt;
  if (!seed || !count || count->value < 0 || count->value > MAX_NUM_KEYS) {
    std::fprintf(stderr, "usage: KEYSCRIPT_SEED=N %s NUM_KEYS (0 to %d)\n", argv[0], MAX_NUM_KEYS);
    return 1;
  }
  reference::script(*seed, count->value, stdout, stderr);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
