#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/grammar.h"

// A script held as one 32-bit item a line, so that a failing script of ten
// million lines costs 40 MB to reduce and not a vector of strings. A key line
// is the key itself; every other line is a negative code, and "d KEY" folds
// its key into the code so that it stays one item.

namespace keyscript {

inline constexpr std::int32_t OPEN_ITEM = -1;        // "i"
inline constexpr std::int32_t CLOSE_ITEM = -2;       // "-1"
inline constexpr std::int32_t CHECKPOINT_ITEM = -3;  // "s"
inline constexpr std::int32_t QUIT_ITEM = -4;        // "q"
inline constexpr std::int32_t ERASE_ZERO_ITEM = -5;  // "d 0"; "d KEY" is ERASE_ZERO_ITEM - KEY

constexpr std::int32_t erase_item(std::int32_t key) { return ERASE_ZERO_ITEM - key; }
constexpr bool is_key_item(std::int32_t item) { return item >= 0; }
constexpr bool is_erase_item(std::int32_t item) { return item <= ERASE_ZERO_ITEM; }

// The key a key line or an erase names; -1 for the other lines.
constexpr std::int32_t key_of(std::int32_t item) {
  if (is_key_item(item)) return item;
  return is_erase_item(item) ? ERASE_ZERO_ITEM - item : -1;
}

// The same line naming `key` instead; lines without a key are returned as they are.
constexpr std::int32_t with_key(std::int32_t item, std::int32_t key) {
  if (is_key_item(item)) return key;
  return is_erase_item(item) ? erase_item(key) : item;
}

// Always well formed: blocks closed, q last and only last.
struct script {
  std::vector<std::int32_t> items;  // one a line
};

// Reads a script's text into its value, the text handed over in parts of
// whole lines (LF or CR LF), and refuses what is not a well-formed script
// with the line at fault, as every reader of scripts does (grammar.h).
class script_builder {
 public:
  void reserve(std::size_t lines) { value_.items.reserve(lines); }
  // More whole lines; false once a line has been refused.
  bool add(std::string_view lines);
  // The text has ended; `unfinished` is its last line when that has no line
  // end. False when the script is refused.
  bool finish(std::string_view unfinished);
  bool done() const { return !value_.items.empty() && value_.items.back() == QUIT_ITEM; }
  const std::optional<refusal>& refused() const { return refused_; }
  script take() { return std::move(value_); }

 private:
  bool take_line(std::string_view text);

  script value_;
  bool in_block_ = false;
  std::optional<refusal> refused_;
};

struct parsed_script {
  script value;
  std::optional<refusal> refused;  // none when the text is a well-formed script
};

// The whole text at once, for small scripts and tests.
parsed_script parse_script(std::string_view text);

// The exact text: "i\n", "KEY\n", "-1\n", "s\n", "d KEY\n", "q\n".
std::string script_text(const script& value);

// The script up to its checkpoint `number` (1-based, q being the last), with q
// added; 0 or a number past the last checkpoint keeps the whole script.
script cut_after_checkpoint(script value, std::uint64_t number);

// The text of one line, written at `out`, which has room for MAX_ITEM_TEXT
// bytes; returns the bytes written.
inline constexpr std::size_t MAX_ITEM_TEXT = 8;  // "d 32767\n"
std::size_t write_item_text(std::int32_t item, char* out);

}  // namespace keyscript
