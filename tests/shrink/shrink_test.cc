#include "shrink/shrink.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "../script/parsed_text.h"
#include "script/language.h"

namespace keyscript {
namespace {

// Commands drawn at random; keys come often from a small pool so that keys
// repeat, get deleted after being inserted, and merge when lowered.
script random_script(std::uint32_t seed, std::int32_t commands) {
  std::mt19937 random(seed);
  const auto key = [&] { return std::to_string(random() % 2 == 0 ? random() % 10 : random() % 32768); };
  std::string text;
  for (std::int32_t command = 0; command < commands; ++command) {
    const std::uint32_t kind = random() % 4;
    if (kind == 0) text += "s\n";
    if (kind == 1) text += "d " + key() + "\n";
    if (kind < 2) continue;
    text += "i\n";
    for (std::uint32_t n = random() % 12; n > 0; --n) {
      text += key() + "\n";
    }
    text += "-1\n";
  }
  return parsed(text + "q\n");
}

key_map identity_keys() {
  key_map keys(KEY_VALUES);
  std::iota(keys.begin(), keys.end(), 0);
  return keys;
}

TEST(ShrinkCandidate, PiecesMakeTheTextOfTheAcceptedScript) {
  const script base = random_script(7, 6000);  // tens of thousands of lines: several pieces
  const std::size_t last = base.items.size() - 1;
  key_map reversed = identity_keys();
  std::reverse(reversed.begin(), reversed.end());
  const auto scattered = std::make_shared<const item_ranges>(item_ranges{{0, 1}, {7, 9}, {5000, last}});
  for (const candidate& change : {without_items(base, 0, 1), without_items(base, 100, last), without_items(base, 5, 5),
                                  with_key_replaced(base, 3, 0), without_ranges(base, scattered),
                                  with_keys_mapped(base, std::make_shared<const key_map>(reversed))}) {
    script accepted = base;
    accept_candidate(accepted, change);
    std::string text;
    std::size_t pieces = 0;
    candidate_source source(change);
    for (line_span part = source.next(); part.size != 0; part = source.next(), ++pieces) {
      text.append(part.data, part.size);
    }
    EXPECT_EQ(text, script_text(accepted)) << change.removed_begin << " " << change.removed_end;
    EXPECT_EQ(candidate_lines(change), accepted.items.size());
    EXPECT_EQ(candidate_hash(change), script_hash(accepted));
    EXPECT_GT(pieces, change.removed_end == last || change.removed_list ? 0U : 1U);
  }
}

TEST(ShrinkCandidate, EachKindOfChangeMakesTheScriptItDescribes) {
  const script base = parsed("i\n3\n5\n3\n-1\ni\n7\n-1\ns\nd 5\nq\n");
  key_map keys = identity_keys();
  keys[3] = 1;
  keys[5] = 0;
  keys[7] = 2;
  const struct {
    const char* name;
    candidate change;
    std::string expected;
  } cases[] = {
      {"a key line out", without_items(base, 1, 2), "i\n5\n3\n-1\ni\n7\n-1\ns\nd 5\nq\n"},
      {"two blocks merged", without_items(base, 4, 6), "i\n3\n5\n3\n7\n-1\ns\nd 5\nq\n"},
      {"ranges out, the last one up to q",
       without_ranges(base, std::make_shared<const item_ranges>(item_ranges{{1, 2}, {4, 6}, {8, 10}})),
       "i\n5\n3\n7\n-1\nq\n"},
      {"one key renamed, its erases too", with_key_replaced(base, 5, 0), "i\n3\n0\n3\n-1\ni\n7\n-1\ns\nd 0\nq\n"},
      {"every key renamed", with_keys_mapped(base, std::make_shared<const key_map>(keys)),
       "i\n1\n0\n1\n-1\ni\n2\n-1\ns\nd 0\nq\n"},
  };
  for (const auto& c : cases) {
    script accepted = base;
    accept_candidate(accepted, c.change);
    EXPECT_EQ(candidate_text(c.change), c.expected) << c.name;
    EXPECT_EQ(script_text(accepted), c.expected) << c.name;
    EXPECT_EQ(candidate_lines(c.change), accepted.items.size()) << c.name;
    EXPECT_EQ(candidate_hash(c.change), script_hash(parsed(c.expected))) << c.name;
  }
}

TEST(ShrinkCandidate, HashesTellScriptsApartWhateverDescribesThem) {
  // Each line out, and each key renamed to 0 one way or the other: the
  // hashes are equal exactly where the scripts are.
  const script base = random_script(3, 60);
  std::vector<candidate> changes;
  for (std::size_t at = 0; at + 1 < base.items.size(); ++at) {
    changes.push_back(without_items(base, at, at + 1));
    changes.push_back(without_ranges(base, std::make_shared<const item_ranges>(item_ranges{{at, at + 1}})));
    const std::int32_t key = key_of(base.items[at]);
    if (key < 0) continue;
    changes.push_back(with_key_replaced(base, key, 0));
    key_map keys = identity_keys();
    keys[static_cast<std::size_t>(key)] = 0;
    changes.push_back(with_keys_mapped(base, std::make_shared<const key_map>(keys)));
  }
  std::map<std::string, std::uint64_t> hash_of;
  std::map<std::uint64_t, std::string> text_of;
  for (const candidate& change : changes) {
    const std::string text = candidate_text(change);
    const std::uint64_t hash = candidate_hash(change);
    EXPECT_EQ(hash_of.emplace(text, hash).first->second, hash) << text;
    EXPECT_EQ(text_of.emplace(hash, text).first->second, text) << hash;
  }
  EXPECT_GT(hash_of.size(), base.items.size());
}

// Failure predicates on a script, as a program's wrong answers would be.
using failure = std::function<bool(const script&)>;

std::vector<std::int32_t> key_lines(const script& value) {
  std::vector<std::int32_t> keys;
  std::copy_if(value.items.begin(), value.items.end(), std::back_inserter(keys), is_key_item);
  return keys;
}

std::vector<std::int32_t> block_sizes(const script& value) {
  std::vector<std::int32_t> sizes;
  for (const std::int32_t item : value.items) {
    if (item == OPEN_ITEM) sizes.push_back(0);
    if (is_key_item(item)) ++sizes.back();
  }
  return sizes;
}

bool key7_inserted_then_deleted(const script& value) {
  const auto inserted = std::find(value.items.begin(), value.items.end(), 7);
  return std::find(inserted, value.items.end(), erase_item(7)) != value.items.end();
}
bool deletes_key_not_inserted(const script& value) {
  std::vector<bool> inserted(KEY_VALUES);
  for (const std::int32_t item : value.items) {
    if (is_erase_item(item) && !inserted[static_cast<std::size_t>(key_of(item))]) return true;
    if (is_key_item(item)) inserted[static_cast<std::size_t>(item)] = true;
  }
  return false;
}
bool key_sum_over_100000(const script& value) {
  const std::vector<std::int32_t> keys = key_lines(value);
  return std::accumulate(keys.begin(), keys.end(), std::int64_t{0}) > 100000;
}
// Fails on no pattern at all: its answer changes with every line and key.
bool chaotic(const script& value) {
  std::uint32_t hash = 2166136261U;
  for (const std::int32_t item : value.items) {
    hash = (hash ^ static_cast<std::uint32_t>(item)) * 16777619U;
  }
  return hash % 3 != 0 && key_lines(value).size() >= 4;
}
// A set that lists at most `most` keys at a checkpoint: the failure needs
// more than that many distinct keys held at one.
failure lists_more_than(std::size_t most) {
  return [most](const script& value) {
    std::vector<bool> held(KEY_VALUES);
    std::size_t count = 0;
    for (const std::int32_t item : value.items) {
      const std::int32_t key = key_of(item);
      if (key >= 0 && held[static_cast<std::size_t>(key)] != is_key_item(item)) {
        held[static_cast<std::size_t>(key)] = is_key_item(item);
        count = is_key_item(item) ? count + 1 : count - 1;
      }
      if ((item == CHECKPOINT_ITEM || item == QUIT_ITEM) && count > most) return true;
    }
    return false;
  };
}
// As a B+ tree that goes wrong once `keys` insertions come in a row, with no
// checkpoint or deletion between them: in one block or in adjacent ones.
failure inserts_in_a_row(std::size_t keys) {
  return [keys](const script& value) {
    std::size_t run = 0;
    for (const std::int32_t item : value.items) {
      if (item == CHECKPOINT_ITEM || is_erase_item(item)) run = 0;
      if (is_key_item(item) && ++run >= keys) return true;
    }
    return false;
  };
}

// Runs the predicate on each candidate's text, after checking that the text
// is well formed and differs from the current script. Candidates that do not
// fail get `otherwise` as their answer; every text handed out is counted.
class predicate_tester : public candidate_tester {
 public:
  predicate_tester(failure fails, std::size_t batch, candidate_answer otherwise = candidate_answer::passes)
      : fails_(std::move(fails)), batch_(batch), otherwise_(otherwise) {}

