#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "random/generator.h"

// The script written the plain way: one draw call and one formatted line per
// key, the keys held in a vector and deletions read back from it. The fast
// path must write exactly these bytes.
inline void reference_pass(std::int32_t num_keys, std::string& out, std::string& err) {
  char line[64];
  const auto insert_count = static_cast<std::int32_t>(random_between(0.9F, 1.1F) * num_keys);
  std::snprintf(line, sizeof line, "Going to insert: %d number of keys\n", insert_count);
  err += line;
  out += "i\n";
  std::vector<std::int32_t> key_list;
  key_list.reserve(static_cast<std::size_t>(insert_count));
  for (std::int32_t i = 0; i < insert_count; ++i) {
    key_list.push_back(random_key());
    std::snprintf(line, sizeof line, "%d\n", key_list.back());
    out += line;
  }
  out += "-1\ns\n";
  const std::int32_t delete_count = insert_count == 0 ? 0 : num_keys <= 10 ? 1 : 10;
  std::snprintf(line, sizeof line, "Going to delete: %d number of keys\n", delete_count);
  err += line;
  const auto top = static_cast<float>(insert_count - 1);
  for (std::int32_t i = 0; i < delete_count; ++i) {
    const auto index = static_cast<std::size_t>(random_between(0.0F, top));
    std::snprintf(line, sizeof line, "d %d\n", key_list.at(index));
    out += line;
  }
}

inline std::string reference_script(std::uint32_t seed, std::int32_t num_keys, std::string* progress = nullptr) {
  fix_seed(seed);
  std::string out;
  std::string err;
  reference_pass(num_keys, out, err);
  reference_pass(num_keys, out, err);
  out += "s\nq\n";
  if (progress != nullptr) {
    *progress = err;
  }
  return out;
}
