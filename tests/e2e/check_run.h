#pragma once

// Runs the built keyscript-check as a user would, and finds what a run left
// running: shared by the end-to-end tests and the large ones.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace check_e2e {

inline const std::string SAMPLES = KEYSCRIPT_SAMPLES_DIR;

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
inline std::string new_mark() {
  static std::atomic<int> runs{0};
  return "check-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
}

// The processes whose environment holds `mark`.
inline std::vector<pid_t> pids_marked(const std::string& mark) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  for (dirent* entry = nullptr; proc != nullptr && (entry = readdir(proc)) != nullptr;) {
    std::ifstream environment(std::string("/proc/") + entry->d_name + "/environ", std::ios::binary);
    std::ostringstream text;
    text << environment.rdbuf();
    if (text.str().find("KEYSCRIPT_SEED=" + mark) != std::string::npos) {
      found.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
    }
  }
  if (proc != nullptr) {
    closedir(proc);
  }
  return found;
}

inline int processes_marked(const std::string& mark) { return static_cast<int>(pids_marked(mark).size()); }

inline std::string field(const std::string& line, const std::string& name) {
  const std::size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) {
    return "";
  }
  const std::size_t start = at + name.size() + 2;
  return line.substr(start, line.find_first_of(" \n", start) - start);
}

struct checked {
  e2e::run_result run;
  std::string result;  // the last line on standard output
  int left_behind;
};

// Runs keyscript-check with ARGS, keeping no failures: a failure kept by one
// test would run first in the next test of the same program.
inline checked check(std::vector<std::string> args, bool keep_failures = false) {
  if (!keep_failures) {
    args.insert(args.begin(), "--no-store");
  }
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

inline bool emulated() { return *KEYSCRIPT_EMULATOR != '\0'; }

// What a campaign found: its result line, its report and the reduced script.
struct found {
  std::string result;
  std::string err;
  std::string script;
};

// Finds SAMPLE's planted bug at the defaults (one job unless `options` say
// otherwise), with the KIND of failure, and shrinks it to at most twice
// SMALLEST lines, a script that fails again. `options` go to both runs (a
// hang's test gives a short --timeout, so that it waits a fraction of a
// second where the default waits ten).
inline found expect_found(const std::string& sample, bool multiset, const std::string& kind, std::size_t smallest,
                          const std::vector<std::string>& options = {}) {
  const temporary_directory work;
  const std::string reduced = work.path + "/reduced.txt";
  std::vector<std::string> args = {"--seed", "20261209", "-j", "1", "-o", reduced};
  args.insert(args.end(), options.begin(), options.end());
  if (multiset) {
    args.emplace_back("--multiset");
  }
  args.insert(args.end(), {"--", SAMPLES + "/" + sample});
  const checked got = check(args);
  EXPECT_EQ(got.run.status, 1) << sample << "\n" << got.run.err;
  EXPECT_EQ(field(" " + got.result, "result"), "fail") << sample << ": " << got.result;
  EXPECT_EQ(field(got.result, "kind"), kind) << sample << ": " << got.result;
  const std::size_t lines = std::stoul("0" + field(got.result, "reduced_lines"));
  EXPECT_GE(lines, smallest) << sample;
  EXPECT_LE(lines, 2 * smallest) << sample << "\n" << got.run.err;
  EXPECT_EQ(got.left_behind, 0) << sample;
  // The reduced script is well formed and fails the same way again.
  std::vector<std::string> again = {"--script", reduced, "--no-shrink"};
  again.insert(again.end(), options.begin(), options.end());
  if (multiset) {
    again.emplace_back("--multiset");
  }
  again.insert(again.end(), {"--", SAMPLES + "/" + sample});
  const checked rerun = check(again);
  EXPECT_EQ(rerun.run.status, 1) << sample << "\n" << rerun.run.err;
  EXPECT_EQ(field(rerun.result, "kind"), kind) << sample << ": " << rerun.result;
  std::ifstream file(reduced, std::ios::binary);
  return {got.result, got.run.err, {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}};
}

}  // namespace check_e2e
