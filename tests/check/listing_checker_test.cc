#include "check/listing_checker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/campaign.h"

namespace keyscript {
namespace {

// A script handed out whole, once.
class text_source final : public line_source {
 public:
  explicit text_source(std::string text) : text_(std::string(line_span::READABLE_BEFORE, '\n') + std::move(text)) {}
  line_span next() override {
    const std::size_t size = given_ ? 0 : text_.size() - line_span::READABLE_BEFORE;
    given_ = true;
    return {text_.data() + line_span::READABLE_BEFORE, size};
  }

 private:
  std::string text_;
  bool given_ = false;
};

struct verdict_case {
  const char* name;
  const char* script;
  const char* output;
  bool multiset;
  bool failed;
  std::uint64_t checkpoint;  // where it failed
  std::uint64_t listing_line;
  std::uint64_t missing;
  std::uint64_t extra;
};

TEST(ListingChecker, JudgesOutputAgainstTheModel) {
  // Two checkpoints: after the block {1, 2, 5} and after "d 2" (the q's).
  const char* script = "i\n5\n1\n2\n5\n-1\ns\nd 2\nq\n";
  const verdict_case cases[] = {
      {"right", script, "1\n2\n5\n1\n5\n", false, false, 0, 0, 0, 0},
      {"right with CR LF", script, "1\r\n2\r\n5\r\n1\r\n5\r\n", false, false, 0, 0, 0, 0},
      {"multiset copies", script, "1\n2\n5\n5\n1\n5\n5\n", true, false, 0, 0, 0, 0},
      // The stream is judged line by line: a listing's extra last key is read as
      // the first of the next one, which is where the output first differs.
      {"an extra last key starts the next listing", script, "1\n2\n5\n5\n1\n5\n", false, true, 2, 1, 1, 0},
      {"a set lists a key once", "i\n4\n-1\nq\n", "4\n4\n", false, true, 1, 2, 0, 1},
      {"a key missing", script, "1\n5\n1\n5\n", false, true, 1, 2, 1, 0},
      {"a key not deleted", script, "1\n2\n5\n1\n2\n5\n", false, true, 2, 2, 0, 1},
      {"out of order ends the listing", script, "1\n5\n2\n1\n5\n", false, true, 1, 2, 1, 0},
      {"not a key", script, "1\nx\n", false, true, 1, 2, 2, 0},
      {"a line too long for a key", script, "1\n2\n5\n1\n55555555555555555555555\n", false, true, 2, 2, 1, 0},
      {"ends early", script, "1\n2\n5\n", false, true, 2, 1, 2, 0},
      {"nothing at all", script, "", false, true, 1, 1, 3, 0},
      {"output after q", script, "1\n2\n5\n1\n5\n7\n", false, true, 2, 3, 0, 1},
      {"empty listings need no lines", "s\ni\n-1\ns\nq\n", "", false, false, 0, 0, 0, 0},
      {"a key where nothing is held", "s\nq\n", "0\n", false, true, 2, 1, 0, 1},
  };
  for (const verdict_case& c : cases) {
    text_source expected(c.script);
    listing_checker checker(expected, c.multiset ? semantics::multiset : semantics::set);
    // The output in two parts, split inside a line.
    const std::string output = c.output;
    checker.take(output.substr(0, output.size() / 2 + 1));
    checker.take(output.substr(std::min(output.size(), output.size() / 2 + 1)));
    checker.finish();
    const listing_verdict& got = checker.verdict();
    EXPECT_EQ(got.failed, c.failed) << c.name;
    if (c.failed) {
      EXPECT_EQ(got.checkpoint, c.checkpoint) << c.name;
      EXPECT_EQ(got.listing_line, c.listing_line) << c.name;
      EXPECT_EQ(got.missing_count, c.missing) << c.name;
      EXPECT_EQ(got.extra_count, c.extra) << c.name;
    }
  }
}

TEST(ListingChecker, OutputWithoutEndIsStoppedOnceItCannotMatch) {
  text_source expected("i\n3\n-1\ns\nq\n");
  listing_checker checker(expected, semantics::set);
  std::string forever;
  for (int i = 0; i < 4096; ++i) {
    forever += "3\n";
  }
  bool going = true;
  int parts = 0;
  while (going && parts < 1000) {
    going = checker.take(forever);
    ++parts;
  }
  EXPECT_FALSE(going);
  EXPECT_EQ(parts, 1);  // the first line after the last listing ends it
  EXPECT_TRUE(checker.verdict().failed);
}

TEST(Campaign, SizesGrowFromZeroToTheLargestWithDistinctSeeds) {
  constexpr std::uint32_t runs = 100;
  std::int32_t previous = -1;
  for (std::uint32_t i = 0; i < runs; ++i) {
    const campaign_run run = plan_run(7, runs, 20000, i);
    EXPECT_GE(run.num_keys, previous) << i;
    EXPECT_NE(run.seed, plan_run(7, runs, 20000, i + 1).seed) << i;
    previous = run.num_keys;
  }
  EXPECT_EQ(plan_run(7, runs, 20000, 0).num_keys, 0);
  EXPECT_EQ(plan_run(7, runs, 20000, 1).num_keys, 1);
  EXPECT_EQ(plan_run(7, runs, 20000, runs - 1).num_keys, 20000);
  EXPECT_EQ(plan_run(7, 1, 500, 0).num_keys, 500);
  EXPECT_NE(plan_run(7, runs, 20000, 3).seed, plan_run(8, runs, 20000, 3).seed);
}

TEST(Campaign, BothAlternatesAndWideRunsTakeEveryShapeInTurn) {
  constexpr std::uint32_t runs = 100;
  std::int32_t largest[2] = {-1, -1};  // keyscript's, wide
  std::vector<std::uint32_t> of_shape(wide_shapes().size());
  std::size_t next_place = 0;  // the table's first shape first, and again after its last
  for (std::uint32_t i = 0; i < runs; ++i) {
    const campaign_run run = plan_run(7, runs, 20000, i, script_kinds::both);
    ASSERT_EQ(run.shape.has_value(), i % 2 == 1) << i;
    EXPECT_GE(run.num_keys, largest[i % 2]) << i;
    largest[i % 2] = run.num_keys;
    if (run.shape) {
      EXPECT_EQ(run.shape->place, next_place) << i;
      next_place = (next_place + 1) % of_shape.size();
      ++of_shape[run.shape->place];
      EXPECT_EQ(run.seed, plan_run(7, runs, 20000, i, script_kinds::wide).seed);
    }
  }
  EXPECT_EQ(largest[0], 20000);
  EXPECT_EQ(largest[1], 20000);
  EXPECT_EQ(plan_run(7, runs, 20000, 1, script_kinds::both).num_keys, 0);
  for (const std::uint32_t count : of_shape) {
    EXPECT_GE(count, 5U);
  }
  EXPECT_TRUE(plan_run(7, runs, 20000, 0, script_kinds::wide).shape.has_value());
}

}  // namespace
}  // namespace keyscript
