#include "shrink/shrink.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "script/language.h"

namespace keyscript {

namespace {

using item_list = std::vector<std::int32_t>;

std::size_t quit_index(const script& current) { return current.items.size() - 1; }

// The start of the unit that ends at `end`: a key line inside a block, or
// outside one a command, a block whole.
std::size_t unit_start(const item_list& items, std::size_t end) {
  if (items[end - 1] != CLOSE_ITEM) return end - 1;
  const auto open =
      std::find(std::make_reverse_iterator(items.begin() + static_cast<std::ptrdiff_t>(end)), items.rend(), OPEN_ITEM);
  return static_cast<std::size_t>(items.rend() - open) - 1;
}

struct unit_run {
  std::size_t start;
  std::size_t count;
};

// Up to `count` units of the kind of the one that ends at `end` (key lines
// inside a block, commands outside), going back from `end`: where they start
// and how many there are.
unit_run units_before(const item_list& items, std::size_t end, std::size_t count) {
  const bool keys = is_key_item(items[end - 1]);
  unit_run run{end, 0};
  while (run.count < count && run.start > 0) {
    const std::int32_t item = items[run.start - 1];
    if (item == OPEN_ITEM || keys != is_key_item(item)) break;
    run.start = unit_start(items, run.start);
    ++run.count;
  }
  return run;
}

// Each walk below lists one stage's candidates in a fixed order, as a value
// that can be copied: settle() moves to the next candidate (false when the
// stage is over), make() describes it, and rejected() or accepted() moves on
// as that candidate's answer says. A copy can walk ahead assuming every
// candidate passes, which is what makes a batch.

// How many units to try taking out next from one place: one alone; once
// that goes, as many again, doubling while they go, then halving back to the
// largest number that goes (Hypothesis' find_integer). Units that went are
// gone, so each count is of units still there. A run of a thousand units
// that can go costs some twenty candidates, a unit that cannot go one.
struct doubling_search {
  std::size_t more = 0;   // 0: one unit alone, before any went; else this many more
  std::size_t bound = 0;  // 0 while doubling; else a number of units known not to go

  [[nodiscard]] std::size_t count() const { return std::max<std::size_t>(more, 1); }
  // No more than `available` units are there to try.
  void cap(std::size_t available) { more = std::min(more, available); }
  // The units tried went; false when the search is over, the next unit
  // being known not to go alone.
  bool went() {
    if (more == 0 || bound == 0) {
      more = more == 0 ? 1 : 2 * more;
      return true;
    }
    bound -= more;
    more = bound / 2;
    return more > 0;
  }
  // The units tried stayed; false when the search is over.
  bool stayed() {
    if (more <= 1) return false;
    bound = more;
    more = bound / 2;
    return true;
  }
};

// Units from the last towards the first, searching from each place how many
// can go. Outside blocks the units are commands, a block whole; with
// `into_blocks`, a block that stays has its key lines tried in turn.
struct adaptive_removal {
  bool into_blocks;
  std::size_t place;  // the units tried end here
  doubling_search search;

  bool settle(const script& current) {
    const item_list& items = current.items;
    for (;;) {
      if (place == 0) return false;
      if (items[place - 1] != OPEN_ITEM) break;
      // A block's key lines are done: on to the command before it.
      --place;
      search = {};
    }
    search.cap(units_before(items, place, search.count()).count);
    return true;
  }
  [[nodiscard]] candidate make(const script& current) const {
    return without_items(current, units_before(current.items, place, search.count()).start, place);
  }
  void rejected(const candidate& tried) {
    if (!search.stayed()) pass_unit(*tried.base);
  }
  void accepted(const candidate& taken) {
    place = taken.removed_begin;
    if (!search.went()) pass_unit(*taken.base);
  }

