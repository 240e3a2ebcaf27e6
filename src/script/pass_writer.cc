#include "script/pass_writer.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "random/generator.h"
#include "script/key_text.h"
#include "script/output.h"

// A pass inserts between about 0.9 and 1.1 times the keys asked for.
inline constexpr float COUNT_LOW = 0.9F;
inline constexpr float COUNT_HIGH = 1.1F;
static_assert(std::bit_cast<std::uint32_t>(COUNT_LOW) == 0x3F666666U);
static_assert(std::bit_cast<std::uint32_t>(COUNT_HIGH) == 0x3F8CCCCDU);

std::int32_t insert_count_for(double multiplier, std::int32_t num_keys) {
  return static_cast<std::int32_t>(multiplier * static_cast<double>(num_keys));
}

std::int32_t delete_count_for(std::int32_t num_keys, std::int32_t insert_count) {
  if (insert_count <= 0) {
    return 0;  // nothing was inserted, so there is nothing to name
  }
  return num_keys <= 10 ? 1 : 10;
}

std::int32_t deletion_index(double pick, std::int32_t insert_count) {
  // From 2^25 + 7 keys on, the single-precision bound can round up far
  // enough that the top draw lands one past the last key.
  const auto index = static_cast<std::int32_t>(pick);
  return index < insert_count ? index : insert_count - 1;
}

std::int32_t key_at(drawn_keys keys, std::int32_t index) {
  return draw_of(jump_state(keys.first_state, static_cast<std::uint64_t>(index) + 1));
}

// The hot loop. The generator state lives in a local so that it stays in a
// register: stores through the char buffer could otherwise alias the global.
// Each key is one table copy of 8 bytes, and the buffer is reserved a chunk at
// a time so that the loop itself has no bounds checks.
drawn_keys write_keys(std::int32_t count) {
  constexpr std::int32_t chunk_keys = OUTPUT_CAPACITY / MAX_KEY_LINE;
  const drawn_keys keys{random_state, count};
  std::uint32_t state = random_state;
  for (std::int32_t left = count; left > 0;) {
    const std::int32_t chunk = left < chunk_keys ? left : chunk_keys;
    char* out = output_reserve(static_cast<std::size_t>(chunk) * MAX_KEY_LINE);
    for (std::int32_t i = 0; i < chunk; ++i) {
      state = next_state(state);
      const key_text& text = KEY_TEXT[static_cast<std::size_t>(draw_of(state))];
      std::memcpy(out, &text, sizeof text);
      out += text.length;
    }
    output_commit(out);
    left -= chunk;
  }
  random_state = state;
  return keys;
}

static void write_deletion(std::int32_t key) {
  const key_text& text = KEY_TEXT[static_cast<std::size_t>(key)];
  char* out = output_reserve(2 + MAX_KEY_LINE);
  std::memcpy(out, "d ", 2);
  std::memcpy(out + 2, &text, sizeof text);
  output_commit(out + 2 + text.length);
}

void write_pass(std::int32_t num_keys) {
  const std::int32_t insert_count = insert_count_for(random_between(COUNT_LOW, COUNT_HIGH), num_keys);
  std::fprintf(stderr, "Going to insert: %d number of keys\n", insert_count);
  write_output("i\n");
  const drawn_keys key_list = write_keys(insert_count);
  write_output("-1\ns\n");

  const std::int32_t delete_count = delete_count_for(num_keys, insert_count);
  std::fprintf(stderr, "Going to delete: %d number of keys\n", delete_count);
  const auto top = static_cast<float>(insert_count - 1);
  for (std::int32_t i = 0; i < delete_count; ++i) {
    // Keys are drawn with replacement and so are the picks: a key can be
    // named more than once.
    write_deletion(key_at(key_list, deletion_index(random_between(0.0F, top), insert_count)));
  }
}
