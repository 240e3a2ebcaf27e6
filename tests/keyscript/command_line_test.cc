#include "keyscript/command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "../capture.h"

namespace keyscript {
namespace {

TEST(CommandLine, CountReadsLikeScanfButWraps) {
  // What a count is read as, and whether the reading passed over text after
  // the digits or digits beyond 32 bits (either draws a warning).
  const struct {
    const char* text;
    std::int32_t value;
    bool text_after_digits, wrapped;
  } cases[] = {
      {"5", 5, false, false},
      {"+5", 5, false, false},
      {"005", 5, false, false},
      {" 5", 5, false, false},
      {"5 ", 5, false, false},
      {" \t\n\v\f\r7\n", 7, false, false},
      {"-3", -3, false, false},
      {"-0", 0, false, false},
      {"5xyz", 5, true, false},
      {"1e6", 1, true, false},
      {"1,000", 1, true, false},
      {"12abc", 12, true, false},
      {"0x10", 0, true, false},
      {"12 34", 12, true, false},
      {"5\xA0", 5, true, false},  // no-break space is not white space here
      {"2147483647", INT32_MAX, false, false},
      {"-2147483648", INT32_MIN, false, false},
      {"2147483648", INT32_MIN, false, true},
      {"-2147483649", INT32_MAX, false, true},
      {"4294967296", 0, false, true},
      {"4294967297", 1, false, true},
      {"99999999999", 1215752191, false, true},
      {"99999999999x", 1215752191, true, true},
      {"000000000000000000000000000042", 42, false, false},
      {"1000000000000000000000000000000000000000", 0, false, true},
  };
  for (const auto& c : cases) {
    const auto count = parse_count(c.text);
    ASSERT_TRUE(count.has_value()) << '"' << c.text << '"';
    EXPECT_EQ(count->value, c.value) << '"' << c.text << '"';
    EXPECT_EQ(count->text_after_digits, c.text_after_digits) << '"' << c.text << '"';
    EXPECT_EQ(count->wrapped, c.wrapped) << '"' << c.text << '"';
  }
}

TEST(CommandLine, CountWithNoNumber) {
  // 0xA0 (no-break space in Latin-1) is not white space to the reader.
  for (const char* text : {"", "abc", "+", "-", "- 5", "+-5", "--5", "\xA0\x35", "x5", " "}) {
    EXPECT_FALSE(parse_count(text).has_value()) << '"' << text << '"';
  }
}

TEST(CommandLine, SeedIsDigitsOnlyWithin32Bits) {
  const struct {
    const char* text;
    bool accepted;
    std::uint32_t value;
  } cases[] = {
      {"0", true, 0},           {"1", true, 1},
      {"007", true, 7},         {"4294967295", true, UINT32_MAX},
      {"4294967296", false, 0}, {"99999999999999999999999", false, 0},
      {"", false, 0},           {"abc", false, 0},
      {"-1", false, 0},         {"+5", false, 0},
      {" 5", false, 0},         {"5 ", false, 0},
      {"12x", false, 0},
  };
  for (const auto& c : cases) {
    const auto seed = parse_seed(c.text);
    EXPECT_EQ(seed.has_value(), c.accepted) << '"' << c.text << '"';
    if (c.accepted && seed) {
      EXPECT_EQ(*seed, c.value) << '"' << c.text << '"';
    }
  }
}

TEST(Run, FailedCloseOfStandardOutputFailsTheRun) {
  char program[] = "keyscript";
  char count[] = "5";
  char* argv[] = {program, count, nullptr};
  setenv("KEYSCRIPT_SEED", "1", 1);
  int status = 0;
  const captured got = capture_output([&](int out_fd, int err_fd) {
    status = run_keyscript(2, argv, {.in = -1, .out = out_fd, .err = err_fd, .close_out = close_fails});
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(got.err.ends_with("Going to delete: 1 number of keys\nkeyscript: write error: Input/output error\n"))
      << got.err;
}

}  // namespace
}  // namespace keyscript
