#include "script/script_value.h"

#include <algorithm>
#include <cstring>

#include "script/language.h"

namespace keyscript {

namespace {

std::size_t write_text(std::string_view line, char* out) {
  return static_cast<std::size_t>(write_line(out, line) - out);
}

}  // namespace

std::size_t write_item_text(std::int32_t item, char* out) {
  switch (item) {
    case OPEN_ITEM:
      return write_text(INSERT_LINE, out);
    case CLOSE_ITEM:
      return write_text(BLOCK_END_LINE, out);
    case CHECKPOINT_ITEM:
      return write_text(CHECKPOINT_LINE, out);
    case QUIT_ITEM:
      return write_text(QUIT_LINE, out);
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

// One line, its line end taken off; false when it is refused.
bool script_builder::take_line(std::string_view text) {
  const std::uint64_t line = value_.items.size() + 1;
  if (done()) {
    refused_ = refusal{line, why_after_q(text)};
    return false;
  }
  const std::optional<std::int32_t> item = item_of_line(text, in_block_);
  if (!item) {
    refused_ = refusal{line, why_refused(text, in_block_)};
    return false;
  }
  in_block_ = in_block_ ? *item != CLOSE_ITEM : *item == OPEN_ITEM;
  value_.items.push_back(*item);
  return true;
}

bool script_builder::add(std::string_view lines) {
  while (!lines.empty() && !refused_) {
    const std::size_t newline = lines.find('\n');
    std::string_view text = lines.substr(0, newline);
    if (text.ends_with('\r')) {
      text.remove_suffix(1);
    }
    lines.remove_prefix(newline == std::string_view::npos ? lines.size() : newline + 1);
    take_line(text);
  }
  return !refused_;
}

bool script_builder::finish(std::string_view unfinished) {
  if (refused_) {
    return false;
  }
  if (done() && !unfinished.empty()) {
    return take_line(unfinished);  // refused: it comes after q
  }
  if (done() || (last_line_is_q(unfinished, in_block_) && take_line(unfinished))) {
    return true;
  }
  refused_ = refuse_end(value_.items.size(), in_block_, unfinished);
  return false;
}

parsed_script parse_script(std::string_view text) {
  script_builder builder;
  // Exactly one item a line, so the vector is never regrown past it.
  builder.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  const std::size_t whole = text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1;
  if (builder.add(text.substr(0, whole))) {
    builder.finish(text.substr(whole));
  }
  return {builder.take(), builder.refused()};
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
