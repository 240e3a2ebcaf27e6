#include "shrink/shrink.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "script/language.h"

namespace keyscript {

namespace {

using item_list = std::vector<std::int32_t>;

std::size_t quit_index(const script& current) { return current.items.size() - 1; }

std::size_t block_close(const item_list& items, std::size_t open) {
  return static_cast<std::size_t>(
      std::find(items.begin() + static_cast<std::ptrdiff_t>(open), items.end(), CLOSE_ITEM) - items.begin());
}

// One past the last line of the command or key line that starts at `at`.
std::size_t unit_end(const item_list& items, std::size_t at) {
  return items[at] == OPEN_ITEM ? block_close(items, at) + 1 : at + 1;
}

std::size_t command_count(const item_list& items) {
  std::size_t count = 0;
  for (std::size_t at = 0; at + 1 < items.size(); at = unit_end(items, at)) {
    ++count;
  }
  return count;
}

// Each walk below lists one stage's candidates in a fixed order, as a value
// that can be copied: settle() moves to the next candidate (false when the
// stage is over), make() describes it, and rejected() or accepted() moves on
// as that candidate's answer says. A copy can walk ahead assuming every
// candidate passes, which is what makes a batch.

// ddmin over the commands before q: chunks of half the commands, a quarter,
// down to two, staying at a size for as long as it removes anything. Single
// commands are left to the line pass, which tries each of them anyway.
struct command_removal {
  std::size_t chunk;
  std::size_t at = 0;

  bool settle(const script& current) {
    while (at >= quit_index(current)) {
      if (chunk <= 2) return false;
      chunk /= 2;
      at = 0;
    }
    return true;
  }
  [[nodiscard]] candidate make(const script& current) const {
    std::size_t end = at;
    for (std::size_t n = 0; n < chunk && end < quit_index(current); ++n) {
      end = unit_end(current.items, end);
    }
    return without_items(current, at, end);
  }
  void rejected(const candidate& tried) { at = tried.removed_end; }
  void accepted(const candidate& /*taken*/) {}  // the next chunk has moved up to `at`
};

// The same over the key lines of each block in turn, single keys again left
// to the line pass.
struct block_key_removal {
  bool in_block = false;
  std::size_t open = 0;
  std::size_t close = 0;
  std::size_t chunk = 1;
  std::size_t at = 0;

  bool settle(const script& current) {
    const item_list& items = current.items;
    while (!in_block || at >= close) {
      if (in_block && chunk > 2) {
        chunk /= 2;
        at = open + 1;
        continue;
      }
      const auto from = static_cast<std::ptrdiff_t>(in_block ? close + 1 : 0);
      const auto next = std::find(items.begin() + from, items.end(), OPEN_ITEM);
      if (next == items.end()) return false;
      in_block = true;
      open = static_cast<std::size_t>(next - items.begin());
      close = block_close(items, open);
      chunk = (close - open - 1) / 2;
      at = chunk >= 2 ? open + 1 : close;
    }
    return true;
  }
  [[nodiscard]] candidate make(const script& current) const {
    return without_items(current, at, std::min(at + chunk, close));
  }
  void rejected(const candidate& tried) { at = tried.removed_end; }
  void accepted(const candidate& taken) { close -= taken.removed_end - taken.removed_begin; }
};

// Where each key value first appears, or NOWHERE. A rename moves no line, so
// the table stays true through a stage with a two-entry update for each rename
// taken, and no rescan of the script.
constexpr std::size_t NOWHERE = std::numeric_limits<std::size_t>::max();
using first_positions = std::vector<std::size_t>;

first_positions first_appearances(const script& current) {
  first_positions first_at(KEY_VALUES, NOWHERE);
  for (std::size_t at = 0; at < current.items.size(); ++at) {
    const std::int32_t key = key_of(current.items[at]);
    if (key >= 0 && first_at[static_cast<std::size_t>(key)] == NOWHERE) first_at[static_cast<std::size_t>(key)] = at;
  }
  return first_at;
}

// Each distinct key, in order of first appearance, renamed first to the
// smallest value no key has (which keeps the keys distinct: a script whose
// failure needs many keys lowers in one candidate a key), then to 0, then to
// the smallest value a binary search finds that still fails. Taking a value
// another key has merges the two, which is a smaller script too.
struct key_lowering {
  first_positions* first_at;  // shared by the copies; changed only by accepted()
  std::size_t at = 0;         // the first appearance of the key being lowered
  bool searching = false;
  bool tried_free = false;  // the smallest free value has been tried for this key
  bool all_taken = false;   // every value below the key is another key's: only merges are left
  std::int32_t low = -1;    // the highest value known to pass; -1 before 0 is tried
  std::int32_t high = 0;    // the key's value now

