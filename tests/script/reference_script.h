#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "random/generator.h"

// The script written the plain way: one draw call and one printf per line,
// the keys held in a vector and deletions read back from it. It is the
// oracle the tests hold the fast path to, and the benchmarks' yardstick.
inline void reference_pass(std::int32_t num_keys, std::FILE* out, std::FILE* progress) {
  const auto insert_count = static_cast<std::int32_t>(random_between(0.9F, 1.1F) * num_keys);
  std::fprintf(progress, "Going to insert: %d number of keys\n", insert_count);
  std::fprintf(out, "i\n");
  std::vector<std::int32_t> key_list;
  key_list.reserve(static_cast<std::size_t>(insert_count));
  for (std::int32_t i = 0; i < insert_count; ++i) {
    key_list.push_back(random_key());
    std::fprintf(out, "%d\n", key_list.back());
  }
  std::fprintf(out, "-1\n");
  std::fprintf(out, "s\n");
  const std::int32_t delete_count = insert_count == 0 ? 0 : num_keys <= 10 ? 1 : 10;
  std::fprintf(progress, "Going to delete: %d number of keys\n", delete_count);
  const auto top = static_cast<float>(insert_count - 1);
  for (std::int32_t i = 0; i < delete_count; ++i) {
    // Past 2^25 + 6 keys the top draw can land one past the end.
    const auto index = static_cast<std::size_t>(random_between(0.0F, top));
    std::fprintf(out, "d %d\n", key_list[std::min(index, key_list.size() - 1)]);
  }
}

inline void reference_script(std::uint32_t seed, std::int32_t num_keys, std::FILE* out, std::FILE* progress) {
  fix_seed(seed);
  reference_pass(num_keys, out, progress);
  reference_pass(num_keys, out, progress);
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
inline std::string reference_script(std::uint32_t seed, std::int32_t num_keys, std::string* progress = nullptr) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  reference_script(seed, num_keys, out, err);
  std::string script = contents_of(out);
  if (progress != nullptr) {
    *progress = contents_of(err);
  }
  std::fclose(out);
  std::fclose(err);
  return script;
}
