#include "replay/model.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyscript {

key_model::key_model(semantics kind) : kind_(kind) {}

void key_model::mark_present(std::int32_t key, bool present) {
  const auto word = static_cast<std::size_t>(key) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (static_cast<unsigned>(key) % 64);
  present_[word] = present ? present_[word] | bit : present_[word] & ~bit;
  const std::uint64_t word_bit = std::uint64_t{1} << (word % 64);
  summary_[word / 64] = present_[word] != 0 ? summary_[word / 64] | word_bit : summary_[word / 64] & ~word_bit;
}

// Applies the insertions counted for `key` in the open block, which are
// more than none. It has no branch on what was held: a block's keys are
// often random, and a mispredicted branch a key would cost more than the
// rest of the work.
void key_model::apply_insertions(std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  const std::uint64_t added = added_[at];
  const std::uint64_t before = copies_[at];
  const std::uint64_t new_key = before == 0 ? 1 : 0;
  added_[at] = 0;
  totals_.inserts += added;
  // The first of the block's insertions finds the key held only if it was
  // held before; every later one finds it held.
  totals_.already_held += added - new_key;
  const std::uint64_t gained = kind_ == semantics::multiset ? added : new_key;
  copies_[at] = before + gained;
  held_ += gained;
  sum_ += gained * static_cast<std::uint64_t>(key);
  distinct_ += static_cast<std::uint32_t>(new_key);
  const auto word = at / 64;
  present_[word] |= std::uint64_t{1} << (at % 64);
  summary_[word / 64] |= std::uint64_t{1} << (word % 64);
}

namespace {

// A bit for each of the 64 counters from `counts` on that is not 0.
std::uint64_t nonzero_counts(const std::uint32_t* counts) {
  std::uint64_t mask = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (unsigned part = 0; part < 16; ++part) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + std::size_t{4} * part));
    const auto zeros = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, zero))));
    mask |= std::uint64_t{~zeros & 0xFU} << (4 * part);
  }
#else
  for (unsigned i = 0; i < 64; ++i) {
    mask |= std::uint64_t{counts[i] != 0 ? 1U : 0U} << i;
  }
#endif
  return mask;
}

}  // namespace

void key_model::apply_all_insertions() {
  for (std::size_t word = 0; word < PRESENCE_WORDS; ++word) {
    for (std::uint64_t keys = nonzero_counts(added_ + word * 64); keys != 0; keys &= keys - 1) {
      apply_insertions(static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(keys))));
    }
  }
}

void key_model::close_block() {
  if (block_.listed == nullptr) {
    apply_all_insertions();
  } else {
    for (std::uint32_t i = 0; i < block_.listed_count; ++i) {
      apply_insertions(touched_[i]);
    }
  }
  block_ = {added_, touched_, 0};
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
