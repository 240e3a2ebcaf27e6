// keyscript-check's verdicts say what happened: a short listing is counted
// as short, a crash is reported by its status and its last words, and a
// failure's script is never lost, whatever becomes of its file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "check_run.h"

namespace {

using check_e2e::check;
using check_e2e::checked;
using check_e2e::emulated;
using check_e2e::SAMPLES;

std::string read_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(CheckVerdicts, ShortListingsAndCrashesAreReportedForWhatTheyAre) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const check_e2e::temporary_directory work;
  const std::string script = work.path + "/script.txt";
  std::ofstream(script) << "i\n3\n-1\nd 0\nq\n";
  const struct {
    std::vector<std::string> args;
    const char* kind;
    std::vector<std::string> said;  // on standard error, each
  } cases[] = {
      // The tree leaves 32767 out: its listing is one key short, and the next
      // listing's first key is not an extra one.
      {{"--seed", "1322505358", "--num-keys", "987", "--", SAMPLES + "/sample_tree_largest_never_held"},
       "listing",
       {"the listing ended after 1004 of 1005 keys, before a line lower than the last key listed: 0\n",
        "  1005 keys due, 1004 listed; missing 1 32767; extra 0\n"}},
      // A traceback's last line says what went wrong.
      {{"--script", script, "--", SAMPLES + "/sample_tree_exits_on_absent"},
       "status",
       {"  exit status 1, which cut short the listing of checkpoint 1 (\"q\", script line 5) after 0 of 1 keys\n",
        "  its standard error ended:\n", "    'KeyError: 0'\n"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--no-shrink", "-o", work.path + "/reduced.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const checked got = check(args);
    EXPECT_EQ(got.run.status, 1) << got.run.err;
    EXPECT_EQ(check_e2e::field(got.result, "kind"), c.kind) << got.result;
    for (const std::string& line : c.said) {
      EXPECT_NE(got.run.err.find(line), std::string::npos) << line << "\n" << got.run.err;
    }
  }
  std::remove(script.c_str());
}

TEST(CheckVerdicts, AFailureIsNeverLostWithItsFile) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  // Nothing runs when the file could not be written at all.
  const checked directory = check({"--seed", "1", "-o", "/tmp", "--", SAMPLES + "/sample_tree_lose_subtree"});
  EXPECT_EQ(directory.run.status, 2);
  EXPECT_EQ(directory.run.out, "");
  EXPECT_EQ(directory.run.err, "keyscript-check: '/tmp': Is a directory\n");
  // A file that takes nothing: the script comes on standard error instead.
  const checked full =
      check({"--seed", "1", "--no-shrink", "-o", "/dev/full", "--", SAMPLES + "/sample_tree_lose_subtree"});
  EXPECT_EQ(full.run.status, 1) << full.run.err;
  EXPECT_TRUE(full.result.starts_with("result=fail kind=listing ")) << full.result;
  EXPECT_TRUE(full.result.ends_with(" file=\n")) << full.result;
  EXPECT_NE(full.run.err.find("keyscript-check: '/dev/full': No space left on device\n"), std::string::npos);
  EXPECT_NE(full.run.err.find("'/dev/full' could not be written, so here is the whole script:\n  | i\n"),
            std::string::npos)
      << full.run.err;
  EXPECT_NE(full.run.err.find("\n  | q\n"), std::string::npos) << full.run.err;
}

// Two campaigns that share a file name (parallel jobs in one folder) leave
// one whole script in it, never a mix of the two. The race is rare: the
// writing itself is held to this deterministically in tests/io.
TEST(CheckVerdicts, CampaignsSharingAFileLeaveOneWholeScript) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const check_e2e::temporary_directory work;
  const std::string shared = work.path + "/reduced.txt";
  for (int round = 0; round < 3; ++round) {
    checked first;
    checked second;
    const auto campaign = [&](const char* seed, checked& got) {
      got = check({"--seed", seed, "--no-shrink", "-o", shared, "--", SAMPLES + "/sample_tree_lose_subtree"});
    };
    std::thread other(campaign, "2", std::ref(second));
    campaign("3", first);
    other.join();
    const std::string text = read_text(shared);
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_TRUE(text.ends_with("q\n")) << text;
    EXPECT_TRUE(std::to_string(lines) == check_e2e::field(first.result, "reduced_lines") ||
                std::to_string(lines) == check_e2e::field(second.result, "reduced_lines"))
        << text << first.result << second.result;
  }
}

