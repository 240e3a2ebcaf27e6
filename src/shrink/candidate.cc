#include "shrink/candidate.h"

#include <algorithm>

namespace keyscript {

namespace {

// A pipe's usual capacity on Linux: one piece fills it in one write.
constexpr std::size_t PIECE_BYTES = 65536;

std::int32_t renamed(const candidate& change, std::int32_t item) {
  return key_of(item) == change.key_from ? with_key(item, change.key_to) : item;
}

}  // namespace

candidate without_items(const script& base, std::size_t begin, std::size_t end) {
  return {&base, begin, end, NO_KEY, NO_KEY};
}

candidate with_key_replaced(const script& base, std::int32_t from, std::int32_t to) { return {&base, 0, 0, from, to}; }

void accept_candidate(script& base, const candidate& change) {
  std::vector<std::int32_t>& items = base.items;
  const auto begin = items.begin();
  items.erase(begin + static_cast<std::ptrdiff_t>(change.removed_begin),
              begin + static_cast<std::ptrdiff_t>(change.removed_end));
  if (change.key_from == NO_KEY) return;
  for (std::int32_t& item : items) {
    item = renamed(change, item);
  }
}

std::size_t candidate_lines(const candidate& change) {
  return change.base->items.size() - (change.removed_end - change.removed_begin);
}

candidate_source::candidate_source(const candidate& change)
    : change_(change), buffer_(line_span::READABLE_BEFORE + PIECE_BYTES, '\n') {}

line_span candidate_source::next() {
  const std::vector<std::int32_t>& items = change_.base->items;
  char* const start = buffer_.data() + line_span::READABLE_BEFORE;
  const std::size_t room = PIECE_BYTES;
  std::size_t used = 0;
  while (next_item_ < items.size() && used + MAX_ITEM_TEXT <= room) {
    if (next_item_ == change_.removed_begin) {
      next_item_ = change_.removed_end;
      if (next_item_ == items.size()) break;
    }
    used += write_item_text(renamed(change_, items[next_item_]), start + used);
    ++next_item_;
  }
  return {start, used};
}

std::string candidate_text(const candidate& change) {
  std::string text;
  candidate_source source(change);
  for (line_span part = source.next(); part.size != 0; part = source.next()) {
    text.append(part.data, part.size);
  }
  return text;
}

}  // namespace keyscript