  // The smallest value below the key's that no key has, or -1.
  [[nodiscard]] std::int32_t smallest_free() const {
    for (std::int32_t value = 0; value < high; ++value) {
      if ((*first_at)[static_cast<std::size_t>(value)] == NOWHERE) return value;
    }
    return -1;
  }
  bool settle(const script& current) {
    if (searching && (!tried_free || high - low > 1)) return true;
    if (searching) {
      searching = false;
      ++at;
    }
    for (; at < current.items.size(); ++at) {
      const std::int32_t key = key_of(current.items[at]);
      if (key > 0 && (*first_at)[static_cast<std::size_t>(key)] == at) {
        searching = true;
        low = -1;
        high = key;
        all_taken = smallest_free() < 0;
        tried_free = all_taken;
        return true;
      }
    }
    return false;
  }
  [[nodiscard]] candidate make(const script& current) const {
    if (!tried_free) return with_key_replaced(current, high, smallest_free());
    return with_key_replaced(current, high, low < 0 ? 0 : low + (high - low) / 2);
  }
  void rejected(const candidate& tried) {
    if (tried_free) {
      // With every value below taken, a search would only merge the key
      // with others, one after another: merging with 0 was the one try.
      low = all_taken ? high - 1 : tried.key_to;
    } else {
      tried_free = true;
      low = tried.key_to == 0 ? 0 : -1;
    }
  }
  void accepted(const candidate& taken) {
    high = taken.key_to;
    if (!tried_free) {
      tried_free = true;
      low = high - 1;  // every value below it is another key's
    }
    std::size_t& first_of_new = (*first_at)[static_cast<std::size_t>(taken.key_to)];
    std::size_t& first_of_old = (*first_at)[static_cast<std::size_t>(taken.key_from)];
    first_of_new = std::min(first_of_new, first_of_old);
    first_of_old = NOWHERE;
  }
};

// Every line but q alone, except that a block's "i" and "-1" go only with the
// whole block; when a block stays, its key lines are tried one by one.
struct line_removal {
  std::size_t at = 0;

  bool settle(const script& current) {
    while (at < quit_index(current) && current.items[at] == CLOSE_ITEM) {
      ++at;
    }
    return at < quit_index(current);
  }
  [[nodiscard]] candidate make(const script& current) const {
    return without_items(current, at, unit_end(current.items, at));
  }
  void rejected(const candidate& tried) { at = tried.removed_begin + 1; }
  void accepted(const candidate& /*taken*/) {}
};

struct reduction {
  script current;
  candidate_tester* tester;
  const shrink_options* options;
  std::uint64_t tried = 0;
  std::uint64_t handed_out = 0;
  std::vector<candidate> batch;
};

enum class stage_end { unchanged, changed, stopped };

bool asked_to_stop(const shrink_options& options) { return options.should_stop && options.should_stop(); }

// The walk's candidates a batch at a time. A copy of the walk runs ahead as if
// every candidate passed, and keeps where it was at each; when one fails, the
// walk resumes from there as a batch of one would have.
template <typename Walk>
stage_end run_stage(reduction& state, Walk walk) {
  const std::size_t batch_size = std::max<std::size_t>(1, state.options->batch);
  std::vector<Walk> walk_at;
  bool changed = false;
  for (;;) {
    state.batch.clear();
    walk_at.clear();
    Walk ahead = walk;
    while (state.batch.size() < batch_size && ahead.settle(state.current)) {
      walk_at.push_back(ahead);
      state.batch.push_back(ahead.make(state.current));
      ahead.rejected(state.batch.back());
    }
    if (state.batch.empty()) return changed ? stage_end::changed : stage_end::unchanged;
    if (asked_to_stop(*state.options)) return stage_end::stopped;
    const std::size_t failing = std::min(state.tester->first_failing(state.batch), state.batch.size());
    state.handed_out += state.batch.size();
    state.tried += failing < state.batch.size() ? failing + 1 : failing;
    if (failing == state.batch.size()) {
      walk = ahead;
    } else {
      const candidate taken = state.batch[failing];
      accept_candidate(state.current, taken);
      walk = walk_at[failing];
      walk.accepted(taken);
      changed = true;
    }
    if (state.options->on_progress) state.options->on_progress({state.current.items.size(), state.tried});
  }
}

// One round of every stage; changed when the last two stages changed
// anything, since then the script may not be 1-minimal yet.
stage_end run_round(reduction& state) {
  const std::size_t commands = command_count(state.current.items);
  if (run_stage(state, command_removal{std::max<std::size_t>(1, commands / 2)}) == stage_end::stopped) {
    return stage_end::stopped;
  }
  if (run_stage(state, block_key_removal{}) == stage_end::stopped) return stage_end::stopped;
  first_positions first_at = first_appearances(state.current);
  const stage_end lowering = run_stage(state, key_lowering{&first_at});
  if (lowering == stage_end::stopped) return stage_end::stopped;
  const stage_end lines = run_stage(state, line_removal{});
  if (lines == stage_end::stopped) return stage_end::stopped;
  return lowering == stage_end::changed || lines == stage_end::changed ? stage_end::changed : stage_end::unchanged;
}

}  // namespace

shrink_result shrink(script failing, candidate_tester& tester, const shrink_options& options) {
  reduction state{std::move(failing), &tester, &options, 0, 0, {}};
  stage_end end = stage_end::changed;
  while (end == stage_end::changed) {
    end = run_round(state);
  }
  return {std::move(state.current), state.tried, state.handed_out, end == stage_end::stopped};
}

}  // namespace keyscript
