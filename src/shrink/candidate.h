#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_value.h"
#include "script/source.h"

// A candidate is the current script with one change, described rather than
// copied: items [removed_begin, removed_end) left out, and every occurrence of
// key `key_from` named `key_to` instead. It stays valid while its base script
// is unchanged.

namespace keyscript {

inline constexpr std::int32_t NO_KEY = -1;

struct candidate {
  const script* base;
  std::size_t removed_begin;
  std::size_t removed_end;  // equal to removed_begin when nothing is left out
  std::int32_t key_from;    // NO_KEY when no key is renamed
  std::int32_t key_to;
};

candidate without_items(const script& base, std::size_t begin, std::size_t end);
candidate with_key_replaced(const script& base, std::int32_t from, std::int32_t to);

// Makes the candidate's change to its base, in place, without a second copy
// of the script.
void accept_candidate(script& base, const candidate& change);

std::size_t candidate_lines(const candidate& change);

// A candidate's text, handed out a part at a time, so that a caller can
// write it into a pipe as the pipe takes it, or replay it.
class candidate_source final : public line_source {
 public:
  explicit candidate_source(const candidate& change);

  line_span next() override;

 private:
  candidate change_;
  std::size_t next_item_ = 0;
  std::vector<char> buffer_;
};

// The whole text at once, for small scripts and tests.
std::string candidate_text(const candidate& change);

}  // namespace keyscript
