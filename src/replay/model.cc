#include "replay/model.h"

namespace keyscript {

key_model::key_model(semantics kind) : kind_(kind) {}

void key_model::mark_present(std::int32_t key, bool present) {
  const auto word = static_cast<std::size_t>(key) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (static_cast<unsigned>(key) % 64);
  present_[word] = present ? present_[word] | bit : present_[word] & ~bit;
  const std::uint64_t word_bit = std::uint64_t{1} << (word % 64);
  summary_[word / 64] = present_[word] != 0 ? summary_[word / 64] | word_bit : summary_[word / 64] & ~word_bit;
}

// Applies the insertions counted for `key` in the open block.
void key_model::apply_insertions(std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  const std::uint64_t added = added_[at];
  const std::uint64_t before = copies_[at];
  added_[at] = 0;
  totals_.inserts += added;
  // The first of the block's insertions finds the key held only if it was
  // held before; every later one finds it held.
  totals_.already_held += before != 0 ? added : added - 1;
  const std::uint64_t gained = kind_ == semantics::multiset ? added : before == 0 ? 1 : 0;
  copies_[at] = before + gained;
  held_ += gained;
  sum_ += gained * static_cast<std::uint64_t>(key);
  if (before == 0) {
    ++distinct_;
    mark_present(key, true);
  }
}

void key_model::close_block() {
  if (unlisted_) {
    for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
      if (added_[key] != 0) {
        apply_insertions(key);
      }
    }
  } else {
    for (std::uint32_t i = 0; i < touched_count_; ++i) {
      apply_insertions(touched_[i]);
    }
  }
  touched_count_ = 0;
  unlisted_ = false;
}

void key_model::erase(std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  ++totals_.deletes;
  if (copies_[at] == 0) {
    ++totals_.not_held;
    return;
  }
  const std::uint64_t lost = kind_ == semantics::multiset ? 1 : copies_[at];
  copies_[at] -= lost;
  held_ -= lost;
  sum_ -= lost * static_cast<std::uint64_t>(key);
  if (copies_[at] == 0) {
    --distinct_;
    mark_present(key, false);
  }
}

std::int32_t key_model::next_held(std::int32_t from) const {
  if (from < 0 || from >= KEY_VALUES) {
    return from < 0 ? next_held(0) : -1;
  }
  auto word = static_cast<std::size_t>(from) / 64;
  const std::uint64_t here = present_[word] & (~std::uint64_t{0} << (static_cast<unsigned>(from) % 64));
  if (here != 0) {
    return static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(here)));
  }
  // The next word that holds a key, from the summary.
  ++word;
  for (std::size_t top = word / 64; top < SUMMARY_WORDS; ++top) {
    const unsigned skip = top == word / 64 ? static_cast<unsigned>(word % 64) : 0;
    const std::uint64_t words = skip == 64 ? 0 : summary_[top] & (~std::uint64_t{0} << skip);
    if (words != 0) {
      const std::size_t found = top * 64 + static_cast<std::size_t>(__builtin_ctzll(words));
      return static_cast<std::int32_t>(found * 64 + static_cast<std::size_t>(__builtin_ctzll(present_[found])));
    }
  }
  return -1;
}

holding key_model::now() const {
  holding figures{held_, distinct_, -1, -1, sum_};
  for (std::size_t top = 0; top < SUMMARY_WORDS; ++top) {
    if (summary_[top] != 0) {
      const std::size_t word = top * 64 + static_cast<std::size_t>(__builtin_ctzll(summary_[top]));
      figures.min = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(present_[word])));
      break;
    }
  }
  for (std::size_t top = SUMMARY_WORDS; top-- > 0;) {
    if (summary_[top] != 0) {
      const std::size_t word = top * 64 + 63 - static_cast<std::size_t>(__builtin_clzll(summary_[top]));
      figures.max =
          static_cast<std::int32_t>(word * 64 + 63 - static_cast<std::size_t>(__builtin_clzll(present_[word])));
      break;
    }
  }
  return figures;
}

}  // namespace keyscript
