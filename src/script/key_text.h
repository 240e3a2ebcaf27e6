#pragma once

#include <array>
#include <cstdint>

// Every key line there can be ("0\n" to "32767\n"), made at compile time, so
// writing a key is one 8-byte copy and no division at run time.

namespace keyscript {

inline constexpr std::int32_t KEY_VALUES = 32768;
inline constexpr std::int32_t MAX_KEY_LINE = 6;  // "32767\n"

struct key_text {
  char bytes[7];        // the line; copied as 8 bytes together with `length`
  std::uint8_t length;  // bytes of the line, newline included
};
static_assert(sizeof(key_text) == 8);

constexpr key_text make_key_text(std::int32_t key) {
  const std::int32_t digits = 1 + (key >= 10) + (key >= 100) + (key >= 1000) + (key >= 10000);
  key_text text{};
  for (std::int32_t at = digits - 1; at >= 0; --at, key /= 10) {
    text.bytes[at] = static_cast<char>('0' + key % 10);
  }
  text.bytes[digits] = '\n';
  text.length = static_cast<std::uint8_t>(digits + 1);
  return text;
}

inline constexpr std::array<key_text, KEY_VALUES> KEY_TEXT = [] {
  std::array<key_text, KEY_VALUES> table{};
  for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
    table[static_cast<std::size_t>(key)] = make_key_text(key);
  }
  return table;
}();

}  // namespace keyscript
