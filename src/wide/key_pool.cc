#include "wide/key_pool.h"

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
  if (count++ == 0) {
    swap_places(key, held_);
    ++held_;
  }
}

void key_pool::erase(std::int32_t key) {
  std::uint32_t& count = copies_[index(key)];
  if (count == 0) {
    return;
  }
  if (--count == 0) {
    --held_;
    swap_places(key, held_);
  }
}

std::int32_t key_pool::held_from(std::int32_t key) const {
  for (; key < KEY_VALUES; ++key) {
    if (copies_[index(key)] != 0) {
      return key;
    }
  }
  return -1;
}

std::int32_t key_pool::held_down_from(std::int32_t key) const {
  for (; key >= 0; --key) {
    if (copies_[index(key)] != 0) {
      return key;
    }
  }
  return -1;
}

}  // namespace keyscript
