#include "script/pass_writer.h"

#include <bit>
#include <cstring>

#include "output/output.h"
#include "random/generator.h"
#include "script/key_text.h"

namespace keyscript {

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
  return draw_of(jump(keys.first_state, static_cast<std::uint64_t>(index) + 1));
}

// Writes the line of `key` at `out` (copying 8 bytes) and returns its end.
static char* write_key(char* out, std::int32_t key) {
  const key_text& text = KEY_TEXT[static_cast<std::size_t>(key)];
  std::memcpy(out, &text, sizeof text);
  return out + text.length;
}

// The hot loop, shaped for speed:
// - the generator state lives in a local, so that it stays in a register
//   (stores through the char buffer could otherwise alias the generator);
// - keys go four at a time, each state one multiply-add from the round's
//   first, so the multiplies overlap instead of waiting on each other;
// - each key is one 8-byte copy from the table of key lines;
// - the buffer is reserved a chunk at a time, so the loop has no bounds checks.
drawn_keys write_keys(random_generator& generator, std::int32_t count) {
  constexpr std::int32_t chunk_keys = OUTPUT_CAPACITY / MAX_KEY_LINE;
  constexpr lcg_jump two = jump_of(2);
  constexpr lcg_jump three = jump_of(3);
  constexpr lcg_jump four = jump_of(4);
  const drawn_keys keys{generator.state, count};
  std::uint32_t state = generator.state;
  for (std::int32_t left = count; left > 0;) {
    const std::int32_t chunk = left < chunk_keys ? left : chunk_keys;
    char* out = output_reserve(static_cast<std::size_t>(chunk) * MAX_KEY_LINE);
    std::int32_t done = 0;
    for (; done + 4 <= chunk; done += 4) {
      out = write_key(out, draw_of(next_state(state)));
      out = write_key(out, draw_of(jump(state, two)));
      out = write_key(out, draw_of(jump(state, three)));
      state = jump(state, four);
      out = write_key(out, draw_of(state));
    }
    for (; done < chunk; ++done) {
      state = next_state(state);
      out = write_key(out, draw_of(state));
    }
    output_commit(out);
    left -= chunk;
  }
  generator.state = state;
  return keys;
}

static void write_deletion(std::int32_t key) {
  char* out = output_reserve(2 + MAX_KEY_LINE);
  out[0] = 'd';
  out[1] = ' ';
  output_commit(write_key(out + 2, key));
}

void write_pass(random_generator& generator, std::int32_t num_keys) {
  const std::int32_t insert_count = insert_count_for(random_between(generator, COUNT_LOW, COUNT_HIGH), num_keys);
  write_message("Going to insert: %d number of keys\n", insert_count);
  write_output("i\n");
  const drawn_keys key_list = write_keys(generator, insert_count);
  write_output("-1\ns\n");

  const std::int32_t delete_count = delete_count_for(num_keys, insert_count);
  write_message("Going to delete: %d number of keys\n", delete_count);
  const auto top = static_cast<float>(insert_count - 1);
  for (std::int32_t i = 0; i < delete_count; ++i) {
    // Keys are drawn with replacement and so are the picks: a key can be
    // named more than once.
    write_deletion(key_at(key_list, deletion_index(random_between(generator, 0.0F, top), insert_count)));
  }
}

}  // namespace keyscript