 private:
  // The unit before `place` cannot go alone: into it when it is a block
  // whose key lines are tried, else past it.
  void pass_unit(const script& current) {
    const item_list& items = current.items;
    place = into_blocks && items[place - 1] == CLOSE_ITEM ? place - 1 : unit_start(items, place);
    search = {};
  }
};

// The key lines that insert a key already held, were the collection a set:
// a set program does nothing with them.
item_ranges repeated_insertions(const item_list& items) {
  item_ranges repeats;
  std::vector<bool> held(KEY_VALUES);
  for (std::size_t at = 0; at < items.size(); ++at) {
    const std::int32_t item = items[at];
    if (is_erase_item(item)) held[static_cast<std::size_t>(key_of(item))] = false;
    if (!is_key_item(item)) continue;
    if (!held[static_cast<std::size_t>(item)]) {
      held[static_cast<std::size_t>(item)] = true;
    } else if (!repeats.empty() && repeats.back().end == at) {
      repeats.back().end = at + 1;
    } else {
      repeats.push_back({at, at + 1});
    }
  }
  return repeats;
}

// The "-1" and "i" between each two adjacent blocks: leaving out a pair
// merges its two blocks into one.
item_ranges block_joins(const item_list& items) {
  item_ranges joins;
  for (std::size_t at = 0; at + 1 < items.size(); ++at) {
    if (items[at] == CLOSE_ITEM && items[at + 1] == OPEN_ITEM) joins.push_back({at, at + 2});
  }
  return joins;
}

// The keys renamed 0, 1, 2, ... in the order `ordered` lists them; empty
// when that changes nothing.
key_map numbered(const std::vector<std::int32_t>& ordered) {
  key_map keys(KEY_VALUES);
  for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
    keys[static_cast<std::size_t>(key)] = key;
  }
  bool changes = false;
  for (std::size_t rank = 0; rank < ordered.size(); ++rank) {
    keys[static_cast<std::size_t>(ordered[rank])] = static_cast<std::int32_t>(rank);
    changes = changes || ordered[rank] != static_cast<std::int32_t>(rank);
  }
  return changes ? keys : key_map{};
}

// Every distinct key renamed by its rank, so that the smallest is 0 and no
// value is left out between two keys: their order stays.
key_map by_rank(const item_list& items) {
  std::vector<bool> present(KEY_VALUES);
  for (const std::int32_t item : items) {
    if (key_of(item) >= 0) present[static_cast<std::size_t>(key_of(item))] = true;
  }
  std::vector<std::int32_t> ordered;
  for (std::int32_t key = 0; key < KEY_VALUES; ++key) {
    if (present[static_cast<std::size_t>(key)]) ordered.push_back(key);
  }
  return numbered(ordered);
}

// Every distinct key renamed by the order in which keys first appear, so that
// the script's first key is 0, the next new one 1, and so on.
key_map by_first_appearance(const item_list& items) {
  std::vector<bool> seen(KEY_VALUES);
  std::vector<std::int32_t> ordered;
  for (const std::int32_t item : items) {
    const std::int32_t key = key_of(item);
    if (key < 0 || seen[static_cast<std::size_t>(key)]) continue;
    seen[static_cast<std::size_t>(key)] = true;
    ordered.push_back(key);
  }
  return numbered(ordered);
}

// The lines that name one of the `count` largest keys: key lines and
// erases. Leaving them out keeps the keys below as they are, so keys
// renumbered by rank stay so.
item_ranges lines_of_largest_keys(const item_list& items, std::size_t count) {
  std::vector<bool> present(KEY_VALUES);
  for (const std::int32_t item : items) {
    if (key_of(item) >= 0) present[static_cast<std::size_t>(key_of(item))] = true;
  }
  std::int32_t lowest = KEY_VALUES;
  for (; lowest > 0 && count > 0; --lowest) {
    count -= present[static_cast<std::size_t>(lowest - 1)] ? 1 : 0;
  }
  item_ranges lines;
  for (std::size_t at = 0; at < items.size(); ++at) {
    if (key_of(items[at]) < lowest) continue;
    if (!lines.empty() && lines.back().end == at) {
      lines.back().end = at + 1;
    } else {
      lines.push_back({at, at + 1});
    }
  }
  return lines;
}

std::size_t distinct_keys(const item_list& items) {
  std::vector<bool> present(KEY_VALUES);
  std::size_t count = 0;
  for (const std::int32_t item : items) {
    const std::int32_t key = key_of(item);
    if (key < 0 || present[static_cast<std::size_t>(key)]) continue;
    present[static_cast<std::size_t>(key)] = true;
    ++count;
  }
  return count;
}

// Changes to the whole script, one candidate each, that a script whose
// failure needs many lines would otherwise make a line or a key at a time:
// repeated insertions dropped; every two adjacent blocks merged, then each
// two alone; the keys renumbered by first appearance (the first key 0, the
// next new one 1, ...), else by rank where their order counts; then the
// largest keys left out, as many as can go, searched as removals are. The
// keys are then 0 to n-1 with no gap, and a failure that needs ten thousand
// of them keeps none for a renumbering in the next round to close, which
// would change every candidate of the line removal. A change that would leave
// the script as it is is not tried.
struct whole_script_changes {
  enum step_name : std::uint8_t { REPEATS, ALL_JOINS, EACH_JOIN, FIRST_APPEARANCE, RANK, LARGEST_KEYS, DONE };
  bool by_appearance = true;  // the keys renumbered by first appearance too
  std::uint8_t step = REPEATS;
  std::size_t join = 0;     // while at EACH_JOIN: how many joins, in order, stay
  doubling_search largest;  // while at LARGEST_KEYS: how many of the largest keys to leave out
  candidate ready;          // what settle() found to try

