#include "script/pass_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../capture.h"
#include "random/generator.h"
#include "reference_script.h"
#include "script/keyscript_source.h"
#include "script/language.h"

namespace keyscript {
namespace {

captured script_for(std::uint32_t seed, std::int32_t num_keys) {
  return capture_output([&](int out_fd, int err_fd) {
    const auto out = std::make_unique<output_writer>(out_fd);
    message_stream messages{"keyscript", err_fd};
    random_generator generator{seed};
    write_pass(generator, num_keys, *out, messages);
    write_pass(generator, num_keys, *out, messages);
    out->write("s\nq\n");
    out->flush();
  });
}

std::string progress(std::int32_t insert1, std::int32_t delete1, std::int32_t insert2, std::int32_t delete2) {
  std::string text;
  for (const auto& [inserted, deleted] : {std::pair{insert1, delete1}, std::pair{insert2, delete2}}) {
    text += "Going to insert: " + std::to_string(inserted) + " number of keys\n";
    text += "Going to delete: " + std::to_string(deleted) + " number of keys\n";
  }
  return text;
}

TEST(PassWriter, WorkedScripts) {
  const struct {
    std::uint32_t seed;
    std::int32_t num_keys;
    const char* out;
    std::string err;
  } cases[] = {
      {1, 5, "i\n18467\n6334\n26500\n19169\n-1\ns\nd 6334\ni\n29358\n26962\n24464\n5705\n-1\ns\nd 24464\ns\nq\n",
       progress(4, 1, 4, 1)},
      {1, 2, "i\n18467\n-1\ns\nd 18467\ni\n19169\n15724\n-1\ns\nd 19169\ns\nq\n", progress(1, 1, 2, 1)},
      {1, 12,
       "i\n18467\n6334\n26500\n19169\n15724\n11478\n29358\n26962\n24464\n5705\n-1\ns\n"
       "d 26962\nd 29358\nd 15724\nd 26500\nd 18467\nd 18467\nd 19169\nd 6334\nd 6334\nd 24464\n"
       "i\n3902\n153\n292\n12382\n17421\n18716\n19718\n19895\n5447\n21726\n14771\n-1\ns\n"
       "d 12382\nd 3902\nd 19718\nd 19895\nd 5447\nd 18716\nd 12382\nd 5447\nd 19895\nd 21726\ns\nq\n",
       progress(10, 10, 11, 10)},
      {12345, 3, "i\n19164\n25795\n-1\ns\nd 19164\ni\n23405\n27477\n-1\ns\nd 23405\ns\nq\n", progress(2, 1, 2, 1)},
      // Empty passes write no deletion line and make no pick draw: with seed
      // 1 the first count draw (41) gives 0 keys, the second (18467) one key.
      {1, 1, "i\n-1\ns\ni\n6334\n-1\ns\nd 6334\ns\nq\n", progress(0, 0, 1, 1)},
      {1, 0, "i\n-1\ns\ni\n-1\ns\ns\nq\n", progress(0, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    const captured result = script_for(c.seed, c.num_keys);
    EXPECT_EQ(result.out, c.out) << "seed " << c.seed << ", " << c.num_keys << " keys";
    EXPECT_EQ(result.err, c.err) << "seed " << c.seed << ", " << c.num_keys << " keys";
  }
}

TEST(PassWriter, MatchesThePlainWriterOverManySeedsAndCounts) {
  // Small counts over many seeds: the seed decides whether a pass is empty
  // and how its keys fall into the loop's rounds of four. Counts that
  // straddle the output buffer's chunk size over a few: each seed draws two
  // passes about that size, and a script of 120000 keys crosses the chunk
  // boundary whatever the seed.
  const struct {
    std::vector<std::int32_t> counts;
    std::uint32_t seeds;
  } rows[] = {{{0, 1, 2, 3, 9, 10, 11, 100, 1000}, 40}, {{43690, 43691, 120000}, 4}};
  for (const auto& row : rows) {
    for (std::uint32_t seed = 0; seed < row.seeds; ++seed) {
      const std::uint32_t mixed = seed * 2654435761U;
      for (const std::int32_t num_keys : row.counts) {
        std::string expected_err;
        const std::string expected = reference::script(mixed, num_keys, &expected_err);
        const captured result = script_for(mixed, num_keys);
        // Not ASSERT_EQ: a diff of two scripts of a megabyte would not end.
        ASSERT_TRUE(result.out == expected) << "seed " << mixed << ", " << num_keys << " keys";
        ASSERT_EQ(result.err, expected_err) << "seed " << mixed << ", " << num_keys << " keys";
      }
    }
  }
}

TEST(PassWriter, InsertCountBoundsOverAllDraws) {
  const struct {
    std::int32_t num_keys, smallest, largest;
  } cases[] = {{1, 0, 1},
               {2, 1, 2},
               {5, 4, 5},
               {10, 8, 11},
               {11, 9, 12},
               {100, 89, 110},
               {1000, 899, 1100},
               {100000, 89999, 110000},
               {1952257819, 1757031990, 2147483647}};
  for (const auto& c : cases) {
    std::int32_t smallest = INT32_MAX;
    std::int32_t largest = INT32_MIN;
    for (std::int32_t draw = 0; draw < 32768; ++draw) {
      const std::int32_t count = insert_count_for(between_value(draw, 0.9F, 1.1F), c.num_keys);
      smallest = std::min(smallest, count);
      largest = std::max(largest, count);
    }
    EXPECT_EQ(smallest, c.smallest) << c.num_keys;
    EXPECT_EQ(largest, c.largest) << c.num_keys;
  }
}

TEST(PassWriter, CountsWhereWiderArithmeticTruncatesOtherwise) {
  // m * NUM_KEYS lands just above a whole number here; x87 arithmetic, with
  // its wider intermediates, truncates to one less.
  const struct {
    std::int32_t draw, num_keys, insert_count;
  } cases[] = {
      {12162, 1900000033, 1851043143}, {18068, 224803744, 227115106}, {3086, 337707131, 310297471},
      {15647, 548313449, 545848573},   {21525, 670217106, 691249987},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(insert_count_for(between_value(c.draw, 0.9F, 1.1F), c.num_keys), c.insert_count) << c.num_keys;
  }
}

TEST(PassWriter, DeleteCountFollowsTheRequestNotTheInsertCount) {
  EXPECT_EQ(delete_count_for(10, 11), 1);
  EXPECT_EQ(delete_count_for(11, 9), 10);
  EXPECT_EQ(delete_count_for(1, 0), 0);
  EXPECT_EQ(delete_count_for(12, 0), 0);
}

TEST(PassWriter, TopPickIndexNearSinglePrecisionLimits) {
  // The index the largest draw (32767) picks, and the key it names.
  const struct {
    std::int32_t insert_count, index;
  } cases[] = {
      {1, 0},
      {2, 0},
      {16777217, 16777215},  // the bound is exact up to here: never the last key
      {16777219, 16777217},
      {16777220, 16777219},  // the bound rounds up: the last key, as before
      {33554438, 33554435},
      {33554439, 33554438},  // would be one past the end; held at the last key
      {33554440, 33554439},
      {2147483647, 2147483646},
  };
  for (const auto& c : cases) {
    const double pick = between_value(32767, 0.0F, static_cast<float>(c.insert_count - 1));
    EXPECT_EQ(deletion_index(pick, c.insert_count), c.index) << c.insert_count;
    EXPECT_EQ(deletion_index(between_value(0, 0.0F, static_cast<float>(c.insert_count - 1)), c.insert_count), 0);
  }
  EXPECT_EQ(static_cast<std::int32_t>(between_value(32767, 0.0F, 33554438.0F)), 33554439);
}

TEST(PassWriter, KeyLookupMatchesTheDrawnKeys) {
  const drawn_keys keys{12345, 1 << 26};
  std::uint32_t state = keys.first_state;
  std::int32_t index = 0;
  for (const std::int32_t probe : {0, 1, 2, 999, (1 << 24) - 1, 1 << 24, (1 << 24) + 1, (1 << 25) + 6, (1 << 25) + 7}) {
    for (; index <= probe; ++index) {
      state = next_state(state);
    }
    EXPECT_EQ(key_at(keys, probe), draw_of(state)) << probe;
  }
}

TEST(PassWriter, KeyTextIsTheDecimalLine) {
  for (const std::int32_t key : {0, 7, 10, 99, 100, 32767}) {
    const key_text text = KEY_TEXT[static_cast<std::size_t>(key)];
    EXPECT_EQ(std::string(text.bytes, text.length), std::to_string(key) + "\n");
  }
}

TEST(KeyscriptSource, GivesKeyscriptsBytesInWholeLines) {
  // Sizes around the part's room for keys, and the smallest ones.
  constexpr std::int32_t part_keys = static_cast<std::int32_t>(OUTPUT_CAPACITY / MAX_KEY_LINE);
  for (const std::int32_t num_keys : {0, 1, 2, 11, part_keys - 30, part_keys + 5, 3 * part_keys}) {
    for (const std::uint32_t seed : {1U, 4000000000U}) {
      keyscript_source source(seed, num_keys);
      std::string text;
      for (line_span part = source.next(); part.size != 0; part = source.next()) {
        ASSERT_EQ(part.data[part.size - 1], '\n') << num_keys;
        text.append(part.data, part.size);
      }
      EXPECT_TRUE(text == reference::script(seed, num_keys)) << num_keys << " " << seed;
    }
  }
}

}  // namespace
}  // namespace keyscript
