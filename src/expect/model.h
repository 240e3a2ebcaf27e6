#pragma once

#include <cstdint>

#include "script/key_text.h"

// The collection a correct program holds after each line of a script, kept
// as one counter per key (keys are 0 to 32767), with the figures a checkpoint
// reports kept up to date as it goes.

namespace keyscript {

enum class semantics {
  set,       // inserting a key held changes nothing; so does deleting one not held
  multiset,  // each insertion adds a copy; a deletion removes one, if any
};

// What is held at a checkpoint. min and max are -1 when nothing is held.
struct holding {
  std::uint64_t held;  // keys held, copies counted
  std::uint32_t distinct;
  std::int32_t min;
  std::int32_t max;
  std::uint64_t sum;  // of the keys held, copies counted
};

// What the whole script asked of the collection.
struct replay_totals {
  std::uint64_t inserts;
  std::uint64_t already_held;  // insertions of a key already held
  std::uint64_t deletes;
  std::uint64_t not_held;  // deletions of a key not held
};

inline constexpr std::size_t PRESENCE_WORDS = KEY_VALUES / 64;

// Insertions are counted per key while their block is open and applied when
// it closes: within a block no order of insertions changes any figure, so
// the hot loop only counts. (Plain arrays: the fast path is built once for
// each instruction set, and must share no out-of-line code, such as
// std::array's, with the other builds of itself.)
struct key_model {
  semantics kind;
  std::uint64_t copies[KEY_VALUES];
  std::uint64_t present[PRESENCE_WORDS];  // a bit for each key held
  std::uint32_t added[KEY_VALUES];        // in the open block
  // The keys whose `added` is not 0, for a block whose insertions were all
  // counted one by one. Each insertion writes its key at the end and keeps it
  // only if it is new, so there is one spare slot.
  std::uint16_t touched[KEY_VALUES + 1];
  std::uint32_t touched_count;
  // Set when the fast path, which counts without listing, has counted into
  // the open block: then every counter is looked at when it closes.
  bool unlisted;
  std::uint64_t held;
  std::uint32_t distinct;
  std::uint64_t sum;
  replay_totals totals;
};

// Empties the model and gives it its semantics.
void reset(key_model& model, semantics kind);

namespace {  // internal linkage: see count_insertion

// One insertion into the open block; returns the new count of touched keys.
// The count is passed in and out so that a loop can keep it in a register
// (stores into `added` could otherwise alias `touched_count`). No counter may
// pass 2^32 - 1: close_block before a block's lines reach that. Internal
// linkage: the fast path builds it with its own instruction set.
inline std::uint32_t count_insertion(key_model& model, std::uint32_t touched_count, std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  const std::uint32_t before = model.added[at];
  model.added[at] = before + 1;
  model.touched[touched_count] = static_cast<std::uint16_t>(key);
  return touched_count + (before == 0 ? 1 : 0);
}

// One insertion into the open block, without listing its key: for a loop
// that has set `unlisted`.
inline void count_unlisted(key_model& model, std::uint32_t key) { ++model.added[key]; }

}  // namespace

// Applies the open block's insertions; the block may go on afterwards. The
// cost is that of the keys touched, or of all 32768 if any went unlisted.
void close_block(key_model& model);

void delete_key(key_model& model, std::int32_t key);

holding holding_of(const key_model& model);

// Calls `each(key, copies)` for every key held, in ascending order.
template <typename Each>
void for_each_held(const key_model& model, Each each) {
  for (std::size_t word = 0; word < PRESENCE_WORDS; ++word) {
    for (std::uint64_t bits = model.present[word]; bits != 0; bits &= bits - 1) {
      const auto key = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
      each(key, model.copies[static_cast<std::size_t>(key)]);
    }
  }
}

}  // namespace keyscript
