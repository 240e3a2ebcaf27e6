// Wide scripts: well formed in every shape and size, the same bytes for the
// same seed, size and shape, and each shape doing what it is there for.
#include "wide/wide_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "../replay/reference_replay.h"
#include "wide/key_pool.h"

namespace keyscript {
namespace {

std::string text_of(std::uint32_t seed, std::int32_t size, wide_shape shape) {
  wide_source source(seed, size, shape);
  std::string text;
  for (line_span part = source.next(); part.size != 0; part = source.next()) {
    text.append(part.data, part.size);
  }
  return text;
}

// What a script does, walked with the tests' own counts of copies.
struct script_stats {
  std::size_t lines = 0;
  int blocks = 0;
  int empty_blocks = 0;
  int largest_block = 0;
  int narrow_blocks = 0;   // 32 keys or more within a span of 512
  int longest_run_up = 0;  // consecutive key lines of a block, each above the last
  int longest_run_down = 0;
  int absent_deletions = 0;     // of a key not held
  int deleted_twice = 0;        // a deletion of the key the line before deleted
  int refills = 0;              // a checkpoint of an empty collection that held keys before, then insertions
  std::size_t longest_gap = 0;  // lines from one checkpoint to the next
  int longest_deletions = 0;    // deletion lines in a row
  double deepest_drop = 0;      // the largest share of the most ever held deleted since
  std::uint64_t most_copies = 0;
  std::int64_t most_listed = 0;  // the most keys held at a checkpoint
  int keys = 0;                  // key lines
  int end_keys = 0;              // of 0, 1, 32766 or 32767
  int edge_keys = 0;             // of those, or of a key next to one held
  bool top_inserted = false;     // 32767
  bool bottom_inserted = false;  // 0
  int falls_in_blocks = 0;       // key lines below the one before them in a block
  int rises_in_blocks = 0;
  int widest_block = 0;  // from a block's lowest key to its highest
};

script_stats stats_of(const std::string& text) {
  script_stats stats;
  std::vector<std::uint64_t> copies(KEY_VALUES, 0);
  std::int64_t held = 0;
  std::int64_t peak = 0;
  bool in_block = false;
  bool emptied = false;
  int block = 0;
  int run_up = 0;
  int run_down = 0;
  int last_key = -1;
  int low = KEY_VALUES;
  int high = -1;
  std::string previous;
  std::size_t since_checkpoint = 0;
  int deletions = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    ++stats.lines;
    ++since_checkpoint;
    deletions = line.starts_with("d ") ? deletions + 1 : 0;
    stats.longest_deletions = std::max(stats.longest_deletions, deletions);
    if (in_block && line != "-1") {
      const int key = std::stoi(line);
      const bool end = key <= 1 || key >= KEY_VALUES - 2;
      const auto place = static_cast<std::size_t>(key);
      const bool next_to_held = (key > 0 && copies[place - 1] > 0) || (key < KEY_VALUES - 1 && copies[place + 1] > 0);
      ++stats.keys;
      stats.end_keys += end ? 1 : 0;
      stats.edge_keys += end || next_to_held ? 1 : 0;
      stats.top_inserted = stats.top_inserted || key == KEY_VALUES - 1;
      stats.bottom_inserted = stats.bottom_inserted || key == 0;
      stats.falls_in_blocks += block > 0 && key < last_key ? 1 : 0;
      stats.rises_in_blocks += block > 0 && key > last_key ? 1 : 0;
      held += copies[static_cast<std::size_t>(key)]++ == 0 ? 1 : 0;
      stats.most_copies = std::max(stats.most_copies, copies[static_cast<std::size_t>(key)]);
      run_up = key > last_key ? run_up + 1 : 1;
      run_down = last_key >= 0 && key < last_key ? run_down + 1 : 1;
      stats.longest_run_up = std::max(stats.longest_run_up, run_up);
      stats.longest_run_down = std::max(stats.longest_run_down, run_down);
      last_key = key;
      low = std::min(low, key);
      high = std::max(high, key);
      ++block;
    } else if (line == "i") {
      in_block = true;
      block = 0;
      last_key = -1;
      low = KEY_VALUES;
      high = -1;
      stats.refills += emptied ? 1 : 0;
      emptied = false;
    } else if (line == "-1") {
      in_block = false;
      ++stats.blocks;
      stats.empty_blocks += block == 0 ? 1 : 0;
      stats.largest_block = std::max(stats.largest_block, block);
      stats.narrow_blocks += block >= 32 && high - low < 512 ? 1 : 0;
      stats.widest_block = std::max(stats.widest_block, high - low);
    } else if (line == "s" || line == "q") {
      stats.longest_gap = std::max(stats.longest_gap, since_checkpoint);
      since_checkpoint = 0;
      emptied = emptied || (held == 0 && peak > 0);
      stats.most_listed = std::max(stats.most_listed, held);
    } else {
      const int key = std::stoi(line.substr(2));
      std::uint64_t& count = copies[static_cast<std::size_t>(key)];
      stats.absent_deletions += count == 0 ? 1 : 0;
      held -= count == 1 ? 1 : 0;
      count -= count > 0 ? 1 : 0;
      stats.deleted_twice += line == previous ? 1 : 0;
    }
    peak = std::max(peak, held);
    if (peak > 0) {
      stats.deepest_drop = std::max(stats.deepest_drop, static_cast<double>(peak - held) / static_cast<double>(peak));
    }
    previous = line;
  }
  return stats;
}

TEST(WideSource, EveryScriptIsWellFormedAndAboutTwiceItsSizeLong) {
  for (const shape_entry& entry : wide_shapes()) {
    for (const std::int32_t size : {0, 1, 2, 7, 64, 300, 5000}) {
      for (const std::uint32_t seed : {1U, 2U, 4294967295U}) {
        const std::string text = text_of(seed, size, *shape_named(entry.name));
        const std::string where = std::string(entry.name) + " size " + std::to_string(size);
        for (const bool multiset : {false, true}) {
          EXPECT_FALSE(reference::replay(text, multiset, false).refused_at) << where;
        }
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        EXPECT_GE(lines, 2 * static_cast<std::size_t>(size) + 8) << where;
        EXPECT_LE(lines, 2 * static_cast<std::size_t>(size) + 12) << where;
      }
    }
  }
}

TEST(WideSource, EachShapeDoesWhatItIsFor) {
  const struct {
    std::string_view shape;
    bool (*holds)(const script_stats&);
  } cases[] = {
      {"deletions", [](const script_stats& s) { return s.deepest_drop >= 0.7 && s.longest_deletions <= 24; }},
      {"sorted", [](const script_stats& s) { return s.longest_run_up >= 64; }},
      {"reverse", [](const script_stats& s) { return s.longest_run_down >= 64; }},
      {"clustered", [](const script_stats& s) { return s.narrow_blocks >= 3; }},
      {"absent", [](const script_stats& s) { return s.absent_deletions >= 20 && s.deleted_twice >= 5; }},
      {"refill", [](const script_stats& s) { return s.refills >= 2; }},
      {"small-blocks",
       [](const script_stats& s) {
         return s.blocks >= 200 && s.largest_block <= 6 && s.empty_blocks > 0 && s.most_listed <= 262;
       }},
      {"checkpoints", [](const script_stats& s) { return s.longest_gap <= 11 && s.most_listed <= 72; }},
      {"repeat", [](const script_stats& s) { return s.most_copies >= 20 && s.absent_deletions > 0; }},
  };
  for (const auto& c : cases) {
    for (const std::uint32_t seed : {1U, 2U, 3U}) {
      EXPECT_TRUE(c.holds(stats_of(text_of(seed, 2000, *shape_named(c.shape))))) << c.shape << " seed " << seed;
    }
  }
}

// Boundary keys: a key of the range's ends or next to a held one. Below
// size 16 every key of a scattered block is one; from size 496 on, one in
// 32 is, and about three in four of those are ends.
TEST(WideSource, BoundaryKeysAreEveryKeyOfATinyScriptAndAFewPercentOfALargeOne) {
  for (const std::string_view name : {"deletions", "absent", "refill", "small-blocks", "checkpoints"}) {
    for (const std::uint32_t seed : {1U, 2U, 3U}) {
      const wide_shape shape = *shape_named(name);
      for (const std::int32_t size : {0, 1, 8, 15}) {
        const script_stats tiny = stats_of(text_of(seed, size, shape));
        EXPECT_EQ(tiny.edge_keys, tiny.keys) << name << " size " << size << " seed " << seed;
      }
      const script_stats large = stats_of(text_of(seed, 20000, shape));
      const double ends = static_cast<double>(large.end_keys) / static_cast<double>(large.keys);
      EXPECT_GE(ends, 0.01) << name << " seed " << seed;
      EXPECT_LE(ends, 0.04) << name << " seed " << seed;
    }
  }
}

// A shape whose point is an order keeps it: boundary keys move its block to
// an edge instead of landing inside it.
TEST(WideSource, ShapesWithAnOrderKeepItAndStillReachBothEdges) {
  const struct {
    std::string_view shape;
    bool (*keeps_order)(const script_stats&);
  } cases[] = {
      {"sorted", [](const script_stats& s) { return s.falls_in_blocks == 0; }},
      {"reverse", [](const script_stats& s) { return s.rises_in_blocks == 0; }},
      {"clustered", [](const script_stats& s) { return s.widest_block < 512; }},
      {"repeat", [](const script_stats& s) { return s.widest_block <= 16; }},
  };
  for (const auto& c : cases) {
    int tops = 0;
    int bottoms = 0;
    for (const std::int32_t size : {0, 2, 4, 7, 10, 15, 100, 2000}) {
      for (const std::uint32_t seed : {1U, 2U, 3U, 4U}) {
        const script_stats stats = stats_of(text_of(seed, size, *shape_named(c.shape)));
        EXPECT_TRUE(c.keeps_order(stats)) << c.shape << " size " << size << " seed " << seed;
        tops += stats.top_inserted ? 1 : 0;
        bottoms += stats.bottom_inserted ? 1 : 0;
      }
    }
    EXPECT_GT(tops, 0) << c.shape;
    EXPECT_GT(bottoms, 0) << c.shape;
  }
}

// FNV-1a of the script: the same on every platform the tests run on.
std::uint64_t digest(const std::string& text) {
  std::uint64_t hash = 0xCBF29CE484222325U;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3U;
  }
  return hash;
}

