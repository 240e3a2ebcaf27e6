#pragma once

#include <array>
#include <cstdint>

#include "script/language.h"

// The keys a wide script's generator has inserted and not yet deleted, as a
// model would hold them, so that it can name a held key, or one not held, in
// constant time: every key sits in one array, the held ones first, and each
// key knows its place in it. The memory is the key space's, whatever the
// script's size.

namespace keyscript {

class key_pool {
 public:
  key_pool();

  std::int32_t held() const { return held_; }
  // Copies of all keys together: what a multiset's listing would write.
  std::int64_t copies_held() const { return copies_held_; }
  std::uint32_t copies(std::int32_t key) const { return copies_[index(key)]; }

  // Copies are counted as a multiset counts them, so that the script does
  // not depend on the semantics it is replayed with: a set program simply
  // sees more deletions of keys it does not hold.
  void insert(std::int32_t key);
  // One copy fewer; a key not held is left alone.
  void erase(std::int32_t key);

  // The `n`th held key in no particular order, n below held(); and the `n`th
  // key not held, n below KEY_VALUES - held().
  std::int32_t held_at(std::int32_t n) const { return keys_[static_cast<std::size_t>(n)]; }
  std::int32_t absent_at(std::int32_t n) const {
    return keys_[static_cast<std::size_t>(held_) + static_cast<std::size_t>(n)];
  }

  // The first held key from `key` up, or down; -1 when there is none.
  std::int32_t held_from(std::int32_t key) const;
  std::int32_t held_down_from(std::int32_t key) const;

 private:
  static std::size_t index(std::int32_t key) { return static_cast<std::size_t>(key); }
  void swap_places(std::int32_t key, std::int32_t place);
  void flip_present(std::int32_t key) { present_[index(key) / 64] ^= std::uint64_t{1} << (index(key) % 64); }

  std::int32_t held_ = 0;
  std::int64_t copies_held_ = 0;
  std::array<std::int16_t, KEY_VALUES> keys_;
  std::array<std::int16_t, KEY_VALUES> place_;
  std::array<std::uint32_t, KEY_VALUES> copies_{};
  // A bit for each held key, so that the next held key in order is found a
  // word at a time.
  std::array<std::uint64_t, KEY_VALUES / 64> present_{};
};

}  // namespace keyscript
