// Runs small shell commands that behave as awkward programs under test do,
// and checks how each run ends, what it read back, and that nothing of the
// child's process group is left alive afterwards.
#include "process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "captured_run.h"
#include "process_table.h"

namespace {

using keyscript::shell;

using keyscript::process_ending;

// Keeps what it is given, and asks for the run to stop once it holds
// `stop_after` bytes (0: never).
class collecting_sink final : public keyscript::output_sink {
 public:
  explicit collecting_sink(std::size_t stop_after) : stop_after_(stop_after) {}
  keyscript::sink_answer take(std::string_view bytes) override {
    text.append(bytes);
    return stop_after_ == 0 || text.size() < stop_after_ ? keyscript::sink_answer::more : keyscript::sink_answer::stop;
  }
  std::string text;

 private:
  std::size_t stop_after_;
};

// Live processes of `group`. Zombies do not count: where init does not reap
// orphans, a killed grandchild stays one for good.
int live_members(int group) {
  const std::vector<keyscript::process_stat> table = keyscript::process_table();
  return static_cast<int>(std::count_if(table.begin(), table.end(), [group](const keyscript::process_stat& process) {
    return process.group == group && process.state != 'Z' && process.state != 'X';
  }));
}

// A SIGKILL takes effect a moment after kill() returns.
bool group_dies(int group) {
  for (int tries = 0; tries < 1000; ++tries) {
    if (live_members(group) == 0) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// What `run` returns, failing the test where it hangs: it stands for a call
// of run_process that must return whatever the child does.
template <typename Run>
auto returning(const char* name, Run run) {
  auto running = std::async(std::launch::async, run);
  if (running.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << name << ": run_process has not returned";
    std::fflush(stdout);
    std::abort();  // a future whose thread never ends cannot be left behind
  }
  return running.get();
}

// Made on first use, not when the program starts: every test of this program
// starts it once, and under an emulator this megabyte took most of a start.
const std::string& large_input() {
  static const std::string text = [] {
    std::string lines;
    for (int line = 0; lines.size() < (1U << 20); ++line) {
      lines += std::to_string(line) + '\n';
    }
    return lines;
  }();
  return text;
}

struct temporary_folder {
  std::string path;
  temporary_folder() {
    char name[] = "/tmp/keyscript_process_XXXXXX";
    path = mkdtemp(name);
  }
  ~temporary_folder() { std::filesystem::remove_all(path); }
  temporary_folder(const temporary_folder&) = delete;
  temporary_folder& operator=(const temporary_folder&) = delete;
};

struct behaviour {
  const char* name = nullptr;
  std::vector<std::string> argv{};
  std::string input{};
  process_ending ending = process_ending::exited;
  int status = 0;
  int signal = 0;
  std::string out{};  // the whole output, or its start when `only_start`
  bool only_start = false;
  std::string err{};
  bool input_closed_early = false;
  std::int64_t timeout_ms = -1;
  std::int64_t idle_ms = -1;
  std::size_t stop_after = 0;
  std::optional<std::string> argv0{};
  std::vector<std::string> environment{};
};

// More than the input pipe holds, so that a slow reader's input goes over
// as it reads.
const std::string three_megabytes(3U << 20, 'x');

void expect_behaviour(const behaviour& c) {
  collecting_sink out(c.stop_after);
  collecting_sink err(0);
  const keyscript::process_result result = returning(c.name, [&] {
    // A caller's blocked signals must not reach the program blocked.
    sigset_t segv;
    sigemptyset(&segv);
    sigaddset(&segv, SIGSEGV);
    pthread_sigmask(SIG_BLOCK, &segv, nullptr);
    keyscript::whole_input input(c.input);
    return keyscript::run_process({c.argv, c.environment, c.argv0}, &input, out, err, {c.timeout_ms, c.idle_ms});
  });
  EXPECT_EQ(result.ending, c.ending) << c.name;
  EXPECT_EQ(result.status, c.status) << c.name;
  EXPECT_EQ(result.signal, c.signal) << c.name;
  EXPECT_EQ(c.only_start ? out.text.substr(0, c.out.size()) : out.text, c.out) << c.name;
  EXPECT_EQ(err.text, c.err) << c.name;
  EXPECT_EQ(result.input_closed_early, c.input_closed_early) << c.name;
  EXPECT_TRUE(group_dies(result.process_group)) << c.name;
}

TEST(Process, EveryBehaviourEndsAsExpectedAndLeavesNoProcess) {
  setenv("KEYSCRIPT_PROCESS_TEST_REMOVED", "inherited", 1);
  const int inheritable = open("/dev/null", O_RDONLY);  // as a caller may leave one, without O_CLOEXEC
  const behaviour cases[] = {
      {.name = "cat copies a large input", .argv = {"cat"}, .input = large_input(), .out = large_input()},
      {.name = "wc reads all before writing",
       .argv = {"wc", "-c"},
       .input = large_input(),
       .out = std::to_string(large_input().size()) + '\n'},
      {.name = "exits 3 after writing to both",
       .argv = shell("printf out; printf err >&2; exit 3"),
       .status = 3,
       .out = "out",
       .err = "err"},
      {.name = "exit 127 is not a missing program", .argv = shell("exit 127"), .status = 127},
      {.name = "SIGSEGV", .argv = shell("kill -SEGV $$"), .ending = process_ending::signaled, .signal = SIGSEGV},
      {.name = "SIGPIPE inside the child's pipeline", .argv = shell("yes | head -c2"), .out = "y\n"},
      {.name = "sleeps past the limit",
       .argv = shell("exec sleep 1000"),
       .ending = process_ending::timed_out,
       .signal = SIGKILL,
       .timeout_ms = 100},
      {.name = "ignores SIGTERM",
       .argv = shell("trap '' TERM; sleep 1000; exit 0"),
       .ending = process_ending::timed_out,
       .signal = SIGKILL,
       .timeout_ms = 100},
      {.name = "yes until the sink has 1 MB",
       .argv = {"yes"},
       .ending = process_ending::stopped,
       .signal = SIGKILL,
       .out = "y\ny\n",
       .only_start = true,
       .stop_after = 1U << 20},
      {.name = "never reads a large input",
       .argv = shell("echo done"),
       .input = large_input(),
       .out = "done\n",
       .input_closed_early = true},
      {.name = "closes stdin early",
       .argv = shell("head -c1; exec <&-; sleep 0.3"),
       .input = large_input(),
       .out = "0",
       .input_closed_early = true},
      {.name = "grandchild holds stdin",
       .argv = shell("exec 3<&0; sleep 1000 <&3 3<&- & echo done"),
       .input = large_input(),
       .out = "done\n",
       .input_closed_early = true},
      {.name = "grandchild holds stdout", .argv = shell("sleep 1000 & exec cat"), .input = "abc", .out = "abc"},
      {.name = "grandchild writes forever", .argv = shell("yes & sleep 0.3; exit 5"), .status = 5, .only_start = true},
      {.name = "only 0, 1 and 2 open", .argv = shell("ls /proc/$$/fd; exit 0"), .out = "0\n1\n2\n"},
      {.name = "argv0 shown",
       .argv = shell("tr '\\0' ' ' < /proc/$$/cmdline"),
       .out = "shown -c",
       .only_start = true,
       .argv0 = "shown"},
      {.name = "environment changed",
       .argv = shell("echo \"$KEYSCRIPT_PROCESS_TEST_ADDED ${KEYSCRIPT_PROCESS_TEST_REMOVED-removed}\""),
       .out = "added removed\n",
       .environment = {"KEYSCRIPT_PROCESS_TEST_ADDED=added", "KEYSCRIPT_PROCESS_TEST_REMOVED"}},
  };
  for (const behaviour& c : cases) {
    expect_behaviour(c);
  }
  EXPECT_EQ(std::getenv("KEYSCRIPT_PROCESS_TEST_ADDED"), nullptr);
  close(inheritable);
}

// No byte taken nor written for the idle limit ends a run; slow but steady
// progress either way does not.
TEST(Process, IdleLimitEndsOnlyWhatMakesNoProgress) {
  const behaviour cases[] = {
      {.name = "silent, it stalls",
       .argv = shell("exec sleep 1000"),
       .ending = process_ending::stalled,
       .signal = SIGKILL,
       .idle_ms = 100},
      {.name = "writes slowly but steadily",
       .argv = shell("echo 0; for i in 1 2 3 4 5 6 7 8 9 10 11 12; do sleep 0.05; echo $i; done"),
       .out = "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n",
       .idle_ms = 400},
      {.name = "reads slowly but steadily",
       .argv = shell("for i in 1 2 3 4 5 6 7 8 9 10; do head -c 65536; sleep 0.05; done >/dev/null; cat >/dev/null"),
       .input = three_megabytes,
       .idle_ms = 500},
  };
  for (const behaviour& c : cases) {
    expect_behaviour(c);
  }
}

// A process out of the group cannot be killed with it (nor found, without
// a registry); the run ends, its output read for EXIT_GRACE at most, without
// waiting for it to let go of the pipes or to stop writing.
TEST(Process, HolderOutsideTheGroupDoesNotKeepTheRunWaiting) {
  const struct {
    const char* name;
    std::string script;
  } cases[] = {
      {"sleeps holding standard output", "setsid sleep 1000 & echo $!; exec cat"},
      {"writes to standard error every 10 ms",
       "setsid sh -c 'while :; do echo x >&2; sleep 0.01; done' & echo $!; exec cat"},
  };
  for (const auto& c : cases) {
    const keyscript::captured_run run = returning(c.name, [&] {
      return keyscript::run_captured({shell(c.script), {}, std::nullopt}, "abc", {.timeout_ms = 5000});
    });
    const int holder = std::stoi(run.out);
    EXPECT_EQ(run.out, std::to_string(holder) + "\nabc") << c.name;
    EXPECT_EQ(run.result.ending, process_ending::exited) << c.name;
    EXPECT_LT(run.result.elapsed_ms, 2500) << c.name << ": held to the time limit";
    EXPECT_EQ(kill(holder, SIGKILL), 0) << c.name;  // still there, as it should be
  }
}

// Found as execvp finds a program, PATH read from the child's environment,
// or not started with execvp's errno.
TEST(Process, ProgramsAreFoundAsExecvpFindsThem) {
  const temporary_folder folder;
  const std::string& dir = folder.path;
  const auto file = [&](const std::string& name, const char* text, mode_t mode) {
    mkdir((dir + "/" + name.substr(0, name.find('/'))).c_str(), 0700);
    std::ofstream(dir + "/" + name) << text;
    chmod((dir + "/" + name).c_str(), mode);
  };
  file("denied/prog", "echo denied\n", 0600);
  file("plain/prog", "echo plain $0 $1\n", 0700);  // no "#!" line
  mkdir((dir + "/empty").c_str(), 0700);
  const struct {
    std::vector<std::string> argv;
    std::string path;  // PATH in the child's environment; "-": none
    int error;         // 0: it runs and writes `out`
    std::string out;
  } cases[] = {
      {{"prog", "x"}, dir + "/denied:" + dir + "/plain", 0, "plain " + dir + "/plain/prog x\n"},
      {{"prog"}, dir + "/denied", EACCES, ""},
      {{"prog"}, dir + "/empty", ENOENT, ""},
      {{"prog"}, dir + "/empty:" + dir + "/denied:" + dir + "/empty", EACCES, ""},
      {{dir + "/plain/prog", "y"}, dir + "/denied", 0, "plain " + dir + "/plain/prog y\n"},
      {{dir + "/denied/prog"}, "", EACCES, ""},
      {{dir + "/empty"}, "", EACCES, ""},
      {{"sh", "-c", "echo found"}, "-", 0, "found\n"},  // execvp's own PATH then
      {{"keyscript-process-test-no-such-program"}, "-", ENOENT, ""},
      {{dir + "/nonexistent/prog"}, "", ENOENT, ""},
      {{"/dev/null"}, "", EACCES, ""},
      {{""}, "", ENOENT, ""},
      {{}, "", EINVAL, ""},
  };
  for (const auto& c : cases) {
    const std::string name = c.argv.empty() ? "(none)" : c.argv[0] + " on " + c.path;
    const std::vector<std::string> environment = {c.path == "-" ? "PATH" : "PATH=" + c.path};
    const keyscript::captured_run run = keyscript::run_captured({c.argv, environment, std::nullopt}, "", {});
    EXPECT_EQ(run.result.ending, c.error == 0 ? process_ending::exited : process_ending::not_started) << name;
    EXPECT_EQ(run.result.start_error, c.error) << name;
    EXPECT_EQ(run.out, c.out) << name;
  }
}

// Stops at `end\n`, the end of one script's answer, until told again.
class answer_sink final : public keyscript::output_sink {
 public:
  keyscript::sink_answer take(std::string_view bytes) override {
    text.append(bytes);
    return text.ends_with("end\n") ? keyscript::sink_answer::pause : keyscript::sink_answer::more;
  }
  std::string text;
};

// One program, several scripts: each pump ends when the answer is complete,
// with the program alive and its input open, and has a time limit of its
// own.
TEST(Process, PausedRunTakesTheNextScript) {
  keyscript::process_run run = keyscript::start_process(
      {.argv = shell("while read l; do echo \"$l\"; [ \"$l\" = q ] && echo end; done; echo bye")});
  ASSERT_TRUE(run.started());
  collecting_sink err(0);
  const auto pump = [&](std::string_view script, keyscript::input_end end, std::int64_t timeout_ms) {
    answer_sink out;
    keyscript::whole_input input(script);
    const process_ending ending = returning(
        "pump", [&] { return keyscript::pump_process(run, &input, end, out, err, {.timeout_ms = timeout_ms}); });
    return std::make_pair(ending, out.text);
  };
  using keyscript::input_end;
  EXPECT_EQ(pump("a\nq\n", input_end::keep_open, 5000),
            std::make_pair(process_ending::paused, std::string("a\nq\nend\n")));
  EXPECT_EQ(kill(run.pid, 0), 0);
  EXPECT_EQ(pump("b\nq\n", input_end::keep_open, 5000),
            std::make_pair(process_ending::paused, std::string("b\nq\nend\n")));
  EXPECT_EQ(pump("", input_end::keep_open, 100), std::make_pair(process_ending::timed_out, std::string()));
  EXPECT_EQ(pump("c\n", input_end::close, 5000), std::make_pair(process_ending::exited, std::string("c\nbye\n")));
  const keyscript::process_result result = keyscript::finish_process(run);
  EXPECT_EQ(result.ending, process_ending::exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_FALSE(result.input_closed_early);
  EXPECT_TRUE(group_dies(result.process_group));
}

// The program's own CPU time, not the time it took.
TEST(Process, CpuTimeIsTheProgramsOwn) {
  const keyscript::captured_run busy =
      keyscript::run_captured({.argv = shell("i=0; while [ $i -lt 100000 ]; do i=$((i+1)); done")}, "", {});
  const keyscript::captured_run asleep = keyscript::run_captured({.argv = shell("exec sleep 0.3")}, "", {});
  EXPECT_GT(busy.result.cpu_us, 20000);
  EXPECT_LE(busy.result.cpu_us, (busy.result.elapsed_ms + 10) * 1000 * 2);  // two cores at most
  EXPECT_GE(asleep.result.elapsed_ms, 300);
  EXPECT_LT(asleep.result.cpu_us, 100000);
}

TEST(Process, SignalNames) {
  EXPECT_EQ(keyscript::signal_name(SIGSEGV), "SIGSEGV");
  EXPECT_EQ(keyscript::signal_name(SIGABRT), "SIGABRT");
  EXPECT_EQ(keyscript::signal_name(0), "signal 0");
}

}  // namespace