TEST(WideSource, TheSameSeedSizeAndShapeGiveTheSameBytes) {
  // Seed 20261209, size 1000, in the table's order.
  const std::uint64_t pinned[] = {
      0x40eb6b642955d5f5, 0x4a0481b9f28e98df, 0xc3ae7431f1b15514, 0x7a908992c071424e, 0xe9b0fb219652d6c0,
      0xb8d673eb680f85b2, 0xe9b2e701278028ed, 0x00bfb0cf4f8cbcd7, 0x6df3f0e5082b9543,
  };
  ASSERT_EQ(std::size(pinned), wide_shapes().size());
  for (const shape_entry& entry : wide_shapes()) {
    const wide_shape shape = *shape_named(entry.name);
    const std::string text = text_of(20261209, 1000, shape);
    EXPECT_EQ(text, text_of(20261209, 1000, shape));
    EXPECT_NE(text, text_of(20261210, 1000, shape));
    EXPECT_EQ(digest(text), pinned[shape.place]) << entry.name;
  }
}

// The (seed, size) pairs behind the pinned digests: every size to 300, then
// every 27th to 3000, and a few large ones, with seeds spread over the
// whole range (0 and the largest among them).
std::vector<std::pair<std::uint32_t, std::int32_t>> pinned_runs() {
  std::vector<std::pair<std::uint32_t, std::int32_t>> runs;
  for (std::int32_t size = 0; size <= 3000; size += size < 300 ? 1 : 27) {
    runs.emplace_back(static_cast<std::uint32_t>(size) * 2654435761U, size);
  }
  for (const std::int32_t size : {20000, 65536, 300000}) {
    runs.emplace_back(4294967295U - static_cast<std::uint32_t>(size), size);
  }
  return runs;
}

