#pragma once

#include <cstdint>

#include "io/messages.h"
#include "io/writer.h"
#include "random/generator.h"

// One pass of the script: "i", the pass's keys, "-1", "s", then a few of
// those keys named for deletion as "d KEY". Progress goes to standard error.

namespace keyscript {

// The keys of a pass are the draws that follow `first_state`, so the pass
// keeps only where they start: key `index` can be drawn again at any time
// without holding the list in memory.
struct drawn_keys {
  std::uint32_t first_state;
  std::int32_t count;
};

// What a pass's count draw decides: how many keys it inserts and deletes.
struct pass_plan {
  std::int32_t insert_count;
  std::int32_t delete_count;
  drawn_keys keys;  // once the count is drawn, the keys are the next draws
};

// The count draw, the first of a pass.
pass_plan begin_pass(random_generator& generator, std::int32_t num_keys);
// One deletion pick of the pass, once its keys have been drawn: the key it
// names. Keys are drawn with replacement and so are the picks: a key can be
// named more than once.
std::int32_t next_deletion(random_generator& generator, const pass_plan& plan);

// Draws, in this order, the pass's count, its keys and its deletion picks,
// and writes the pass to `out` and its counts to `messages`. Stops as soon as
// `out` has failed (its error() says why).
void write_pass(random_generator& generator, std::int32_t num_keys, output_writer& out, message_stream& messages);

// The steps of a pass, exposed so that each can be checked on its own.
std::int32_t insert_count_for(double multiplier, std::int32_t num_keys);
std::int32_t delete_count_for(std::int32_t num_keys, std::int32_t insert_count);
std::int32_t deletion_index(double pick, std::int32_t insert_count);
std::int32_t key_at(drawn_keys keys, std::int32_t index);
drawn_keys write_keys(random_generator& generator, std::int32_t count, output_writer& out);
// The lines of the `count` keys drawn after `state`, written at `out`, which
// has room for count * MAX_KEY_LINE bytes and OUTPUT_SLACK; returns their
// end and leaves `state` at the last key's.
char* write_drawn_keys(std::uint32_t& state, std::int32_t count, char* out);

}  // namespace keyscript
