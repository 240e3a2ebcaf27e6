#include "script/pass_writer.h"

#include <bit>

#include "random/generator.h"
#include "script/language.h"

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

// The hot loop, shaped for speed:
// - the generator state lives in a local, so that it stays in a register
//   (stores through the char buffer could otherwise alias the generator);
// - keys go four at a time, each state one multiply-add from the round's
//   first, so the multiplies overlap instead of waiting on each other;
// - each key is one 8-byte copy from the table of key lines;
// - the buffer is reserved a chunk at a time, so the loop has no bounds checks.
char* write_drawn_keys(std::uint32_t& state_io, std::int32_t count, char* out) {
  constexpr lcg_jump two = jump_of(2);
  constexpr lcg_jump three = jump_of(3);
  constexpr lcg_jump four = jump_of(4);
  std::uint32_t state = state_io;
  std::int32_t done = 0;
  for (; done + 4 <= count; done += 4) {
    out = write_key_line(out, draw_of(next_state(state)));
    out = write_key_line(out, draw_of(jump(state, two)));
    out = write_key_line(out, draw_of(jump(state, three)));
    state = jump(state, four);
    out = write_key_line(out, draw_of(state));
  }
  for (; done < count; ++done) {
    state = next_state(state);
    out = write_key_line(out, draw_of(state));
  }
  state_io = state;
  return out;
}

drawn_keys write_keys(random_generator& generator, std::int32_t count, output_writer& out) {
  constexpr std::int32_t chunk_keys = OUTPUT_CAPACITY / MAX_KEY_LINE;
  const drawn_keys keys{generator.state, count};
  std::uint32_t state = generator.state;
  for (std::int32_t left = count; left > 0 && out.error() == 0;) {
    const std::int32_t chunk = left < chunk_keys ? left : chunk_keys;
    out.commit(write_drawn_keys(state, chunk, out.reserve(static_cast<std::size_t>(chunk) * MAX_KEY_LINE)));
    left -= chunk;
  }
  generator.state = state;
  return keys;
}

static void write_line(output_writer& out, std::string_view line) {
  out.commit(write_line(out.reserve(line.size() + 1), line));
}

pass_plan begin_pass(random_generator& generator, std::int32_t num_keys) {
  const std::int32_t insert_count = insert_count_for(random_between(generator, COUNT_LOW, COUNT_HIGH), num_keys);
  return {insert_count, delete_count_for(num_keys, insert_count), {generator.state, insert_count}};
}

std::int32_t next_deletion(random_generator& generator, const pass_plan& plan) {
  const auto top = static_cast<float>(plan.insert_count - 1);
  return key_at(plan.keys, deletion_index(random_between(generator, 0.0F, top), plan.insert_count));
}

void write_pass(random_generator& generator, std::int32_t num_keys, output_writer& out, message_stream& messages) {
  const pass_plan plan = begin_pass(generator, num_keys);
  say(messages, "Going to insert: %d number of keys\n", plan.insert_count);
  write_line(out, INSERT_LINE);
  write_keys(generator, plan.insert_count, out);
  write_line(out, BLOCK_END_LINE);
  write_line(out, CHECKPOINT_LINE);
  if (out.error() != 0) {
    return;  // a run whose output failed reports nothing more
  }

  say(messages, "Going to delete: %d number of keys\n", plan.delete_count);
  for (std::int32_t i = 0; i < plan.delete_count; ++i) {
    char* at = out.reserve(DELETE_PREFIX.size() + MAX_KEY_LINE);
    out.commit(write_delete_line(at, next_deletion(generator, plan)));
  }
}

}  // namespace keyscript
