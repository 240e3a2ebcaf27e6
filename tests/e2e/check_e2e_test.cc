// Runs the built keyscript-check as a user would, on the sample programs in
// tests/check/samples: each planted bug is found at the defaults with the
// right kind and shrunk to at most twice the smallest failing script known,
// the correct samples pass, and no run leaves a process behind.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "check_run.h"

namespace {

using check_e2e::check;
using check_e2e::checked;
using check_e2e::emulated;
using check_e2e::SAMPLES;

TEST(CheckEndToEnd, PlantedBugsAreFoundAndShrunk) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const struct {
    const char* sample;
    bool multiset;
    const char* kind;
    std::size_t smallest;  // lines of the smallest failing script known
  } cases[] = {
      {"sample_tree_lose_subtree", false, "listing", 7},
      {"sample_tree_largest_never_held", false, "listing", 4},
      {"sample_tree_crash_on_absent", false, "signal", 2},
      {"sample_tree_hang_on_absent", false, "timeout", 2},
      {"sample_hash_set_no_tombstones", false, "listing", 7},
      {"sample_hash_set_stops_at_first_s", false, "listing", 5},
      {"sample_multiset_erase_all_copies", true, "listing", 6},
      {"sample_chunked_list_merge_loses_key", false, "listing", 85},
      {"sample_never_reads", false, "listing", 4},
      {"sample_prints_forever", false, "listing", 1},
      {"sample_ignores_term", false, "timeout", 1},
  };
  for (const auto& c : cases) {
    check_e2e::expect_found(c.sample, c.multiset, c.kind, c.smallest);
  }
}

TEST(CheckEndToEnd, ShrinkTimeKeepsTheBestScriptSoFar) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  // This bug needs a thousand keys and takes a minute and more to shrink in
  // full: one second of it is a shorter script that still fails.
  const check_e2e::temporary_directory work;
  const std::string reduced = work.path + "/reduced.txt";
  const checked got = check(
      {"--seed", "20261209", "--shrink-time", "1", "-o", reduced, "--", SAMPLES + "/sample_hash_set_listing_cut"});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_NE(got.run.err.find(", stopped early)"), std::string::npos) << got.run.err;
  const std::size_t lines = std::stoul("0" + check_e2e::field(got.result, "lines"));
  const std::size_t now = std::stoul("0" + check_e2e::field(got.result, "reduced_lines"));
  EXPECT_GE(now, 1004U);
  EXPECT_LT(now, lines);
  EXPECT_EQ(got.left_behind, 0);
  const checked again = check({"--script", reduced, "--no-shrink", "--", SAMPLES + "/sample_hash_set_listing_cut"});
  EXPECT_EQ(check_e2e::field(again.result, "kind"), "listing") << again.run.err;
}

TEST(CheckEndToEnd, CorrectProgramsPassWholeCampaigns) {
  struct sample {
    std::vector<std::string> command;
    bool multiset;
    bool runs_on_the_host;  // starts under an emulator too
  };
  const std::vector<sample> samples = {
      {{SAMPLES + "/sample_tree"}, false, false},         {{SAMPLES + "/sample_hash_set"}, false, false},
      {{SAMPLES + "/sample_chunked_list"}, false, false}, {{SAMPLES + "/sample_multiset"}, true, false},
      {{SAMPLES + "/sample_keeps_output"}, false, false}, {{SAMPLES + "/sample_slow"}, false, false},
      {{SAMPLES + "/sample_leaves_child"}, false, false}, {{"python3", SAMPLES + "/sample_set.py"}, false, true},
  };
  for (const sample& s : samples) {
    if (emulated() && !s.runs_on_the_host) {
      continue;
    }
    std::vector<std::string> args = {"--seed", "7"};
    if (s.multiset) {
      args.emplace_back("--multiset");
    }
    args.emplace_back("--");
    args.insert(args.end(), s.command.begin(), s.command.end());
    const checked got = check(args);
    EXPECT_EQ(got.run.status, 0) << s.command.back() << "\n" << got.run.err;
    EXPECT_EQ(got.result, "result=pass runs=100 seed=7 max_keys=20000 scripts=both\n") << s.command.back();
    EXPECT_EQ(got.left_behind, 0) << s.command.back();
  }
}

