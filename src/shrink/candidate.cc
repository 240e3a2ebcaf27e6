#include "shrink/candidate.h"

#include <algorithm>
#include <span>
#include <utility>

namespace keyscript {

namespace {

// A pipe's usual capacity on Linux: one piece fills it in one write.
constexpr std::size_t PIECE_BYTES = 65536;

std::int32_t renamed(const candidate& change, std::int32_t item) {
  const std::int32_t key = key_of(item);
  if (key < 0) return item;
  if (change.keys) return with_key(item, (*change.keys)[static_cast<std::size_t>(key)]);
  return key == change.key_from ? with_key(item, change.key_to) : item;
}

// The ranges a candidate leaves out as one list, whether it has a list or a
// single range (kept in `single`, which must outlive the span).
std::span<const item_range> removed_ranges(const candidate& change, item_range& single) {
  if (change.removed_list) return *change.removed_list;
  single = {change.removed_begin, change.removed_end};
  return {&single, single.begin == single.end ? 0U : 1U};
}

// Calls `use` with each item the candidate keeps, renamed, in order.
template <typename Use>
void for_each_kept(const candidate& change, Use use) {
  const std::vector<std::int32_t>& items = change.base->items;
  item_range single{};
  std::size_t from = 0;
  const auto keep_up_to = [&](std::size_t end) {
    for (; from < end; ++from) {
      use(renamed(change, items[from]));
    }
  };
  for (const item_range& removed : removed_ranges(change, single)) {
    keep_up_to(removed.begin);
    from = removed.end;
  }
  keep_up_to(items.size());
}

// splitmix64's finaliser: every bit of the input reaches every bit of the
// output, so that items that differ in one bit hash far apart.
constexpr std::uint64_t mixed(std::uint64_t value) {
  value = (value ^ (value >> 30U)) * 0xBF58476D1CE4E5B9U;
  value = (value ^ (value >> 27U)) * 0x94D049BB133111EBU;
  return value ^ (value >> 31U);
}

class item_hasher {
 public:
  void add(std::int32_t item) {
    hash_ = (hash_ ^ mixed(static_cast<std::uint32_t>(item))) * 0x100000001B3U;
    ++count_;
  }
  [[nodiscard]] std::uint64_t value() const { return mixed(hash_ ^ count_); }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325U;
  std::uint64_t count_ = 0;
};

}  // namespace

candidate without_items(const script& base, std::size_t begin, std::size_t end) {
  candidate change;
  change.base = &base;
  change.removed_begin = begin;
  change.removed_end = end;
  return change;
}

candidate without_ranges(const script& base, std::shared_ptr<const item_ranges> ranges) {
  candidate change;
  change.base = &base;
  change.removed_list = std::move(ranges);
  return change;
}

candidate with_key_replaced(const script& base, std::int32_t from, std::int32_t to) {
  candidate change;
  change.base = &base;
  change.key_from = from;
  change.key_to = to;
  return change;
}

candidate with_keys_mapped(const script& base, std::shared_ptr<const key_map> keys) {
  candidate change;
  change.base = &base;
  change.keys = std::move(keys);
  return change;
}

void accept_candidate(script& base, const candidate& change) {
  std::vector<std::int32_t>& items = base.items;
  // Items only move towards the front, so the kept ones are written over
  // the script as they are read.
  std::size_t kept = 0;
  for_each_kept(change, [&](std::int32_t item) { items[kept++] = item; });
  items.resize(kept);
}

std::size_t candidate_lines(const candidate& change) {
  item_range single{};
  std::size_t removed = 0;
  for (const item_range& range : removed_ranges(change, single)) {
    removed += range.end - range.begin;
  }
  return change.base->items.size() - removed;
}

std::uint64_t candidate_hash(const candidate& change) {
  item_hasher hasher;
  for_each_kept(change, [&](std::int32_t item) { hasher.add(item); });
  return hasher.value();
}

std::uint64_t script_hash(const script& value) {
  item_hasher hasher;
  for (const std::int32_t item : value.items) {
    hasher.add(item);
  }
  return hasher.value();
}

// A piece no larger than the whole text can be: a candidate of a thousand
// lines gets 8 KB to fill, not 64 KB, twice for every run while shrinking.
candidate_source::candidate_source(const candidate& change)
    : change_(change),
      piece_bytes_(std::min(PIECE_BYTES, (candidate_lines(change) + 1) * MAX_ITEM_TEXT)),
      buffer_(line_span::READABLE_BEFORE + piece_bytes_, '\n') {}

line_span candidate_source::next() {
  const std::vector<std::int32_t>& items = change_.base->items;
  item_range single{};
  const std::span<const item_range> removed = removed_ranges(change_, single);
  char* const start = buffer_.data() + line_span::READABLE_BEFORE;
  std::size_t used = 0;
  while (used + MAX_ITEM_TEXT <= piece_bytes_) {
    if (next_range_ < removed.size() && next_item_ == removed[next_range_].begin) {
      next_item_ = removed[next_range_++].end;
      continue;
    }
    if (next_item_ == items.size()) break;
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
