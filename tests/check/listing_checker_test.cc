#include "check/listing_checker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
      // The next listing's first key is lower than the last one listed: this
      // listing has ended short, and that key is not an extra one.
      {"a short listing", script, "1\n2\n1\n5\n", false, true, 1, 3, 1, 0},
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

// A program that goes on to the next script ends each script's output with a
// line "q"; nothing may follow it.
TEST(ListingChecker, AnEndLineClosesTheOutputOfAScript) {
  const struct {
    const char* output;
    bool ended;
    bool failed;
  } cases[] = {
      {"5\nq\n", true, false}, {"5\n", false, false},      {"5\nq\n7\n", false, true},
      {"q\n", false, true},    {"5\n7\nq\n", false, true}, {"5\nq", false, false},
  };
  for (const auto& c : cases) {
    text_source expected("i\n5\n-1\nq\n");
    listing_checker checker(expected, semantics::set, true);
    checker.take(c.output);
    EXPECT_EQ(checker.ended(), c.ended) << c.output;
    EXPECT_EQ(checker.verdict().failed, c.failed) << c.output;
  }
}

}  // namespace
}  // namespace keyscript
