// keyscript-check on bugs that only a long script shows: a listing cut
// short after 1000 keys needs a block of 1001, and every candidate runs the
// program on about a thousand lines; cut after 10000 keys, proving the
// result 1-minimal takes ten thousand candidates of ten thousand lines.
// CTest labels them "large".
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "check_run.h"

namespace {

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
  const check_e2e::temporary_directory work;
  const std::string reduced = work.path + "/reduced.txt";
  const std::string sample = check_e2e::SAMPLES + "/sample_hash_set_listing_cut_10000";
  const check_e2e::checked got =
      check_e2e::check({"--seed", "1", "-j", "2", "--shrink-time", "550", "-o", reduced, "--", sample});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_EQ(check_e2e::field(got.result, "kind"), "listing") << got.result;
  EXPECT_GT(std::stoul("0" + check_e2e::field(got.result, "lines")), 12000U) << got.result;
  EXPECT_EQ(check_e2e::field(got.result, "reduced_lines"), "10004") << got.result;
  EXPECT_EQ(got.run.err.find("stopped early"), std::string::npos) << got.run.err;
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

}  // namespace