// FNV-1a over the scripts of every pinned run of one shape, one after the
// other, taken part by part as a program would read them.
std::uint64_t digest_of_runs(wide_shape shape) {
  std::uint64_t hash = 0xCBF29CE484222325U;
  for (const auto& [seed, size] : pinned_runs()) {
    wide_source source(seed, size, shape);
    for (line_span part = source.next(); part.size != 0; part = source.next()) {
      for (std::size_t at = 0; at < part.size; ++at) {
        hash = (hash ^ static_cast<unsigned char>(part.data[at])) * 0x100000001B3U;
      }
    }
  }
  return hash;
}

// A change to how any shape draws, in any size, shows here: the bytes of a
// wide script change only on purpose, with these figures.
TEST(WideSource, PinnedRunsKeepTheirBytes) {
  // In the table's order.
  const std::uint64_t pinned[] = {
      0x8e4f31abfeeaba70, 0xbead07ba2648765b, 0xd87cef35f9649b95, 0x07b55e60393318e3, 0x932b28b94c09403e,
      0x6888e752a335e724, 0xa6a414b06391d89a, 0x38540c17a30b9f94, 0xbcc7d636a90c1c90,
  };
  ASSERT_EQ(std::size(pinned), wide_shapes().size());
  for (const shape_entry& entry : wide_shapes()) {
    const wide_shape shape = *shape_named(entry.name);
    const std::uint64_t got = digest_of_runs(shape);
    EXPECT_EQ(got, pinned[shape.place]) << entry.name << std::hex << " 0x" << got;
  }
}

