// Runs the built keyscript-check as a user would, on the sample programs in
// tests/check/samples: each planted bug is found at the defaults (a hang
// with a short time limit) with the right kind and shrunk to at most twice
// the smallest failing script known, the correct samples pass, and no run
// leaves a process behind. The slowest of these are in check_large_test.cc.
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

// A hang is a run still going at the time limit: the programs here are ours
// and end in milliseconds when they do not hang, so a fifth of a second
// proves it where the default limit would wait ten seconds for each hanging
// run, and a shrink's candidate needs a twentieth of a second more than ten
// starts.
const std::vector<std::string> SHORT_LIMIT = {"--timeout", "0.2", "--candidate-floor", "0.05"};

struct planted_bug {
  std::string sample;
  bool multiset;
  std::string kind;
  std::size_t smallest;  // lines of the smallest failing script known
  std::vector<std::string> options;
  // A command is named as the one after which it held the wrong keys (a
  // program that stops at a checkpoint goes wrong at no command).
  bool names_fault;
};

// One CTest case a sample, so that ctest -j runs them side by side. The
// chunked list's merge bug takes thousands of candidates to shrink: it is a
// large test (check_large_test.cc).
class PlantedBugs : public testing::TestWithParam<planted_bug> {};

TEST_P(PlantedBugs, AreFoundAndShrunk) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const planted_bug& c = GetParam();
  const check_e2e::found first = check_e2e::expect_found(c.sample, c.multiset, c.kind, c.smallest, c.options);
  const std::string fault = check_e2e::field(first.result, "fault_line");
  EXPECT_EQ(!fault.empty(), c.names_fault) << first.result;
  EXPECT_EQ(first.err.find("\n  went wrong at ") != std::string::npos, c.names_fault) << first.err;
  // The same failure and the same reduced script whatever the jobs, and with
  // one process for many scripts.
  std::vector<std::string> persistent = {"--persistent", "-j", "2"};
  persistent.insert(persistent.end(), c.options.begin(), c.options.end());
  const check_e2e::found again = check_e2e::expect_found(c.sample, c.multiset, c.kind, c.smallest, persistent);
  for (const char* name : {"kind", "run", "shape", "seed", "num_keys", "lines", "reduced_lines", "fault_line"}) {
    EXPECT_EQ(check_e2e::field(again.result, name), check_e2e::field(first.result, name)) << name;
  }
  EXPECT_EQ(again.script, first.script);
}

INSTANTIATE_TEST_SUITE_P(
    CheckEndToEnd, PlantedBugs,
    testing::Values(planted_bug{"sample_tree_lose_subtree", false, "listing", 7, {}, true},
                    planted_bug{"sample_tree_largest_never_held", false, "listing", 4, {}, true},
                    planted_bug{"sample_tree_crash_on_absent", false, "signal", 2, {}, false},
                    planted_bug{"sample_tree_hang_on_absent", false, "timeout", 2, SHORT_LIMIT, false},
                    planted_bug{"sample_hash_set_no_tombstones", false, "listing", 7, {}, true},
                    planted_bug{"sample_hash_set_stops_at_first_s", false, "listing", 5, {}, false},
                    planted_bug{"sample_multiset_erase_all_copies", true, "listing", 6, {}, true},
                    planted_bug{"sample_never_reads", false, "listing", 4, {}, true},
                    planted_bug{"sample_prints_forever", false, "listing", 1, {}, false},
                    planted_bug{"sample_ignores_term", false, "timeout", 1, SHORT_LIMIT, false}),
    [](const testing::TestParamInfo<planted_bug>& info) { return info.param.sample; });

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

struct correct_program {
  std::string name;  // the CTest case's
  std::vector<std::string> command;
  std::vector<std::string> options;
  std::string result;     // the last line on standard output
  bool runs_on_the_host;  // starts under an emulator too
};

