#include "expect/model.h"

#include <cstring>

namespace keyscript {

void reset(key_model& model, semantics kind) {
  model.kind = kind;
  std::memset(model.copies, 0, sizeof model.copies);
  std::memset(model.present, 0, sizeof model.present);
  std::memset(model.added, 0, sizeof model.added);
  model.touched_count = 0;
  model.unlisted = false;
  model.held = 0;
  model.distinct = 0;
  model.sum = 0;
  model.totals = {};
}

static void mark_present(key_model& model, std::int32_t key, bool present) {
  const auto word = static_cast<std::size_t>(key) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (static_cast<unsigned>(key) % 64);
  model.present[word] = present ? model.present[word] | bit : model.present[word] & ~bit;
}

// Applies the insertions counted for `key` in the open block.
static void apply_insertions(key_model& model, std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  const std::uint64_t added = model.added[at];
  const std::uint64_t before = model.copies[at];
  model.added[at] = 0;
  model.totals.inserts += added;
  // The first of the block's insertions finds the key held only if it was
  // held before; every later one finds it held.
  model.totals.already_held += before != 0 ? added : added - 1;
  const std::uint64_t gained = model.kind == semantics::multiset ? added : before == 0 ? 1 : 0;
  model.copies[at] = before + gained;
  model.held += gained;
  model.sum += gained * static_cast<std::uint64_t>(key);
  if (before == 0) {
    ++model.distinct;
    mark_present(model, key, true);
  }
}

void close_block(key_model& model) {
  if (model.unlisted) {
    for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
      if (model.added[key] != 0) {
        apply_insertions(model, key);
      }
    }
  } else {
    for (std::uint32_t i = 0; i < model.touched_count; ++i) {
      apply_insertions(model, model.touched[i]);
    }
  }
  model.touched_count = 0;
  model.unlisted = false;
}

void delete_key(key_model& model, std::int32_t key) {
  const auto at = static_cast<std::size_t>(key);
  ++model.totals.deletes;
  if (model.copies[at] == 0) {
    ++model.totals.not_held;
    return;
  }
  const std::uint64_t lost = model.kind == semantics::multiset ? 1 : model.copies[at];
  model.copies[at] -= lost;
  model.held -= lost;
  model.sum -= lost * static_cast<std::uint64_t>(key);
  if (model.copies[at] == 0) {
    --model.distinct;
    mark_present(model, key, false);
  }
}

holding holding_of(const key_model& model) {
  holding now{model.held, model.distinct, -1, -1, model.sum};
  for (std::size_t word = 0; word < PRESENCE_WORDS; ++word) {
    if (model.present[word] != 0) {
      now.min = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(model.present[word])));
      break;
    }
  }
  for (std::size_t word = PRESENCE_WORDS; word-- > 0;) {
    if (model.present[word] != 0) {
      now.max =
          static_cast<std::int32_t>(word * 64 + 63 - static_cast<std::size_t>(__builtin_clzll(model.present[word])));
      break;
    }
  }
  return now;
}

}  // namespace keyscript
