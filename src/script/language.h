#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

// The script language, one command a line: outside an insertion block "i"
// opens one, "s" is a checkpoint, "d KEY" deletes and "q" ends the script
// and is its last line; inside a block every line is a KEY, and "-1" closes
// it. A KEY is 0 to 32767 in plain decimal: no sign, no leading zero.
// Everything that writes or reads a script takes its tokens from here.

namespace keyscript {

inline constexpr std::int32_t KEY_VALUES = 32768;
inline constexpr std::int32_t MAX_KEY_LINE = 6;  // "32767\n"

inline constexpr std::string_view INSERT_LINE = "i";
inline constexpr std::string_view BLOCK_END_LINE = "-1";
inline constexpr std::string_view CHECKPOINT_LINE = "s";
inline constexpr std::string_view QUIT_LINE = "q";
inline constexpr std::string_view DELETE_PREFIX = "d ";

// A line's key, or -1 when the line is not a plain key.
std::int32_t parse_key(std::string_view text);

// Every key line there can be ("0\n" to "32767\n"), made at compile time, so
// writing a key is one 8-byte copy and no division at run time.
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

// Writes the line of `key` at `out` and returns its end. It copies 8 bytes:
// `out` needs 2 bytes of room past the longest line.
inline char* write_key_line(char* out, std::int32_t key) {
  const key_text& text = KEY_TEXT[static_cast<std::size_t>(key)];
  std::memcpy(out, &text, sizeof text);
  return out + text.length;
}

// `line` and its newline at `out`; returns their end.
inline char* write_line(char* out, std::string_view line) {
  std::memcpy(out, line.data(), line.size());
  out[line.size()] = '\n';
  return out + line.size() + 1;
}

// "d KEY\n" at `out` (8 bytes of room past "d "); returns its end.
inline char* write_delete_line(char* out, std::int32_t key) {
  std::memcpy(out, DELETE_PREFIX.data(), DELETE_PREFIX.size());
  return write_key_line(out + DELETE_PREFIX.size(), key);
}

}  // namespace keyscript
