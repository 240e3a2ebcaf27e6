#include "script/script_value.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "script/language.h"

namespace keyscript {

namespace {

std::size_t write_line(std::string_view line, char* out) {
  std::memcpy(out, line.data(), line.size());
  out[line.size()] = '\n';
  return line.size() + 1;
}

std::optional<std::int32_t> parse_key_text(std::string_view text) {
  const std::int32_t key = parse_key(text);
  return key >= 0 ? std::optional<std::int32_t>(key) : std::nullopt;
}

std::optional<std::int32_t> block_line_item(std::string_view line) {
  if (line == BLOCK_END_LINE) return CLOSE_ITEM;
  return parse_key_text(line);
}

std::optional<std::int32_t> command_item(std::string_view line) {
  if (line == INSERT_LINE) return OPEN_ITEM;
  if (line == CHECKPOINT_LINE) return CHECKPOINT_ITEM;
  if (line == QUIT_LINE) return QUIT_ITEM;
  if (!line.starts_with(DELETE_PREFIX)) return std::nullopt;
  const std::optional<std::int32_t> key = parse_key_text(line.substr(DELETE_PREFIX.size()));
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
      return write_line(INSERT_LINE, out);
    case CLOSE_ITEM:
      return write_line(BLOCK_END_LINE, out);
    case CHECKPOINT_ITEM:
      return write_line(CHECKPOINT_LINE, out);
    case QUIT_ITEM:
      return write_line(QUIT_LINE, out);
    default: {
      // The key line's 8-byte copy may run past the line: it goes through a
      // room of its own.
      char line[MAX_ITEM_TEXT + 8];
      char* end = is_key_item(item) ? write_key_line(line, item) : write_delete_line(line, key_of(item));
      std::memcpy(out, line, static_cast<std::size_t>(end - line));
      return static_cast<std::size_t>(end - line);
    }
  }
}

void script_builder::add(std::string_view lines) {
  for (std::size_t at = 0; at < lines.size() && !done();) {
    const std::string_view line = line_at(lines, at);
    const std::size_t next = lines.find('\n', at);
    at = next == std::string_view::npos ? lines.size() : next + 1;
    const std::optional<std::int32_t> item = in_block_ ? block_line_item(line) : command_item(line);
    if (item) {
      in_block_ = in_block_ ? *item != CLOSE_ITEM : *item == OPEN_ITEM;
      value_.items.push_back(*item);
    }
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
