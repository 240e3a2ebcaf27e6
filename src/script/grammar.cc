#include "script/grammar.h"

#include "io/quote.h"
#include "script/language.h"
#include "script/script_value.h"

namespace keyscript {

namespace {

std::optional<std::int32_t> key_item(std::string_view text) {
  const std::int32_t key = parse_key(text);
  return key >= 0 ? std::optional<std::int32_t>(key) : std::nullopt;
}

std::string quoted(std::string_view text) { return quote(text).text; }

}  // namespace

std::optional<std::int32_t> item_of_line(std::string_view text, bool in_block) {
  if (in_block) {
    return text == BLOCK_END_LINE ? std::optional<std::int32_t>(CLOSE_ITEM) : key_item(text);
  }
  if (text == INSERT_LINE) return OPEN_ITEM;
  if (text == CHECKPOINT_LINE) return CHECKPOINT_ITEM;
  if (text == QUIT_LINE) return QUIT_ITEM;
  if (!text.starts_with(DELETE_PREFIX)) return std::nullopt;
  const std::optional<std::int32_t> key = key_item(text.substr(DELETE_PREFIX.size()));
  return key ? std::optional<std::int32_t>(erase_item(*key)) : std::nullopt;
}

std::string why_refused(std::string_view text, bool in_block) {
  if (in_block) return "expected a key (0 to 32767) or -1 in an insertion block, not " + quoted(text);
  if (text.starts_with(DELETE_PREFIX))
    return quoted(text) + " does not name a key: a key is 0 to 32767, in plain decimal";
  return "expected i, s, d KEY or q, not " + quoted(text);
}

std::string why_after_q(std::string_view text) { return quoted(text) + " comes after q, which ends the script"; }

bool last_line_is_q(std::string_view unfinished, bool in_block) { return unfinished == QUIT_LINE && !in_block; }

// A line cut short is blamed itself; otherwise the last line, after which q
// should have come.
refusal refuse_end(std::uint64_t lines, bool in_block, std::string_view unfinished) {
  if (!unfinished.empty()) {
    return {lines + 1, "the script ends in the middle of this line (" + quoted(unfinished) + "), with no q line"};
  }
  if (lines == 0) {
    return {1, "the script is empty: it has no q line"};
  }
  return {lines, std::string("the script ends after this line") + (in_block ? ", inside an insertion block" : "") +
                     ", with no q line"};
}

}  // namespace keyscript
