#include "shrink/script_value.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "script/key_text.h"

namespace keyscript {

namespace {

// One function a token, so that the text can follow the script language
// wherever it is kept.
std::size_t write_fixed(std::string_view line, char* out) {
  std::memcpy(out, line.data(), line.size());
  return line.size();
}
std::size_t write_open(char* out) { return write_fixed("i\n", out); }
std::size_t write_close(char* out) { return write_fixed("-1\n", out); }
std::size_t write_checkpoint(char* out) { return write_fixed("s\n", out); }
std::size_t write_quit(char* out) { return write_fixed("q\n", out); }
std::size_t write_key_line(std::int32_t key, char* out) {
  const key_text& text = KEY_TEXT[static_cast<std::size_t>(key)];
  return write_fixed(std::string_view(text.bytes, text.length), out);
}
std::size_t write_erase(std::int32_t key, char* out) { return write_fixed("d ", out) + write_key_line(key, out + 2); }

// A key in plain decimal: no sign, no leading zero, at most 32767.
std::optional<std::int32_t> parse_key_text(std::string_view text) {
  if (text.empty() || text.size() > 5 || (text[0] == '0' && text.size() > 1)) return std::nullopt;
  std::int32_t key = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    key = key * 10 + (c - '0');
  }
  if (key >= KEY_VALUES) return std::nullopt;
  return key;
}

std::optional<std::int32_t> block_line_item(std::string_view line) {
  if (line == "-1") return CLOSE_ITEM;
  return parse_key_text(line);
}

std::optional<std::int32_t> command_item(std::string_view line) {
  if (line == "i") return OPEN_ITEM;
  if (line == "s") return CHECKPOINT_ITEM;
  if (line == "q") return QUIT_ITEM;
  if (!line.starts_with("d ")) return std::nullopt;
  const std::optional<std::int32_t> key = parse_key_text(line.substr(2));
  if (!key) return std::nullopt;
  return erase_item(*key);
}

const char* refusal_message(std::string_view line, bool in_block) {
  if (in_block) return "expected a key (0 to 32767) or -1 inside a block";
  if (line.starts_with("d ")) return "expected a key (0 to 32767) after d";
  return "expected i, s, d KEY or q";
}

parsed_script refusal(std::uint64_t line, std::string message) { return {{}, false, {line, std::move(message)}}; }

// The line of `text` that starts at `at`, without its line end.
std::string_view line_at(std::string_view text, std::size_t at) {
  const std::size_t newline = text.find('\n', at);
  if (newline == std::string_view::npos) return text.substr(at);
  const std::string_view line = text.substr(at, newline - at);
  return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

}  // namespace

std::size_t write_item_text(std::int32_t item, char* out) {
  switch (item) {
    case OPEN_ITEM:
      return write_open(out);
    case CLOSE_ITEM:
      return write_close(out);
    case CHECKPOINT_ITEM:
      return write_checkpoint(out);
    case QUIT_ITEM:
      return write_quit(out);
    default:
      return is_key_item(item) ? write_key_line(item, out) : write_erase(key_of(item), out);
  }
}

parsed_script parse_script(std::string_view text) {
  script value;
  // Exactly one item a line, so the vector is never regrown past it.
  value.items.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  bool in_block = false;
  std::uint64_t line_number = 0;
  for (std::size_t at = 0; at < text.size();) {
    ++line_number;
    if (!value.items.empty() && value.items.back() == QUIT_ITEM) return refusal(line_number, "text after the q line");
    const std::string_view line = line_at(text, at);
    const std::size_t next = text.find('\n', at);
    at = next == std::string_view::npos ? text.size() : next + 1;
    const std::optional<std::int32_t> item = in_block ? block_line_item(line) : command_item(line);
    if (!item) return refusal(line_number, refusal_message(line, in_block));
    in_block = in_block ? *item != CLOSE_ITEM : *item == OPEN_ITEM;
    value.items.push_back(*item);
  }
  if (value.items.empty() || value.items.back() != QUIT_ITEM) {
    return refusal(line_number + 1, in_block ? "the script ends inside a block" : "the script ends before its q line");
  }
  return {std::move(value), true, {}};
}

std::string script_text(const script& value) {
  std::string text;
  char line[MAX_ITEM_TEXT];
  for (const std::int32_t item : value.items) {
    text.append(line, write_item_text(item, line));
  }
  return text;
}

script cut_after_checkpoint(script value, std::uint64_t number) {
  std::vector<std::int32_t>& items = value.items;
  std::uint64_t seen = 0;
  for (std::size_t at = 0; at < items.size(); ++at) {
    if (items[at] != CHECKPOINT_ITEM) continue;
    if (++seen == number) {
      items.resize(at + 1);
      items.push_back(QUIT_ITEM);  // fits: the q line it replaces was counted
      break;
    }
  }
  return value;
}

}  // namespace keyscript