// Thirty runs a compiled sample: every wide shape among them, and sizes up to
// the default 20000 keys, as in a whole campaign, at a third of its keys (the
// README's example runs a whole one, and so do the large tests).
const std::vector<std::string> THIRTY_RUNS = {"--runs", "30"};
const std::string THIRTY_RUNS_PASS = "result=pass runs=30 seed=7 max_keys=20000 scripts=both\n";

// One CTest case a program, side by side under ctest -j. The Python sample's
// whole campaign takes a hundred interpreters' starts and long listings: it
// is a large test (check_large_test.cc), and here twenty small runs, every
// shape among them, show that a program run through an interpreter passes,
// on the host under an emulated keyscript-check too.
class CorrectPrograms : public testing::TestWithParam<correct_program> {};

TEST_P(CorrectPrograms, PassCampaigns) {
  const correct_program& p = GetParam();
  if (emulated() && !p.runs_on_the_host) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  std::vector<std::string> args = {"--seed", "7"};
  args.insert(args.end(), p.options.begin(), p.options.end());
  args.emplace_back("--");
  args.insert(args.end(), p.command.begin(), p.command.end());
  const checked got = check(args);
  EXPECT_EQ(got.run.status, 0) << got.run.err;
  EXPECT_EQ(got.result, p.result);
  EXPECT_EQ(got.left_behind, 0);
}

INSTANTIATE_TEST_SUITE_P(
    CheckEndToEnd, CorrectPrograms,
    testing::Values(
        correct_program{"tree", {SAMPLES + "/sample_tree"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"hash_set", {SAMPLES + "/sample_hash_set"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"chunked_list", {SAMPLES + "/sample_chunked_list"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{
            "multiset", {SAMPLES + "/sample_multiset"}, {"--multiset", "--runs", "30"}, THIRTY_RUNS_PASS, false},
        correct_program{"keeps_output", {SAMPLES + "/sample_keeps_output"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"slow", {SAMPLES + "/sample_slow"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"avl_tree", {SAMPLES + "/sample_avl_tree"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"treap", {SAMPLES + "/sample_treap"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"skip_list", {SAMPLES + "/sample_skip_list"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        correct_program{"hash_table", {SAMPLES + "/sample_hash_table"}, THIRTY_RUNS, THIRTY_RUNS_PASS, false},
        // Each run waits out the child that holds its output for
        // a moment: ten runs, sizes 0 to 20000, show that none is
        // waited for to the end and none outlives its run.
        correct_program{"leaves_child",
                        {SAMPLES + "/sample_leaves_child"},
                        {"--runs", "10"},
                        "result=pass runs=10 seed=7 max_keys=20000 scripts=both\n",
                        false},
        correct_program{"python",
                        {KEYSCRIPT_PYTHON, SAMPLES + "/sample_set.py"},
                        {"--runs", "20", "--max-keys", "2000"},
                        "result=pass runs=20 seed=7 max_keys=2000 scripts=both\n",
                        true},
        correct_program{"python_hash_table",
                        {KEYSCRIPT_PYTHON, SAMPLES + "/sample_hash_table.py"},
                        {"--runs", "20", "--max-keys", "2000"},
                        "result=pass runs=20 seed=7 max_keys=2000 scripts=both\n",
                        true}),
    [](const testing::TestParamInfo<correct_program>& info) { return info.param.name; });

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
      {{"--shape", "deletions", "true"}, "keyscript-check: takes --shape only with --num-keys or --cost\n" + usage},
      {{"--cost", "--num-keys", "3", "true"},
       "keyscript-check: takes --cost alone, not with --num-keys, --script, --print-script, --scripts or "
       "--persistent\n" +
           usage},
      {{"--cost", "--persistent", "true"},
       "keyscript-check: takes --cost alone, not with --num-keys, --script, --print-script, --scripts or "
       "--persistent\n" +
           usage},
      {{"--cost", "--shape", "deletions", "true"},
       "keyscript-check: takes --shape with --cost only for sorted, reverse, clustered or keyscript\n" + usage},
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
