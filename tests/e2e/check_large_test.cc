// keyscript-check on a bug that only a long script shows: a listing cut
// short after 1000 keys needs a block of 1001, and every candidate runs the
// program on about a thousand lines. CTest labels it "large".
#include <gtest/gtest.h>

#include "check_run.h"

namespace {

TEST(CheckLarge, ListingCutShortShrinksToAThousandKeys) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  check_e2e::expect_found("sample_hash_set_listing_cut", false, "listing", 1004);
}

}  // namespace
