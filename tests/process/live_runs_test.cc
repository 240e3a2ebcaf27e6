// Runs registered in a live_runs, this test a child subreaper: what a run's
// program leaves running, in its group or out of it, dies and is reaped with
// the run; runs side by side kill only what is theirs; and the registry's
// flag and kill_all end every live run.
#include "process/live_runs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "captured_run.h"
#include "process/process.h"
#include "process_table.h"

namespace {

using keyscript::shell;

using keyscript::process_ending;

// A native Linux build always can; an emulator may not pass the call on.
bool adopts_orphans() {
  const bool can = keyscript::become_child_subreaper();
  if (!can && *KEYSCRIPT_EMULATOR == '\0') {
    ADD_FAILURE() << "cannot become a child subreaper";
  }
  return can;
}

std::vector<int> pids_in(const std::string& text) {
  std::vector<int> pids;
  std::istringstream words(text);
  for (int pid = 0; words >> pid;) {
    pids.push_back(pid);
  }
  return pids;
}

// Running: there, and not a zombie.
bool running(int pid) {
  const std::optional<keyscript::process_stat> process = keyscript::process_stat_of(pid);
  return process && process->state != 'Z' && process->state != 'X';
}

// Gone altogether: killed and reaped.
bool gone(int pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

// This process's children, live or not.
int children() {
  const std::vector<keyscript::process_stat> table = keyscript::process_table();
  return static_cast<int>(std::count_if(
      table.begin(), table.end(), [](const keyscript::process_stat& process) { return process.parent == getpid(); }));
}

// Waits (ten seconds at most) until another thread has seen `lines` lines.
bool has_lines(const std::atomic<int>& seen, int lines) {
  for (int tries = 0; tries < 1000 && seen.load() < lines; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return seen.load() >= lines;
}

// Counts the lines it has taken, for another thread to see.
class counting_sink final : public keyscript::output_sink {
 public:
  keyscript::sink_answer take(std::string_view bytes) override {
    text.append(bytes);
    lines.store(static_cast<int>(std::count(text.begin(), text.end(), '\n')));
    return keyscript::sink_answer::more;
  }
  std::string text;
  std::atomic<int> lines{0};
};

keyscript::captured_run run_in(keyscript::live_runs& runs, const std::string& script) {
  return keyscript::run_captured({.argv = shell(script), .runs = &runs}, "", {.timeout_ms = 10000});
}

TEST(LiveRuns, WhatAProgramLeavesRunningDiesWithItsRun) {
  if (!adopts_orphans()) {
    GTEST_SKIP() << "no child subreaper here";
  }
  keyscript::live_runs runs;
  // Each script writes the pids it leaves running, once each is a sleep.
  const std::string settle =
      "settle() { for q; do while [ \"$(cat /proc/$q/comm)\" != sleep ]; do sleep 0.01; done; done; }; ";
  const struct {
    const char* name;
    std::string script;
    int outlived;
    const char* first;
  } cases[] = {
      {"a double fork and setsid", "p=$( (setsid sleep 1000 >/dev/null & echo $!) ); settle $p; echo $p", 1, "sleep"},
      {"no mark in its environment", "p=$( (setsid env -i sleep 1000 >/dev/null & echo $!) ); settle $p; echo $p", 1,
       "sleep"},
      {"a daemon with a child of its own",
       "p=$( (setsid sh -c 'sleep 1000 >/dev/null & echo $! $$; exec sleep 1000 >/dev/null' &) ); settle $p; echo $p",
       2, "sleep"},
      {"in its group, holding its output", "sleep 1000 & settle $!; echo $!", 1, "sleep"},
      {"nothing", "echo", 0, ""},
  };
  for (const auto& c : cases) {
    const keyscript::captured_run run = run_in(runs, settle + c.script);
    EXPECT_EQ(run.result.ending, process_ending::exited) << c.name;
    EXPECT_EQ(run.result.outlived, c.outlived) << c.name;
    EXPECT_EQ(run.result.first_outlived, c.first) << c.name;
    const std::vector<int> left = pids_in(run.out);
    EXPECT_EQ(left.size(), static_cast<std::size_t>(c.outlived)) << c.name << ": " << run.out;
    for (const int pid : left) {
      EXPECT_TRUE(gone(pid)) << c.name << ": " << pid;
      kill(pid, SIGKILL);
    }
    EXPECT_EQ(children(), 0) << c.name;
  }
}

// A run that leaves a process with its mark and one without, then waits
// until told to end.
class leaving_run {
 public:
  leaving_run(keyscript::live_runs& runs, const std::string& folder, const char* name) : may_end_(folder + "/" + name) {
    // Each pid once it is a sleep, with the environment it keeps.
    const std::string script =
        "for p in $( (setsid sleep 1000 >/dev/null & echo $!) ) $( (setsid env -i sleep 1000 >/dev/null & echo $!) );"
        " do while [ \"$(cat /proc/$p/comm)\" != sleep ]; do sleep 0.01; done; echo $p; done; until [ -e " +
        may_end_ + " ]; do sleep 0.01; done";
    ending_ = std::async(std::launch::async, [this, &runs, script] {
      return keyscript::run_process({.argv = shell(script), .runs = &runs}, nullptr, out_, err_, {.timeout_ms = 10000});
    });
  }
  // The marked one's pid, then the other's.
  std::vector<int> left() const {
    EXPECT_TRUE(has_lines(out_.lines, 2));
    return pids_in(out_.text);
  }
  process_ending end() {
    std::ofstream(may_end_) << "";
    const process_ending ending = ending_.get().ending;
    std::remove(may_end_.c_str());
    return ending;
  }

 private:
  std::string may_end_;
  counting_sink out_;
  counting_sink err_;
  std::future<keyscript::process_result> ending_;
};

// A starts, then B; A ends while B runs: it kills what carries its mark, but
// not its unmarked process (it could be B's), nor B's. B's end, alone, kills
// the rest, A's unmarked process too, though A's started before B's program.
TEST(LiveRuns, RunsSideBySideKillOnlyWhatIsTheirs) {
  if (!adopts_orphans()) {
    GTEST_SKIP() << "no child subreaper here";
  }
  keyscript::live_runs runs;
  char folder[] = "/tmp/keyscript_live_runs_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  leaving_run a(runs, folder, "a_may_end");
  const std::vector<int> as = a.left();
  leaving_run b(runs, folder, "b_may_end");
  const std::vector<int> bs = b.left();
  ASSERT_EQ(as.size() + bs.size(), 4U);
  EXPECT_EQ(a.end(), process_ending::exited);
  EXPECT_TRUE(gone(as[0]));
  EXPECT_TRUE(running(as[1]));
  EXPECT_TRUE(running(bs[0]));
  EXPECT_TRUE(running(bs[1]));
  EXPECT_EQ(b.end(), process_ending::exited);
  for (const int pid : {as[1], bs[0], bs[1]}) {
    EXPECT_TRUE(gone(pid)) << pid;
    kill(pid, SIGKILL);
  }
  EXPECT_EQ(runs.deferred(), 0);
  rmdir(folder);
}

// The flag a first signal sets stops every run, whose end kills what it
// started; kill_all, for a handler that ends the program, kills it all at
// once.
TEST(LiveRuns, EveryLiveRunEnds) {
  if (!adopts_orphans()) {
    GTEST_SKIP() << "no child subreaper here";
  }
  const struct {
    const char* name;
    bool kill_all;
    process_ending ending;
  } cases[] = {{"interrupted", false, process_ending::stopped}, {"kill_all", true, process_ending::signaled}};
  for (const auto& c : cases) {
    keyscript::live_runs runs;
    counting_sink out;
    counting_sink err;
    auto run = std::async(std::launch::async, [&] {
      return keyscript::run_process({.argv = shell("(setsid sleep 1000 & echo $!); exec sleep 1000"), .runs = &runs},
                                    nullptr, out, err, {});
    });
    ASSERT_TRUE(has_lines(out.lines, 1)) << c.name;
    const int escaped = pids_in(out.text).at(0);
    if (c.kill_all) {
      runs.kill_all();
      EXPECT_FALSE(running(escaped)) << c.name;
    } else {
      runs.interrupted().store(true);
    }
    ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.name;
    const keyscript::process_result result = run.get();
    EXPECT_EQ(result.ending, c.ending) << c.name;
    EXPECT_EQ(result.signal, SIGKILL) << c.name;
    EXPECT_TRUE(gone(escaped)) << c.name;
    kill(escaped, SIGKILL);
  }
}

// Each run's mark is its own, and replaces one it would inherit.
TEST(LiveRuns, EachRunCarriesItsOwnMark) {
  setenv("KEYSCRIPT_CHECK_RUN", "inherited", 1);
  keyscript::live_runs runs;
  const std::string script = "echo $KEYSCRIPT_CHECK_RUN";
  const std::string owner = std::to_string(getpid());
  EXPECT_EQ(run_in(runs, script).out, owner + ".1\n");
  EXPECT_EQ(run_in(runs, script).out, owner + ".2\n");
  EXPECT_EQ(keyscript::run_captured({.argv = shell(script)}, "", {}).out, "inherited\n");
  unsetenv("KEYSCRIPT_CHECK_RUN");
}

}  // namespace
