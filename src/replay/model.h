#pragma once

#include <cstddef>
#include <cstdint>

#include "script/language.h"

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

// The open block's counters, for a loop that counts insertions itself:
// ++counts[key] for each, and, while `listed` is not null, each key whose
// count leaves 0 is written at listed[listed_count], which grows by one, so
// that closing the block visits only those keys.
struct block_counter {
  std::uint32_t* counts;
  std::uint16_t* listed;
  std::uint32_t listed_count;
};

inline constexpr std::size_t PRESENCE_WORDS = KEY_VALUES / 64;
inline constexpr std::size_t SUMMARY_WORDS = PRESENCE_WORDS / 64;

// Insertions are counted per key while their block is open and applied when
// it closes: within a block no order of insertions changes any figure, so
// the hot loop only counts. The model is large (about 460 KB): keep it off
// the stack.
class key_model {
 public:
  explicit key_model(semantics kind);

  semantics kind() const { return kind_; }

  // One insertion into the open block. No block may count 2^32 insertions
  // of one key without a close_block.
  void insert(std::int32_t key) {
    const auto at = static_cast<std::size_t>(key);
    const std::uint32_t before = added_[at];
    added_[at] = before + 1;
    if (block_.listed != nullptr) {
      block_.listed[block_.listed_count] = static_cast<std::uint16_t>(key);
      block_.listed_count += before == 0 ? 1 : 0;
    }
  }
  // The open block's counters, for a loop that counts insertions itself.
  block_counter& counter() { return block_; }
  // From now until the block closes, insertions are counted without listing
  // their keys: closing the block then looks at all 32768 counters, which
  // costs less than listing once a block is long.
  void stop_listing() { block_.listed = nullptr; }
  // Applies the open block's insertions; the block may go on afterwards.
  void close_block();
  void erase(std::int32_t key);

  holding now() const;
  const replay_totals& totals() const { return totals_; }
  std::uint64_t copies(std::int32_t key) const { return copies_[static_cast<std::size_t>(key)]; }

  // The smallest key held that is `from` or more, or -1 when there is none.
  std::int32_t next_held(std::int32_t from) const;

  // Calls `each(key, copies)` for every key held, in ascending order; the
  // walk visits only the words of the presence bitmap that hold keys.
  template <typename Each>
  void for_each_held(Each each) const {
    for (std::size_t top = 0; top < SUMMARY_WORDS; ++top) {
      for (std::uint64_t words = summary_[top]; words != 0; words &= words - 1) {
        const std::size_t word = top * 64 + static_cast<std::size_t>(__builtin_ctzll(words));
        for (std::uint64_t bits = present_[word]; bits != 0; bits &= bits - 1) {
          const std::size_t key = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
          each(static_cast<std::int32_t>(key), copies_[key]);
        }
      }
    }
  }

 private:
  void apply_insertions(std::int32_t key);
  void apply_all_insertions();
  void mark_present(std::int32_t key, bool present);

  semantics kind_;
  std::uint64_t copies_[KEY_VALUES] = {};
  std::uint64_t present_[PRESENCE_WORDS] = {};  // a bit for each key held
  std::uint64_t summary_[SUMMARY_WORDS] = {};   // a bit for each word of present_ that is not 0
  std::uint32_t added_[KEY_VALUES] = {};        // in the open block
  // The keys whose `added_` is not 0, while the block lists them. Each
  // insertion writes its key at the end and keeps it only if it is new, so
  // there is one spare slot.
  std::uint16_t touched_[KEY_VALUES + 1] = {};
  block_counter block_{added_, touched_, 0};
  std::uint64_t held_ = 0;
  std::uint32_t distinct_ = 0;
  std::uint64_t sum_ = 0;
  replay_totals totals_{};
};

}  // namespace keyscript
