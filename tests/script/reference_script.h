#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The script written the plain way, from the definition of the generator and
// of a pass alone: its own recurrence and its own real arithmetic (none of
// keyscript's generator code), one printf per line, the keys held in a vector
// and deletions read back from it. It is the oracle the tests hold the fast
// path to, and the benchmarks' plain yardstick.
namespace reference {

struct generator {
  std::uint32_t state;

  // state' = 214013 * state + 2531011 (mod 2^32); a draw is bits 16 to 30.
  std::int32_t draw() {
    state = static_cast<std::uint32_t>(std::uint64_t{state} * 214013U + 2531011U);
    return static_cast<std::int32_t>(state >> 16 & 32767U);
  }

  // low + draw * width * (1/32767): width and 1/32767 rounded to single
  // precision, every product and the sum one double-precision step.
  double between(float low, float high) {
    const float width = static_cast<float>(static_cast<double>(high) - static_cast<double>(low));
    const float one_in_32767 = 1.0F / 32767.0F;
    double value = draw();
    value *= width;
    value *= one_in_32767;
    return value + low;
  }
};

inline void pass(generator& random, std::int32_t num_keys, std::FILE* out, std::FILE* progress) {
  const auto insert_count = static_cast<std::int32_t>(random.between(0.9F, 1.1F) * num_keys);
  std::fprintf(progress, "Going to insert: %d number of keys\n", insert_count);
  std::fprintf(out, "i\n");
  std::vector<std::int32_t> key_list;
  key_list.reserve(static_cast<std::size_t>(std::max(insert_count, 0)));
  for (std::int32_t i = 0; i < insert_count; ++i) {
    key_list.push_back(random.draw());
    std::fprintf(out, "%d\n", key_list.back());
  }
  std::fprintf(out, "-1\n");
  std::fprintf(out, "s\n");
  // A pass with no keys has none to name.
  const std::int32_t delete_count = insert_count == 0 ? 0 : num_keys <= 10 ? 1 : 10;
  std::fprintf(progress, "Going to delete: %d number of keys\n", delete_count);
  const auto top = static_cast<float>(insert_count - 1);
  for (std::int32_t i = 0; i < delete_count; ++i) {
    // Past 2^25 + 6 keys the top draw can land one past the end.
    const auto index = static_cast<std::size_t>(random.between(0.0F, top));
    std::fprintf(out, "d %d\n", key_list[std::min(index, key_list.size() - 1)]);
  }
}

inline void script(std::uint32_t seed, std::int32_t num_keys, std::FILE* out, std::FILE* progress) {
  generator random{seed};
  pass(random, num_keys, out, progress);
  pass(random, num_keys, out, progress);
  std::fprintf(out, "s\n");
  std::fprintf(out, "q\n");
}

// Everything written to `file` so far, as a string.
inline std::string contents_of(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char block[65536];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    text.append(block, got);
  }
  return text;
}

// The same, as strings.
inline std::string script(std::uint32_t seed, std::int32_t num_keys, std::string* progress = nullptr) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  script(seed, num_keys, out, err);
  std::string text = contents_of(out);
  if (progress != nullptr) {
    *progress = contents_of(err);
  }
  std::fclose(out);
  std::fclose(err);
  return text;
}

}  // namespace reference