  void answer(std::span<const candidate> batch, std::span<candidate_answer> answers) override {
    if (++batches_ == 100000) ADD_FAILURE() << "no end in sight";
    if (batches_ >= 100000) {  // so that a reduction that never ends ends, failed
      std::fill(answers.begin(), answers.end(), candidate_answer::passes);
      return;
    }
    EXPECT_LE(batch.size(), batch_);
    const std::string current = script_text(*batch.front().base);
    bool failed = false;
    for (std::size_t at = 0; at < batch.size(); ++at) {
      const std::string text = candidate_text(batch[at]);
      ++handed_out_[text];
      const parsed_script candidate = parse_script(text);
      EXPECT_FALSE(candidate.refused) << text;
      EXPECT_NE(text, current);
      if (failed) continue;
      failed = !candidate.refused && fails_(candidate.value);
      answers[at] = failed ? candidate_answer::fails : otherwise_;
    }
  }

  // The most times one script was handed out.
  [[nodiscard]] std::size_t most_handed_out() const {
    std::size_t most = 0;
    for (const auto& [text, times] : handed_out_) {
      most = std::max(most, times);
    }
    return most;
  }

 private:
  failure fails_;
  std::size_t batch_;
  candidate_answer otherwise_;
  std::uint64_t batches_ = 0;
  std::map<std::string, std::size_t> handed_out_;
};

// Brute force: no line alone (a block as a whole) can go.
void expect_one_minimal(const script& value, const failure& fails) {
  const std::vector<std::int32_t>& items = value.items;
  for (std::size_t at = 0; at + 1 < items.size(); ++at) {
    if (items[at] == CLOSE_ITEM) continue;
    std::size_t end = at + 1;
    while (items[at] == OPEN_ITEM && items[end - 1] != CLOSE_ITEM) ++end;
    script smaller = value;
    smaller.items.erase(smaller.items.begin() + static_cast<std::ptrdiff_t>(at),
                        smaller.items.begin() + static_cast<std::ptrdiff_t>(end));
    EXPECT_FALSE(fails(smaller)) << script_text(value) << "without line " << at + 1;
  }
}

shrink_result expect_reduction(const script& start, const failure& fails, const std::string& expected,
                               std::initializer_list<std::size_t> batches = {2, 3, 8}) {
  EXPECT_TRUE(fails(start));
  predicate_tester one_by_one(fails, 1);
  shrink_result first = shrink(start, one_by_one, {});
  // A batch of one answers every candidate it is handed: no script comes
  // twice.
  EXPECT_EQ(one_by_one.most_handed_out(), 1U);
  const std::string text = script_text(first.value);
  EXPECT_TRUE(fails(first.value) && !parse_script(text).refused && !first.stopped_early) << text;
  expect_one_minimal(first.value, fails);
  if (!expected.empty()) {
    EXPECT_EQ(text, expected);
  }
  for (const std::size_t batch : batches) {
    predicate_tester in_batches(fails, batch);
    const shrink_result result = shrink(start, in_batches, {batch, {}, {}});
    EXPECT_EQ(script_text(result.value), text) << "batch " << batch;
    EXPECT_EQ(result.candidates_tried, first.candidates_tried) << "batch " << batch;
    EXPECT_GE(result.candidates_handed_out, result.candidates_tried) << "batch " << batch;
  }
  return first;
}

TEST(ShrinkReduction, EndsOneMinimalAndTheSameWhateverTheBatch) {
  const struct {
    const char* name;
    std::string start;  // empty: three random scripts
    failure fails;
    std::string expected;  // empty where more than one result is as small
  } cases[] = {
      {"key 7 inserted then deleted", "", key7_inserted_then_deleted, "i\n7\n-1\nd 7\nq\n"},
      {"three checkpoints", "",
       [](const script& value) { return std::count(value.items.begin(), value.items.end(), CHECKPOINT_ITEM) >= 3; },
       "s\ns\ns\nq\n"},
      {"a block of six", "",
       [](const script& value) {
         const std::vector<std::int32_t> sizes = block_sizes(value);
         return std::any_of(sizes.begin(), sizes.end(), [](std::int32_t size) { return size > 5; });
       },
       "i\n0\n0\n0\n0\n0\n0\n-1\nq\n"},
      {"key sum over 100000", "", key_sum_over_100000, ""},
      {"deletes a key not inserted", "", deletes_key_not_inserted, "d 0\nq\n"},
      {"a key line of 1000 or more", "",
       [](const script& value) {
         return std::any_of(value.items.begin(), value.items.end(), [](std::int32_t item) { return item >= 1000; });
       },
       "i\n1000\n-1\nq\n"},
      {"always", "", [](const script& /*value*/) { return true; }, "q\n"},
      {"chaotic", "", chaotic, ""},
      // Only renames keep a script of four lines, or of six.
      {"0 is tried before the binary search", "i\n20000\n-1\nq\n",
       [](const script& v) { return v.items.size() == 4 && (v.items[1] == 0 || v.items[1] >= 20000); },
       "i\n0\n-1\nq\n"},
      {"keys are lowered in order of first appearance, erases with them", "i\n300\n200\n-1\nd 300\nq\n",
       [](const script& v) {
         return v.items.size() == 6 && v.items[1] != v.items[2] && v.items[4] == erase_item(v.items[1]);
       },
       "i\n0\n1\n-1\nd 0\nq\n"},
      {"a key goes once a later one has gone", "i\n0\n-1\ni\n0\n0\n-1\nq\n",
       [](const script& value) {
         const std::vector<std::int32_t> sizes = block_sizes(value);
         return sizes.size() == 2 && ((sizes[0] == 0 && sizes[1] == 1) || (sizes[0] == 1 && sizes[1] > 0));
       },
       "i\n-1\ni\n0\n-1\nq\n"},
      {"adjacent blocks merge", "i\n1\n2\n3\n4\n5\n-1\ni\n6\n7\n8\n-1\ni\n9\n10\n11\n12\n13\n-1\nq\n",
       inserts_in_a_row(12), "i\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n-1\nq\n"},
      {"adjacent blocks merge two at a time where all at once fails",
       "i\n1\n2\n3\n-1\ni\n4\n5\n6\n-1\ni\n7\n-1\ni\n8\n-1\nq\n",
       [](const script& value) {
         const std::vector<std::int32_t> sizes = block_sizes(value);
         return sizes.size() >= 2 && sizes.back() == 1 && inserts_in_a_row(6)(value);
       },
       "i\n0\n0\n0\n0\n0\n-1\ni\n0\n-1\nq\n"},
  };
  for (const auto& c : cases) {
    if (!c.start.empty()) {
      SCOPED_TRACE(c.name);
      expect_reduction(parsed(c.start), c.fails, c.expected);
      continue;
    }
    for (const std::uint32_t seed : {2U, 4U, 5U}) {  // seeds whose scripts fail every way above
      SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
      expect_reduction(random_script(seed, 150), c.fails, c.expected);
    }
  }
}

// `blocks` blocks of `keys` keys each, drawn from all values, then q. With
// `deletions`, keyscript's shape: after each block a checkpoint and ten
// deletions of keys it drew.
std::string blocks_of(std::uint32_t seed, std::int32_t blocks, std::int32_t keys, bool deletions) {
  std::mt19937 random(seed);
  std::string text;
  for (std::int32_t block = 0; block < blocks; ++block) {
    std::vector<std::uint32_t> drawn;
    text += "i\n";
    for (std::int32_t n = 0; n < keys; ++n) {
      drawn.push_back(random() % 32768);
      text += std::to_string(drawn.back()) + "\n";
    }
    text += deletions ? "-1\ns\n" : "-1\n";
    for (int n = 0; deletions && n < 10; ++n) {
      text += "d " + std::to_string(drawn[random() % drawn.size()]) + "\n";
    }
  }
  return text + "q\n";
}

// The lines 0 to `last`, one a line.
std::string keys_up_to(std::int32_t last) {
  std::string text;
  for (std::int32_t key = 0; key <= last; ++key) {
    text += std::to_string(key) + "\n";
  }
  return text;
}

TEST(ShrinkReduction, CandidatesScaleWithTheFailureNotTheScript) {
  const struct {
    const char* name;
    std::string start;
    failure fails;
    std::string expected;
    std::uint64_t most_candidates;
  } cases[] = {
      // Proving the result 1-minimal takes a candidate a line, and the keys
      // tried merged one by one another: the rest is a few dozen.
      {"a listing of more than 300 keys", blocks_of(1, 2, 250, true), lists_more_than(300),
       "i\n" + keys_up_to(300) + "-1\nq\n", 2 * 304 + 60},
      // The blocks that stay tried one by one, then merged in one candidate,
      // not one each.
      {"a listing of more than 300 keys, from a hundred blocks", blocks_of(4, 100, 5, false), lists_more_than(300),
       "i\n" + keys_up_to(300) + "-1\nq\n", 2 * 304 + 60},
      // Keys renumbered by rank, since their order counts, and the largest
      // left out in runs that double: no gaps are left for a second round.
      {"a listing of more than 300 keys, unless they come in order", blocks_of(5, 2, 250, true),
       [](const script& value) {
         const std::vector<std::int32_t> keys = key_lines(value);
         return lists_more_than(300)(value) && !std::is_sorted(keys.begin(), keys.end());
       },
       "", 2 * 304 + 60},
      // Past 2048 distinct keys, no key is tried merged alone.
      {"a listing of more than 2100 keys", blocks_of(2, 2, 1800, true), lists_more_than(2100),
       "i\n" + keys_up_to(2100) + "-1\nq\n", 2104 + 60},
      // What can go goes in runs that double: a few candidates for each
      // line that stays, not one for each line that goes.
      {"five lines at the end of five thousand", blocks_of(3, 2, 2500, true).insert(0, "i\n7\n-1\ns\nd 7\n"),
       key7_inserted_then_deleted, "i\n7\n-1\nd 7\nq\n", 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Batches of eight alone beside the batch of one: the test above holds
    // every batch size to the same result, and here each costs a reduction
    // of a long script.
    const shrink_result result = expect_reduction(parsed(c.start), c.fails, c.expected, {8});
    EXPECT_LE(result.candidates_tried, c.most_candidates);
  }
}

TEST(ShrinkReduction, RunsAScriptAgainOnlyWhenItsPassWasUncertain) {
  const script start = random_script(4, 150);
  predicate_tester certain(key_sum_over_100000, 1);
  const shrink_result remembered = shrink(start, certain, {});
  const struct {
    candidate_answer otherwise;
    bool again;  // some script is handed out more than once
  } cases[] = {{candidate_answer::passes, false}, {candidate_answer::uncertain, true}};
  for (const auto& c : cases) {
    for (const std::size_t batch : {1U, 3U}) {
      predicate_tester tester(key_sum_over_100000, batch, c.otherwise);
      const shrink_result result = shrink(start, tester, {batch, {}, {}});
      EXPECT_EQ(script_text(result.value), script_text(remembered.value)) << batch;
      if (batch == 1) {
        EXPECT_EQ(tester.most_handed_out() > 1, c.again);
      }
      if (c.again) {
        EXPECT_GT(result.candidates_tried, remembered.candidates_tried) << batch;
      }
    }
  }
}

TEST(ShrinkReduction, StopsWhenAskedWithTheBestScriptSoFar) {
  const script start = random_script(2, 150);
  for (const std::size_t batch : {1U, 3U}) {
    predicate_tester tester(key_sum_over_100000, batch);
    std::uint64_t asked = 0;
    std::vector<std::size_t> lines;
    const shrink_options options{batch, [&] { return ++asked > 20; },
                                 [&](const shrink_progress& now) { lines.push_back(now.lines); }};
    const shrink_result result = shrink(start, tester, options);
    EXPECT_TRUE(result.stopped_early);
    EXPECT_EQ(lines.size(), 20U);
    EXPECT_TRUE(std::is_sorted(lines.rbegin(), lines.rend()));
    EXPECT_EQ(lines.back(), result.value.items.size());
    EXPECT_LT(result.value.items.size(), start.items.size());
    EXPECT_TRUE(key_sum_over_100000(result.value));
  }
}

}  // namespace
}  // namespace keyscript