TEST(CheckEndToEnd, WideScriptsFindWhatKeyscriptsCannotAndRunAgain) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const std::string merge_bug = SAMPLES + "/sample_chunked_list_merge_loses_key";
  const checked keyscripts_only = check({"--scripts", "keyscript", "--seed", "7", "--", merge_bug});
  EXPECT_EQ(keyscripts_only.result, "result=pass runs=100 seed=7 max_keys=20000 scripts=keyscript\n");

  // The report names the wide run's options; given back, they fail the same.
  const check_e2e::temporary_directory work;
  const checked found = check({"--seed", "7", "--no-shrink", "-o", work.path + "/failure.txt", "--", merge_bug});
  const std::string shape = check_e2e::field(found.result, "shape");
  EXPECT_NE(shape, "keyscript") << found.result;
  // keyscript-check was started by its path, so the command names that path.
  const std::string again = "  this run again: '" + std::string(KEYSCRIPT_CHECK_BINARY) + "' --shape " + shape +
                            " --seed " + check_e2e::field(found.result, "seed") + " --num-keys " +
                            check_e2e::field(found.result, "num_keys") + " -- '" + merge_bug + "'\n";
  EXPECT_NE(found.run.err.find(again), std::string::npos) << found.run.err;
  const checked rerun = check({"--shape", shape, "--seed", check_e2e::field(found.result, "seed"), "--num-keys",
                               check_e2e::field(found.result, "num_keys"), "--no-shrink", "-o",
                               work.path + "/again.txt", "--", merge_bug});
  EXPECT_EQ(check_e2e::field(rerun.result, "lines"), check_e2e::field(found.result, "lines")) << rerun.run.err;
  EXPECT_EQ(check_e2e::field(rerun.result, "kind"), "listing");
}

// Boundary keys: a set that never keeps key 32767 is found by a wide run
// among a default campaign's first ten, tiny as their scripts are.
TEST(CheckEndToEnd, WideRunsReachTheTopKeyWithinTheFirstTenRuns) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const check_e2e::temporary_directory work;
  for (const char* seed : {"1", "2", "3"}) {
    const checked got = check({"--seed", seed, "--no-shrink", "-o", work.path + "/failure.txt", "--",
                               SAMPLES + "/sample_tree_largest_never_held"});
    EXPECT_EQ(check_e2e::field(got.result, "kind"), "listing") << got.run.err;
    EXPECT_NE(check_e2e::field(got.result, "shape"), "keyscript") << got.result;
    EXPECT_LE(std::stoul("0" + check_e2e::field(got.result, "run")), 10U) << got.result;
  }
}

TEST(CheckEndToEnd, UsageAndProgramsThatCannotRun) {
  const std::string usage = std::string("Try '") + KEYSCRIPT_CHECK_BINARY + " --help'.\n";
  const struct {
    std::vector<std::string> args;
    std::string err;  // the end of standard error
  } cases[] = {
      {{}, "keyscript-check: needs a PROGRAM to check\n" + usage},
      {{"--runs", "0", "--", "true"},
       "keyscript-check: --runs '0' is not a number of runs from 1 to 100000000\n" + usage},
      {{"--bogus", "true"}, "keyscript-check: unknown option '--bogus'\n" + usage},
      {{"--timeout"}, "keyscript-check: option '--timeout' needs a value\n" + usage},
      {{"--scripts", "all", "true"}, "keyscript-check: --scripts 'all' is not keyscript, wide or both\n" + usage},
      {{"--shape", "deletions", "true"}, "keyscript-check: takes --shape only with --num-keys\n" + usage},
      {{"--print-script", "--num-keys", "3", "true"},
       "keyscript-check: takes --print-script with --seed and --num-keys, and no PROGRAM\n" + usage},
      {{"--scripts", "wide", "--num-keys", "3", "true"},
       "keyscript-check: takes --scripts only for a campaign, not with --num-keys or --script\n" + usage},
      {{"--num-keys", "5", "--shape", "round", "true"},
       "keyscript-check: --shape 'round' is not a shape (keyscript-check --help names them)\n" + usage},
      {{"--", "/nonexistent/program"},
       "keyscript-check: cannot run '/nonexistent/program': No such file or directory\n"},
      {{"--script", "/nonexistent/script", "--", "true"},
       "keyscript-check: '/nonexistent/script': No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const checked got = check(c.args);
    EXPECT_EQ(got.run.status, 2) << got.run.err;
    EXPECT_EQ(got.run.out, "");
    EXPECT_TRUE(got.run.err.ends_with(c.err)) << got.run.err;
  }
}

TEST(CheckEndToEnd, SavedScriptsAreRefusedAtTheirLine) {
  const check_e2e::temporary_directory work;
  const std::string path = work.path + "/reduced.txt";
  std::ofstream(path) << "i\n5\n-1\nd x\nq\n";
  const checked got = check({"--script", path, "--", "cat"});
  EXPECT_EQ(got.run.status, 2);
  EXPECT_EQ(got.run.err, "keyscript-check: '" + path +
                             "': line 4: 'd x' does not name a key: a key is 0 to 32767, in plain decimal\n");
}

}  // namespace
