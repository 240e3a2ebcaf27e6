// The same script written the straightforward way, as the yardstick for the
// fast path: one printf per line and the pass's keys kept in a vector. It
// takes the seed from KEYSCRIPT_SEED (required) and must write the same bytes
// as keyscript.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/command_line.h"
#include "random/generator.h"

static void plain_pass(int num_keys) {
  const auto insert_count = static_cast<int>(random_between(0.9F, 1.1F) * num_keys);
  std::fprintf(stderr, "Going to insert: %d number of keys\n", insert_count);
  std::printf("i\n");
  std::vector<int> key_list;
  key_list.reserve(static_cast<std::size_t>(insert_count));
  for (int i = 0; i < insert_count; ++i) {
    key_list.push_back(random_key());
    std::printf("%d\n", key_list.back());
  }
  std::printf("-1\n");
  std::printf("s\n");
  const int delete_count = insert_count == 0 ? 0 : num_keys <= 10 ? 1 : 10;
  std::fprintf(stderr, "Going to delete: %d number of keys\n", delete_count);
  const auto top = static_cast<float>(insert_count - 1);
  for (int i = 0; i < delete_count; ++i) {
    const auto index = static_cast<std::size_t>(random_between(0.0F, top));
    std::printf("d %d\n", key_list[std::min(index, key_list.size() - 1)]);
  }
}

int main(int argc, char** argv) {
  const char* seed_text = std::getenv("KEYSCRIPT_SEED");
  const auto seed = seed_text != nullptr ? parse_seed(seed_text) : std::nullopt;
  const auto num_keys = argc == 2 ? parse_count(argv[1]) : std::nullopt;
  if (!seed || !num_keys || *num_keys < 0 || *num_keys > MAX_NUM_KEYS) {
    std::fprintf(stderr, "usage: KEYSCRIPT_SEED=N %s NUM_KEYS (0 to %d)\n", argv[0], MAX_NUM_KEYS);
    return 1;
  }
  fix_seed(*seed);
  plain_pass(*num_keys);
  plain_pass(*num_keys);
  std::printf("s\n");
  std::printf("q\n");
  return std::fflush(stdout) == 0 ? 0 : 1;
}