TEST(KeyPool, HeldAndAbsentKeysPartitionTheKeySpace) {
  key_pool pool;
  const int inserts[] = {5, 5, 32767, 0, 9, 5};
  const int erases[] = {9, 5, 1234};
  for (const int key : inserts) pool.insert(key);
  for (const int key : erases) pool.erase(key);
  EXPECT_EQ(pool.held(), 3);  // 0, 5 (two copies of three) and 32767
  EXPECT_EQ(pool.copies(5), 2U);
  std::vector<int> held(static_cast<std::size_t>(pool.held()));
  for (int n = 0; n < pool.held(); ++n) held[static_cast<std::size_t>(n)] = pool.held_at(n);
  std::sort(held.begin(), held.end());
  EXPECT_EQ(held, (std::vector<int>{0, 5, 32767}));
  for (int n = 0; n < KEY_VALUES - pool.held(); ++n) {
    ASSERT_EQ(pool.copies(pool.absent_at(n)), 0U) << n;
  }
  const struct {
    int from;
    int up;    // the first held key from `from` up
    int down;  // and down
  } walks[] = {{0, 0, 0}, {1, 5, 0}, {64, 32767, 5}, {32767, 32767, 32767}, {32766, 32767, 5}, {32768, -1, 32767}};
  for (const auto& w : walks) {
    EXPECT_EQ(pool.held_from(w.from), w.up) << w.from;
    EXPECT_EQ(pool.held_down_from(w.from < 32768 ? w.from : 32767), w.down) << w.from;
  }
  pool.erase(0);
  EXPECT_EQ(pool.held_down_from(4), -1);
}

}  // namespace
}  // namespace keyscript
