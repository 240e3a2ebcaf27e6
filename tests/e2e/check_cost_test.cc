// keyscript-check --cost as a user runs it: an AVL tree that never updates
// a height fails with the figures, the smallest size at which it shows and
// the options that measure it again; the correct tree passes; a run that
// fails otherwise is reported as found. Every degraded sample in every
// order, and twenty checks of every correct one on a busy machine, are in
// check_cost_large_test.cc.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check_run.h"

namespace {

using check_e2e::check;
using check_e2e::checked;
using check_e2e::field;
using check_e2e::SAMPLES;

// Under AddressSanitizer a program's CPU time is mostly the sanitizer's,
// and a degraded sample slows past its time limits: what is measured is not
// what the check judges.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A figure of the result line; 0 when it is not there.
double number(const std::string& text) { return text.empty() ? 0 : std::stod(text); }

// 4096 as "4,096".
std::string thousands(int keys) {
  char text[16];
  std::snprintf(text, sizeof text, "%d,%03d", keys / 1000, keys % 1000);
  return text;
}

// In sorted order alone, to keep it short: the report's own command to
// measure it again is then the one that ran.
TEST(CheckCost, ADegradedTreeFailsWithItsFiguresAndTheOptionsThatMeasureItAgain) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  if (SANITIZED) {
    GTEST_SKIP() << "CPU time under the sanitizers is the sanitizers'";
  }
  const std::string tree = SAMPLES + "/sample_avl_tree_no_height_update";
  const checked got = check({"--cost", "--shape", "sorted", "--seed", "7", "--", tree});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_TRUE(got.result.starts_with("result=fail kind=cost shape=sorted keys=")) << got.result;
  // By 8192 keys as a rule; later when a busy machine slowed the first size.
  const int keys = static_cast<int>(number(field(got.result, "keys")));
  EXPECT_TRUE(keys >= 2048 && keys <= 32768) << got.result;
  EXPECT_GT(number(field(got.result, "growth")), number(field(got.result, "allowed")));
  const std::string& err = got.run.err;
  EXPECT_TRUE(has(err, "keyscript-check: '" + tree +
                           "' fails the cost check (seed 7): cost\n  in sorted order, CPU "
                           "per command "))
      << err;
  EXPECT_TRUE(has(err, "a logarithmic structure's grows ")) << err;
  EXPECT_TRUE(has(err, "  the smallest size at which it shows: " + thousands(keys) + " keys held\n")) << err;
  EXPECT_TRUE(has(err, "    keys held    1,024    2,048")) << err;
  EXPECT_TRUE(has(err, "\n    sorted   ")) << err;
  EXPECT_TRUE(has(err, "  this measurement again: '" + std::string(KEYSCRIPT_CHECK_BINARY) +
                           "' --cost --shape sorted --seed 7 -- '" + tree + "'\n"))
      << err;
  EXPECT_EQ(got.left_behind, 0);
}

TEST(CheckCost, TheCorrectTreePassesWithItsFigures) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  if (SANITIZED) {
    GTEST_SKIP() << "CPU time under the sanitizers is the sanitizers'";
  }
  const std::string tree = SAMPLES + "/sample_avl_tree";
  const checked got = check({"--cost", "--shape", "keyscript", "--seed", "7", "--", tree});
  EXPECT_EQ(got.run.status, 0) << got.run.err;
  EXPECT_TRUE(got.result.starts_with("result=pass check=cost seed=7 commands=")) << got.result;
  EXPECT_EQ(field(got.result, "shapes"), "keyscript") << got.result;
  EXPECT_LE(number(field(got.result, "growth")), number(field(got.result, "allowed")));
  const std::string& err = got.run.err;
  EXPECT_TRUE(has(err, "keyscript-check: '" + tree + "' passes the cost check (seed 7); the closest it came: ")) << err;
  EXPECT_TRUE(has(err, "    keys held    1,024    2,048    4,096    8,192   16,384   32,768\n    keyscript  ")) << err;
  // The start-up's CPU time is taken off every run: a C++ program's takes
  // milliseconds.
  const std::size_t taken = err.find(" ms of start-up taken off:\n");
  ASSERT_NE(taken, std::string::npos) << err;
  const std::size_t figure = err.rfind(' ', taken - 1) + 1;
  EXPECT_GT(std::stod(err.substr(figure, taken - figure)), 0) << err;
  EXPECT_EQ(got.left_behind, 0);
}

TEST(CheckCost, ARunThatFailsOtherwiseIsReportedAsFound) {
  const checked got = check({"--cost", "--seed", "7", "--", "false"});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_EQ(got.result, "result=fail kind=status check=cost shape=sorted keys=1024 seed=7 commands=65536\n");
  EXPECT_TRUE(has(got.run.err,
                  "keyscript-check: 'false' fails a run of the cost check (sorted order, 1,024 keys, "
                  "65,536 commands, seed 7): status\n  exit status 1\n"))
      << got.run.err;
}

}  // namespace
