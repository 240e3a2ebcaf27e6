// keyscript-check where the work itself takes long: bugs that only a long
// script shows (a listing cut short after 1000 keys needs a block of 1001;
// cut after 10000, proving the result 1-minimal takes ten thousand
// candidates of ten thousand lines), a bug that takes thousands of
// candidates to shrink, a whole campaign through an interpreter, and slow
// programs at the default limits. CTest labels them "large".
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "check_run.h"

namespace {

// The two slow-start hangs come first: each takes about forty seconds, most
// of it asleep on time limits, and ctest -j starts cases in the order the
// file gives them, so they sleep beside the others' work, not after it.

// sample_tree_slow_start_hang takes 0.07 s to start and hangs on a
// deletion. Found by keyscript-check with `how_found` (and the options
// below), it must shrink to the two lines that hang, and the reduced script
// must hang again when it is run as the report prints it, because every
// limit counts the start-up the program was timed with. Its candidates get a
// floor of 0.05 s, less than the start-up, so that the shrink succeeds only
// if their limits count the start-up too (and each hanging one waits 0.45 s
// less than at the default floor).
void expect_slow_start_hang_shrinks(std::vector<std::string> how_found) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const std::string program = check_e2e::SAMPLES + "/sample_tree_slow_start_hang";
  const check_e2e::temporary_directory work;
  const std::string reduced = work.path + "/reduced.txt";
  how_found.insert(how_found.end(), {"--candidate-floor", "0.05", "-o", reduced, "--", program});
  const check_e2e::checked found = check_e2e::check(how_found);
  ASSERT_EQ(check_e2e::field(found.result, "kind"), "timeout") << found.run.err;
  EXPECT_EQ(check_e2e::field(found.result, "reduced_lines"), "2") << found.run.err;
  EXPECT_EQ(found.run.err.find("warning"), std::string::npos) << found.run.err;
  EXPECT_EQ(found.left_behind, 0);
  // As printed: keyscript-check --script FILE -- PROGRAM, nothing more.
  const check_e2e::checked again = check_e2e::check({"--script", reduced, "--no-shrink", "--", program});
  EXPECT_EQ(check_e2e::field(again.result, "kind"), "timeout") << again.run.err;
}

// Found by a run of its own at the default limits, where no run has
// finished to time the program by.
TEST(CheckLarge, ASlowStartingHangShrinksToAScriptThatHangsAgain) {
  expect_slow_start_hang_shrinks({"--seed", "1", "--num-keys", "11"});
}

// Found by a default campaign, where the runs before it finished in
// milliseconds and the program's start-up is what its limits must count.
TEST(CheckLarge, ASlowStartingHangFoundByACampaignShrinksToAScriptThatHangsAgain) {
  expect_slow_start_hang_shrinks({"--seed", "20261209"});
}

// A listing cut short after 1000 keys needs a block of 1001, and every
// candidate runs the program on about a thousand lines.
TEST(CheckLarge, ListingCutShortShrinksToAThousandKeys) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  check_e2e::expect_found("sample_hash_set_listing_cut", false, "listing", 1004);
}

TEST(CheckLarge, ListingCutShortAtTenThousandShrinksToItsSmallestScript) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  // A default campaign finds it on a script of two passes, some 12,000
  // lines; the smallest failing script is one block of the keys 0 to 10000.
  // The sample reads one script after another, so the ten thousand
  // candidates pay its start-up twice, not ten thousand times.
  const check_e2e::temporary_directory work;
  const std::string reduced = work.path + "/reduced.txt";
  const std::string sample = check_e2e::SAMPLES + "/sample_hash_set_listing_cut_10000";
  const check_e2e::checked got =
      check_e2e::check({"--seed", "1", "-j", "2", "--persistent", "--shrink-time", "550", "-o", reduced, "--", sample});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_EQ(check_e2e::field(got.result, "kind"), "listing") << got.result;
  EXPECT_GT(std::stoul("0" + check_e2e::field(got.result, "lines")), 12000U) << got.result;
  EXPECT_EQ(check_e2e::field(got.result, "reduced_lines"), "10004") << got.result;
  EXPECT_EQ(got.run.err.find("stopped early"), std::string::npos) << got.run.err;
  // Too long to show, the script is not; the command at fault still is.
  EXPECT_NE(got.run.err.find("went wrong at the block of lines 1 to 10003:"), std::string::npos) << got.run.err;
  EXPECT_TRUE(got.result.ends_with(" fault_line=1\n")) << got.result;
  EXPECT_EQ(got.left_behind, 0);
  std::string smallest = "i\n";
  for (int key = 0; key <= 10000; ++key) {
    smallest += std::to_string(key) + "\n";
  }
  smallest += "-1\nq\n";
  std::ifstream file(reduced);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), smallest);
}

// Only a wide script shows the chunked list's merge bug, and the shortest
// failing script has 85 lines: shrinking takes thousands of candidates.
TEST(CheckLarge, ChunkedListMergeBugIsFoundAndShrunk) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  check_e2e::expect_found("sample_chunked_list_merge_loses_key", false, "listing", 85);
}

// A whole default campaign through Python, which starts a hundred
// interpreters; it starts on the host under an emulated keyscript-check too.
TEST(CheckLarge, PythonProgramPassesAWholeCampaign) {
  const check_e2e::checked got =
      check_e2e::check({"--seed", "7", "--", KEYSCRIPT_PYTHON, check_e2e::SAMPLES + "/sample_set.py"});
  EXPECT_EQ(got.run.status, 0) << got.run.err;
  EXPECT_EQ(got.result, "result=pass runs=100 seed=7 max_keys=20000 scripts=both\n");
  EXPECT_EQ(got.left_behind, 0);
}

// A correct program that works 2 us a command, as a Python program with a
// database does, passes a run of 5 million keys at the default limits: it
// makes progress all along, and a run of its own has no limit on the whole
// of it (the run takes twice the 10 s that a program may go without
// progress).
TEST(CheckLarge, ASlowCorrectProgramPassesAHugeRunAtTheDefaults) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const check_e2e::checked got = check_e2e::check(
      {"--seed", "5", "--num-keys", "5000000", "--", check_e2e::SAMPLES + "/sample_slow_two_us_a_line"});
  EXPECT_EQ(got.run.status, 0) << got.run.err;
  EXPECT_EQ(got.result, "result=pass runs=1 shape=keyscript seed=5 num_keys=5000000\n");
}

}  // namespace
