#include "wide/key_pool.h"

#include <bit>

namespace keyscript {

key_pool::key_pool() {
  for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
    keys_[index(key)] = static_cast<std::int16_t>(key);
    place_[index(key)] = static_cast<std::int16_t>(key);
  }
}

void key_pool::swap_places(std::int32_t key, std::int32_t place) {
  const std::int32_t other = keys_[static_cast<std::size_t>(place)];
  const std::int16_t from = place_[index(key)];
  keys_[static_cast<std::size_t>(from)] = static_cast<std::int16_t>(other);
  place_[index(other)] = from;
  keys_[static_cast<std::size_t>(place)] = static_cast<std::int16_t>(key);
  place_[index(key)] = static_cast<std::int16_t>(place);
}

void key_pool::insert(std::int32_t key) {
  std::uint32_t& count = copies_[index(key)];
  ++copies_held_;
  if (count++ == 0) {
    swap_places(key, held_);
    ++held_;
    flip_present(key);
  }
}

void key_pool::erase(std::int32_t key) {
  std::uint32_t& count = copies_[index(key)];
  if (count == 0) {
    return;
  }
  --copies_held_;
  if (--count == 0) {
    --held_;
    swap_places(key, held_);
    flip_present(key);
  }
}

std::int32_t key_pool::held_from(std::int32_t key) const {
  if (key >= KEY_VALUES) {
    return -1;
  }
  std::size_t word = index(key) / 64;
  std::uint64_t bits = present_[word] & (~std::uint64_t{0} << (index(key) % 64));
  while (bits == 0) {
    if (++word == present_.size()) {
      return -1;
    }
    bits = present_[word];
  }
  return static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
}

std::int32_t key_pool::held_down_from(std::int32_t key) const {
  if (key < 0) {
    return -1;
  }
  std::size_t word = index(key) / 64;
  std::uint64_t bits = present_[word] & (~std::uint64_t{0} >> (63 - index(key) % 64));
  while (bits == 0) {
    if (word-- == 0) {
      return -1;
    }
    bits = present_[word];
  }
  return static_cast<std::int32_t>(word * 64 + 63 - static_cast<std::size_t>(std::countl_zero(bits)));
}

}  // namespace keyscript
