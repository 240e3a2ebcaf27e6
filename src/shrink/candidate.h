#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_value.h"
#include "script/source.h"

// A candidate is the current script with one change, described rather than
// copied: items left out (one range, or a list of them), and keys named
// otherwise (one key, or every key through a table). It stays valid while its
// base script is unchanged; the lists and tables are shared, not copied, as
// candidates are handed around in batches.

namespace keyscript {

inline constexpr std::int32_t NO_KEY = -1;

struct item_range {
  std::size_t begin;
  std::size_t end;
};

// Ranges of items, in order, apart and none empty.
using item_ranges = std::vector<item_range>;

// A new value for every key value (KEY_VALUES entries): a renumbering of the
// whole script in one change.
using key_map = std::vector<std::int32_t>;

struct candidate {
  const script* base = nullptr;
  std::size_t removed_begin = 0;
  std::size_t removed_end = 0;     // equal to removed_begin when nothing is left out
  std::int32_t key_from = NO_KEY;  // NO_KEY when no single key is renamed
  std::int32_t key_to = NO_KEY;
  // When set, the items left out, instead of [removed_begin, removed_end).
  std::shared_ptr<const item_ranges> removed_list;
  // When set, every key is named as it says, instead of key_from as key_to.
  std::shared_ptr<const key_map> keys;
};

candidate without_items(const script& base, std::size_t begin, std::size_t end);
candidate without_ranges(const script& base, std::shared_ptr<const item_ranges> ranges);
candidate with_key_replaced(const script& base, std::int32_t from, std::int32_t to);
candidate with_keys_mapped(const script& base, std::shared_ptr<const key_map> keys);

// Makes the candidate's change to its base, in place, without a second copy
// of the script.
void accept_candidate(script& base, const candidate& change);

std::size_t candidate_lines(const candidate& change);

// A 64-bit hash of the candidate's script, computed without making it: two
// candidates that describe the same script have the same hash, whatever their
// changes, and script_hash of the accepted script is the same again.
std::uint64_t candidate_hash(const candidate& change);
std::uint64_t script_hash(const script& value);

// A candidate's text, handed out a part at a time, so that a caller can
// write it into a pipe as the pipe takes it, or replay it.
class candidate_source final : public line_source {
 public:
  explicit candidate_source(const candidate& change);

  line_span next() override;

 private:
  candidate change_;
  std::size_t next_item_ = 0;
  std::size_t next_range_ = 0;  // the first range not yet passed
  std::size_t piece_bytes_;
  std::vector<char> buffer_;
};

// The whole text at once, for small scripts and tests.
std::string candidate_text(const candidate& change);

}  // namespace keyscript
