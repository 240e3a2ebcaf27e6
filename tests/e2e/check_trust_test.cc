// keyscript-check leaves nothing running: not what a program under test
// starts outside its process group, after a run or a campaign, nor what runs
// when a signal ends keyscript-check; and what a program leaves writing does
// not hold its runs to their time limit.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "check_run.h"

namespace {

using check_e2e::check;
using check_e2e::checked;
using check_e2e::SAMPLES;

std::int64_t milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(CheckTrust, NothingOutlivesARunOrACampaign) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const std::vector<std::string> one_run = {"--num-keys", "100"};
  const std::vector<std::string> campaign = {"--runs", "6", "--max-keys", "2000", "--seed", "7"};
  for (const char* sample : {"sample_daemonizes", "sample_child_keeps_writing"}) {
    for (const std::vector<std::string>& scripts : {one_run, campaign}) {
      std::vector<std::string> args = scripts;
      args.insert(args.end(), {"--timeout", "5", "--", SAMPLES + "/" + sample});
      const auto start = std::chrono::steady_clock::now();
      const checked got = check(args);
      const std::string name = std::string(sample) + " " + scripts[0];
      EXPECT_EQ(got.run.status, 0) << name << "\n" << got.run.err;
      EXPECT_TRUE(got.result.starts_with("result=pass runs=")) << name << ": " << got.result;
      EXPECT_EQ(got.left_behind, 0) << name;
      // Held to the limit, one run would take all of it.
      EXPECT_LT(milliseconds_since(start), 5000) << name << ": a run was held to its time limit";
    }
  }
}

TEST(CheckTrust, CampaignsSideBySideDoNotDisturbEachOther) {
  if (check_e2e::emulated()) {
    GTEST_SKIP() << "an emulated keyscript-check cannot start the target's sample programs without binfmt_misc";
  }
  const auto campaign = [](const char* sample) {
    return check({"--runs", "10", "--seed", "7", "--", SAMPLES + "/" + sample});
  };
  auto first = std::async(std::launch::async, campaign, "sample_daemonizes");
  const checked second = campaign("sample_leaves_child");
  const checked first_got = first.get();
  for (const checked& got : {first_got, second}) {
    EXPECT_EQ(got.run.status, 0) << got.run.err;
    EXPECT_EQ(got.result, "result=pass runs=10 seed=7 max_keys=20000 scripts=both\n");
    EXPECT_EQ(got.left_behind, 0);
  }
}

// The processes named sleep whose environment holds `mark`.
int sleeping(const std::string& mark) {
  int found = 0;
  DIR* proc = opendir("/proc");
  while (const dirent* entry = readdir(proc)) {
    const std::string path = std::string("/proc/") + entry->d_name;
    std::string name;
    std::getline(std::ifstream(path + "/comm"), name);
    std::ostringstream environment;
    environment << std::ifstream(path + "/environ", std::ios::binary).rdbuf();
    found += name == "sleep" && environment.str().find("KEYSCRIPT_SEED=" + mark) != std::string::npos ? 1 : 0;
  }
  closedir(proc);
  return found;
}

// Starts keyscript-check on a program that leaves a process out of its
// group and hangs, sends `signal` once both are there, and gives back how
// keyscript-check ended and what it left running.
checked signalled_check(int signal) {
  const std::string mark = check_e2e::new_mark();
  keyscript::process_command command =
      e2e::command_for({.args = {"--num-keys", "10", "--", "/bin/sh", "-c", "(setsid sleep 1000 &); exec sleep 1000"},
                        .seed = mark.c_str(),
                        .argv0 = KEYSCRIPT_CHECK_BINARY,
                        .binary = KEYSCRIPT_CHECK_BINARY});
  keyscript::process_run run = keyscript::start_process(command);
  EXPECT_TRUE(run.started());
  // The program and what left its group, both sleeping.
  for (int tries = 0; tries < 1000 && sleeping(mark) < 2; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(sleeping(mark), 2) << keyscript::signal_name(signal);
  kill(run.pid, signal);
  checked got{{}, "", 0};
  keyscript::appending_sink out(got.run.out);
  keyscript::appending_sink err(got.run.err);
  keyscript::pump_process(run, nullptr, keyscript::input_end::close, out, err, {.timeout_ms = 10000});
  const keyscript::process_result result = keyscript::finish_process(run);
  got.run.status = result.ending == keyscript::process_ending::exited ? result.status : -1;
  got.run.signal = result.signal;
  got.left_behind = check_e2e::processes_marked(mark);
  for (const pid_t left : check_e2e::pids_marked(mark)) {
    kill(left, SIGKILL);  // so that a failure here leaves nothing for the next
  }
  return got;
}

// Under qemu-user what leaves the program's group is not handed back to an
// emulated keyscript-check, which is no child subreaper there: the ending
// is checked, not what escaped the group.
int escaped_left_behind(const checked& got) { return check_e2e::emulated() ? 0 : got.left_behind; }

TEST(CheckTrust, EveryEndingSignalKillsWhatRuns) {
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM}) {
    const checked got = signalled_check(signal);
    EXPECT_EQ(got.run.status, 2) << keyscript::signal_name(signal);
    EXPECT_EQ(got.run.err, "keyscript-check: interrupted\n") << keyscript::signal_name(signal);
    EXPECT_EQ(escaped_left_behind(got), 0) << keyscript::signal_name(signal);
  }
  // Its own output gone, it ends at once, by the signal.
  const checked got = signalled_check(SIGPIPE);
  EXPECT_EQ(got.run.signal, SIGPIPE);
  EXPECT_EQ(got.run.err, "");
  EXPECT_EQ(escaped_left_behind(got), 0);
}

}  // namespace
