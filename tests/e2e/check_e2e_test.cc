// Runs the built keyscript-check as a user would, on the sample programs in
// tests/check/samples: each planted bug is found at the defaults with the
// right kind and shrunk to at most twice the smallest failing script known,
// the correct samples pass, and no run leaves a process behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace {

const std::string SAMPLES = KEYSCRIPT_SAMPLES_DIR;

struct temporary_directory {
  std::string path;
  temporary_directory() {
    char name[] = "/tmp/keyscript_check_XXXXXX";
    path = mkdtemp(name);
  }
  ~temporary_directory() {
    std::remove((path + "/reduced.txt").c_str());
    rmdir(path.c_str());
  }
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;
};

// Every run gets a mark of its own in its environment (which its programs
// inherit), so that what it left running can be found afterwards.
std::string new_mark() {
  static std::atomic<int> runs{0};
  return "check-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
}

// The processes whose environment holds `mark`.
int processes_marked(const std::string& mark) {
  int found = 0;
  DIR* proc = opendir("/proc");
  for (dirent* entry = nullptr; proc != nullptr && (entry = readdir(proc)) != nullptr;) {
    std::ifstream environment(std::string("/proc/") + entry->d_name + "/environ", std::ios::binary);
    std::ostringstream text;
    text << environment.rdbuf();
    found += text.str().find("KEYSCRIPT_SEED=" + mark) != std::string::npos ? 1 : 0;
  }
  if (proc != nullptr) {
    closedir(proc);
  }
  return found;
}

std::string field(const std::string& line, const std::string& name) {
  const std::size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) {
    return "";
  }
  const std::size_t start = at + name.size() + 2;
  return line.substr(start, line.find(' ', start) - start);
}

struct checked {
  e2e::run_result run;
  std::string result;  // the last line on standard output
  int left_behind;
};

checked check(std::vector<std::string> args) {
  const std::string mark = new_mark();
  checked got{e2e::run({.args = std::move(args),
                        .seed = mark.c_str(),
                        .argv0 = KEYSCRIPT_CHECK_BINARY,
                        .binary = KEYSCRIPT_CHECK_BINARY}),
              "", 0};
  const std::string& out = got.run.out;
  const std::size_t last = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
  got.result = out.substr(last == std::string::npos ? 0 : last + 1);
  got.left_behind = processes_marked(mark);
  return got;
}

bool emulated() { return *KEYSCRIPT_EMULATOR != '\0'; }

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
      {"sample_hash_set_listing_cut", false, "listing", 1004},
      {"sample_hash_set_stops_at_first_s", false, "listing", 5},
      {"sample_multiset_erase_all_copies", true, "listing", 6},
      {"sample_never_reads", false, "listing", 4},
      {"sample_prints_forever", false, "listing", 1},
      {"sample_ignores_term", false, "timeout", 1},
  };
  for (const auto& c : cases) {
    const temporary_directory work;
    const std::string reduced = work.path + "/reduced.txt";
    std::vector<std::string> args = {"--seed", "20261209", "-o", reduced};
    if (c.multiset) {
      args.emplace_back("--multiset");
    }
    args.insert(args.end(), {"--", SAMPLES + "/" + c.sample});
    const checked got = check(args);
    EXPECT_EQ(got.run.status, 1) << c.sample << "\n" << got.run.err;
    EXPECT_EQ(field(" " + got.result, "result"), "fail") << c.sample << ": " << got.result;
    EXPECT_EQ(field(got.result, "kind"), c.kind) << c.sample << ": " << got.result;
    const std::size_t lines = std::stoul("0" + field(got.result, "reduced_lines"));
    EXPECT_GE(lines, c.smallest) << c.sample;
    EXPECT_LE(lines, 2 * c.smallest) << c.sample << "\n" << got.run.err;
    EXPECT_EQ(got.left_behind, 0) << c.sample;
    // The reduced script is well formed and fails the same way again.
    std::vector<std::string> again = {"--script", reduced, "--no-shrink"};
    if (c.multiset) {
      again.emplace_back("--multiset");
    }
    again.insert(again.end(), {"--", SAMPLES + "/" + c.sample});
    const checked rerun = check(again);
    EXPECT_EQ(rerun.run.status, 1) << c.sample << "\n" << rerun.run.err;
    EXPECT_EQ(field(rerun.result, "kind"), c.kind) << c.sample << ": " << rerun.result;
  }
}

TEST(CheckEndToEnd, CorrectProgramsPassWholeCampaigns) {
  struct sample {
    std::vector<std::string> command;
    bool multiset;
    bool runs_on_the_host;  // starts under an emulator too
  };
  const std::vector<sample> samples = {
      {{SAMPLES + "/sample_tree"}, false, false},
      {{SAMPLES + "/sample_hash_set"}, false, false},
      {{SAMPLES + "/sample_chunked_list"}, false, false},
      {{SAMPLES + "/sample_multiset"}, true, false},
      {{SAMPLES + "/sample_keeps_output"}, false, false},
      {{SAMPLES + "/sample_slow"}, false, false},
      {{SAMPLES + "/sample_leaves_child"}, false, false},
      {{"python3", SAMPLES + "/sample_set.py"}, false, true},
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
    EXPECT_EQ(got.result, "result=pass runs=100 seed=7 max_keys=20000\n") << s.command.back();
    EXPECT_EQ(got.left_behind, 0) << s.command.back();
  }
}

TEST(CheckEndToEnd, UsageAndProgramsThatCannotRun) {
  const std::string usage = std::string("Try '") + KEYSCRIPT_CHECK_BINARY + " --help'.\n";
  const struct {
    std::vector<std::string> args;
    std::string err;  // the end of standard error
  } cases[] = {
      {{}, "keyscript-check: needs a PROGRAM to check\n" + usage},
      {{"--runs", "0", "--", "true"}, "keyscript-check: --runs '0' is not a number of runs from 1 to 100000000\n" + usage},
      {{"--bogus", "true"}, "keyscript-check: unknown option '--bogus'\n" + usage},
      {{"--timeout"}, "keyscript-check: option '--timeout' needs a value\n" + usage},
      {{"--", "/nonexistent/program"}, "keyscript-check: cannot run '/nonexistent/program': No such file or directory\n"},
      {{"--script", "/nonexistent/script", "--", "true"}, "keyscript-check: '/nonexistent/script': No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const checked got = check(c.args);
    EXPECT_EQ(got.run.status, 2) << got.run.err;
    EXPECT_EQ(got.run.out, "");
    EXPECT_TRUE(got.run.err.ends_with(c.err)) << got.run.err;
  }
}

TEST(CheckEndToEnd, SavedScriptsAreRefusedAtTheirLine) {
  const temporary_directory work;
  const std::string path = work.path + "/reduced.txt";
  std::ofstream(path) << "i\n5\n-1\nd x\nq\n";
  const checked got = check({"--script", path, "--", "cat"});
  EXPECT_EQ(got.run.status, 2);
  EXPECT_EQ(got.run.err, "keyscript-check: '" + path +
                             "': line 4: 'd x' does not name a key: a key is 0 to 32767, in plain decimal\n");
}

}  // namespace
