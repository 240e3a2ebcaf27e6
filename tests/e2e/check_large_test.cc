// keyscript-check where the work itself takes long: a bug that only a long
// script shows, a bug that takes thousands of candidates to shrink, and a
// whole campaign through an interpreter. CTest labels them "large".
#include <gtest/gtest.h>

#include "check_run.h"

namespace {

// A listing cut short after 1000 keys needs a block of 1001, and every
// candidate runs the program on about a thousand lines.
TEST(CheckLarge, ListingCutShortShrinksToAThousandKeys) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  check_e2e::expect_found("sample_hash_set_listing_cut", false, "listing", 1004);
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

}  // namespace