// Under --persistent, a program that keeps its collection from one script to
// the next fails a script it passes alone: that is what is reported, not a
// bug the script shows.
TEST(CheckVerdicts, AProgramThatKeepsStateAcrossScriptsIsToldSo) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const std::string program = SAMPLES + "/sample_tree_keeps_state";
  const checked alone = check({"--seed", "7", "--runs", "12", "--", program});
  EXPECT_EQ(alone.run.status, 0) << alone.run.err;
  const checked persistent = check({"--seed", "7", "--runs", "12", "--persistent", "--", program});
  EXPECT_EQ(persistent.run.status, 1) << persistent.run.err;
  EXPECT_EQ(check_e2e::field(persistent.result, "kind"), "state") << persistent.result;
  EXPECT_TRUE(persistent.result.ends_with(" file=\n")) << persistent.result;
  EXPECT_NE(persistent.run.err.find("under --persistent it keeps state from one script to the next"), std::string::npos)
      << persistent.run.err;
  EXPECT_EQ(persistent.left_behind, 0);
}

// Under --persistent, a program that hangs where a correct one has nothing
// to list looks, to its live process, like one that never writes the end
// line: run alone, it hangs again, so it is a hang, and the program still
// follows the protocol (no warning that it does not).
TEST(CheckVerdicts, AHangUnderPersistentIsAHangNotAProgramOfOneScript) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const checked got = check({"--persistent", "--timeout", "0.2", "--candidate-floor", "0.05", "--seed", "1",
                             "--num-keys", "11", "--", SAMPLES + "/sample_tree_hang_on_absent"});
  EXPECT_EQ(got.run.status, 1) << got.run.err;
  EXPECT_EQ(check_e2e::field(got.result, "kind"), "timeout") << got.result;
  EXPECT_EQ(check_e2e::field(got.result, "reduced_lines"), "2") << got.result;
  EXPECT_EQ(got.run.err.find("warning"), std::string::npos) << got.run.err;
  EXPECT_EQ(got.left_behind, 0);
}

// A failure found is kept, runs first the next time, and once the program
// is mended (the same file, rebuilt) it is reported fixed and dropped.
TEST(CheckVerdicts, KeptFailuresRunFirstUntilTheyAreFixed) {
  if (emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const check_e2e::temporary_directory work;
  const std::string program = work.path + "/program";
  const std::string store = work.path + "/store";
  // A sample takes its bug from the name it runs under: the program is a
  // script that starts the sample, rewritten to "rebuild" it.
  const auto build = [&](const char* sample) {
    std::ofstream(program) << "#!/bin/sh\nexec '" << SAMPLES << "/" << sample << "'\n";
    ASSERT_EQ(chmod(program.c_str(), 0700), 0);
  };
  const auto run = [&](const char* seed) {
    return check({"--store", store, "--seed", seed, "--runs", "20", "--max-keys", "50", "-o",
                  work.path + "/reduced.txt", "--", program},
                 true);
  };
  build("sample_tree_lose_subtree");
  const checked found = run("3");
  ASSERT_EQ(found.run.status, 1) << found.run.err;
  const std::string said = "kept for the next campaign of this program: '";
  const std::size_t at = found.run.err.find(said);
  ASSERT_NE(at, std::string::npos) << found.run.err;
  const std::size_t from = at + said.size();
  const std::string kept = found.run.err.substr(from, found.run.err.find('\'', from) - from);
  EXPECT_EQ(read_text(kept), read_text(work.path + "/reduced.txt"));

  const checked again = run("4");
  EXPECT_EQ(again.run.status, 1) << again.run.err;
  EXPECT_TRUE(again.run.err.starts_with("keyscript-check: 1 failure kept from earlier campaigns of this program"))
      << again.run.err;
  EXPECT_EQ(check_e2e::field(again.result, "script"), "'" + kept + "'") << again.result;

  build("sample_tree");
  const checked fixed = run("4");
  EXPECT_EQ(fixed.run.status, 0) << fixed.run.err;
  EXPECT_NE(fixed.run.err.find("the kept failure '" + kept + "' passes now: fixed, and dropped\n"), std::string::npos)
      << fixed.run.err;
  EXPECT_EQ(fixed.result, "result=pass runs=20 seed=4 max_keys=50 scripts=both\n");
  EXPECT_EQ(access(kept.c_str(), F_OK), -1);
  (void)!std::system(("rm -rf '" + store + "' '" + program + "'").c_str());
}

}  // namespace