  bool settle(const script& current) {
    for (; step != DONE; ++step) {
      if (find(current)) return true;
    }
    return false;
  }
  [[nodiscard]] candidate make(const script& /*current*/) const { return ready; }
  void rejected(const candidate& /*tried*/) {
    if (step == EACH_JOIN) {
      ++join;
    } else if (step != LARGEST_KEYS || !largest.stayed()) {
      ++step;
    }
  }
  void accepted(const candidate& /*taken*/) {
    // At EACH_JOIN the next join, if any, is now the join-th.
    if (step != EACH_JOIN && (step != LARGEST_KEYS || !largest.went())) ++step;
  }

 private:
  bool find(const script& current) {
    const item_list& items = current.items;
    switch (step) {
      case REPEATS:
        return ready_unless_empty(current, repeated_insertions(items), 1);
      case ALL_JOINS:
        return ready_unless_empty(current, block_joins(items), 2);
      case EACH_JOIN: {
        const item_ranges joins = block_joins(items);
        if (join >= joins.size()) return false;
        ready = without_items(current, joins[join].begin, joins[join].end);
        return true;
      }
      case RANK:
        return ready_unless_same(current, by_rank(items));
      case LARGEST_KEYS:
        largest.cap(distinct_keys(items));
        return ready_unless_empty(current, lines_of_largest_keys(items, largest.count()), 1);
      case FIRST_APPEARANCE:
        return by_appearance && ready_unless_same(current, by_first_appearance(items));
      default:
        return false;
    }
  }
  bool ready_unless_empty(const script& current, item_ranges ranges, std::size_t at_least) {
    if (ranges.size() < at_least) return false;
    ready = without_ranges(current, std::make_shared<const item_ranges>(std::move(ranges)));
    return true;
  }
  bool ready_unless_same(const script& current, key_map keys) {
    if (keys.empty()) return false;
    ready = with_keys_mapped(current, std::make_shared<const key_map>(std::move(keys)));
    return true;
  }
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

// Keys whose values below are all taken are tried merged with 0 one at a time
// only up to this many distinct keys: each try is a run on the whole script,
// and a failure that needs thousands of distinct keys has them renumbered as
// a whole (whole_script_changes) rather than tried key by key.
constexpr std::size_t MOST_KEYS_MERGED = 2048;

std::size_t distinct_keys(const first_positions& first_at) {
  return static_cast<std::size_t>(
      std::count_if(first_at.begin(), first_at.end(), [](std::size_t at) { return at != NOWHERE; }));
}

// Each distinct key, in order of first appearance, renamed first to the
// smallest value no key has (which keeps the keys distinct), then to 0, then
// to the smallest value a binary search finds that still fails. Taking a
// value another key has merges the two, which is a smaller script too.
struct key_lowering {
  first_positions* first_at;  // shared by the copies; changed only by accepted()
  bool merges;                // keys with every value below taken are tried merged with 0
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
        low = -1;
        high = key;
        all_taken = smallest_free() < 0;
        if (all_taken && !merges) continue;
        searching = true;
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

struct reduction {
  script current;
  candidate_tester* tester;
  const shrink_options* options;
  std::uint64_t tried = 0;
  std::uint64_t handed_out = 0;
  std::vector<candidate> batch;
  std::vector<std::uint64_t> batch_hashes;
  std::vector<candidate_answer> answers;
  // The hashes of the scripts of candidates that passed for certain: a pass
  // that a later round would otherwise run again, the same script reached by
  // another change, or a candidate a doubling and halving search tried once.
  std::unordered_set<std::uint64_t> passed;
};

enum class stage_end { unchanged, changed, stopped };

bool asked_to_stop(const shrink_options& options) { return options.should_stop && options.should_stop(); }

// Whether the batch so far, or a candidate that passed before, has the same
// script: its answer is known, or will be by the end of the batch.
bool known(const reduction& state, std::uint64_t hash) {
  return state.passed.contains(hash) ||
         std::find(state.batch_hashes.begin(), state.batch_hashes.end(), hash) != state.batch_hashes.end();
}

// The batch's first failing candidate, or its size; the certain passes
// before it are remembered. Answers after it are not, since a batch of one
// would not have run those candidates.
std::size_t answer_batch(reduction& state) {
  state.answers.assign(state.batch.size(), candidate_answer::not_run);
  state.tester->answer(state.batch, state.answers);
  std::size_t at = 0;
  for (; at < state.batch.size() && state.answers[at] != candidate_answer::fails; ++at) {
    if (state.answers[at] == candidate_answer::passes) state.passed.insert(state.batch_hashes[at]);
  }
  return at;
}

// The walk's candidates a batch at a time. A copy of the walk runs ahead as if
// every candidate passed, and keeps where it was at each; when one fails, the
// walk resumes from there as a batch of one would have. A candidate whose
// script is known is passed over as a batch of one would pass over it.
template <typename Walk>
stage_end run_stage(reduction& state, Walk walk) {
  const std::size_t batch_size = std::max<std::size_t>(1, state.options->batch);
  std::vector<Walk> walk_at;
  bool changed = false;
  for (;;) {
    state.batch.clear();
    state.batch_hashes.clear();
    walk_at.clear();
    Walk ahead = walk;
    while (state.batch.size() < batch_size && ahead.settle(state.current)) {
      candidate next = ahead.make(state.current);
      const std::uint64_t hash = candidate_hash(next);
      if (!known(state, hash)) {
        walk_at.push_back(ahead);
        state.batch.push_back(next);
        state.batch_hashes.push_back(hash);
      }
      ahead.rejected(next);
    }
    if (state.batch.empty()) return changed ? stage_end::changed : stage_end::unchanged;
    if (asked_to_stop(*state.options)) return stage_end::stopped;
    const std::size_t failing = answer_batch(state);
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

// One round of every stage; changed when the line removal or the lowering
// changed anything, since then the script may not be 1-minimal yet. The
// whole-script changes come first as well as after the commands: dropping
// repeated insertions takes a script of millions of key lines down to tens
// of thousands in one candidate, before commands are tried one by one on it.
stage_end run_round(reduction& state) {
  if (run_stage(state, whole_script_changes{}) == stage_end::stopped) return stage_end::stopped;
  if (run_stage(state, adaptive_removal{false, quit_index(state.current), {}}) == stage_end::stopped) {
    return stage_end::stopped;
  }
  if (run_stage(state, whole_script_changes{}) == stage_end::stopped) return stage_end::stopped;
  const stage_end lines = run_stage(state, adaptive_removal{true, quit_index(state.current), {}});
  if (lines == stage_end::stopped) return stage_end::stopped;
  first_positions first_at = first_appearances(state.current);
  const bool merges = distinct_keys(first_at) <= MOST_KEYS_MERGED;
  const stage_end lowering = run_stage(state, key_lowering{&first_at, merges});
  if (lowering == stage_end::stopped) return stage_end::stopped;
  return lowering == stage_end::changed || lines == stage_end::changed ? stage_end::changed : stage_end::unchanged;
}

}  // namespace

shrink_result shrink(script failing, candidate_tester& tester, const shrink_options& options) {
  reduction state{std::move(failing), &tester, &options, 0, 0, {}, {}, {}, {}};
  stage_end end = stage_end::changed;
  while (end == stage_end::changed) {
    end = run_round(state);
  }
  return {std::move(state.current), state.tried, state.handed_out, end == stage_end::stopped};
}

}  // namespace keyscript
