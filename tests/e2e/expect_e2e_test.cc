// Runs the built keyscript-expect as a user would: scripts through standard
// input (a pipe) or a file, and checks both streams and the exit status
// against the tests' own model.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "../replay/reference_replay.h"
#include "../script/reference_script.h"
#include "process.h"
#include "version.h"

namespace {

e2e::run_result expect_on(const std::string& script, std::vector<std::string> args) {
  return e2e::run(
      {.args = std::move(args), .argv0 = KEYSCRIPT_EXPECT_BINARY, .binary = KEYSCRIPT_EXPECT_BINARY, .input = script});
}

// A file holding `text`, removed when the test ends.
struct temporary_file {
  std::string path;
  explicit temporary_file(const std::string& text) {
    char name[] = "/tmp/keyscript_expect_XXXXXX";
    close(mkstemp(name));
    path = name;
    std::ofstream(path, std::ios::binary) << text;
  }
  ~temporary_file() { std::remove(path.c_str()); }
  temporary_file(const temporary_file&) = delete;
  temporary_file& operator=(const temporary_file&) = delete;
};

TEST(ExpectEndToEnd, KeyscriptScriptsMatchTheModel) {
  const struct {
    std::uint32_t seed;
    std::int32_t num_keys;
  } runs[] = {
      // Blocks of some 100000 keys pass the 16384 lines whose keys are listed
      // as they come; ExpectLarge (labelled large) replays 40 million.
      {1, 0}, {1, 1}, {1, 5}, {1, 12}, {12345, 3}, {0, 1000}, {4294967295U, 1000}, {7, 100000}, {20261209, 200000}};
  for (const auto& r : runs) {
    const std::string script = reference::script(r.seed, r.num_keys);
    for (const bool multiset : {false, true}) {
      for (const bool keys : {false, true}) {
        std::vector<std::string> args;
        if (multiset) {
          args.emplace_back("--multiset");
        }
        if (keys) {
          args.emplace_back("--keys");
        }
        const reference::replay_result want = reference::replay(script, multiset, keys);
        const e2e::run_result got = expect_on(script, args);
        EXPECT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(got.err, "");
        EXPECT_TRUE(got.out == want.out) << "seed " << r.seed << ", " << r.num_keys << " keys, multiset " << multiset
                                         << ", keys " << keys;
      }
    }
  }
}

TEST(ExpectEndToEnd, CrLfScriptsAndFilesGiveTheSameReplay) {
  const std::string script = reference::script(99, 30000);
  const reference::replay_result want = reference::replay(script, false, true);
  const temporary_file lf(script);
  const temporary_file crlf(reference::with_crlf(script));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--keys", lf.path}, {"--keys", crlf.path}, {"--keys", "--", crlf.path}, {"--keys", "-"}}) {
    const e2e::run_result got = expect_on(reference::with_crlf(script), args);  // standard input, for "-"
    EXPECT_EQ(got.status, 0) << args.back() << ": " << got.err;
    EXPECT_TRUE(got.out == want.out) << args.back();
  }
}

TEST(ExpectEndToEnd, MalformedScriptsAreRefusedWithTheirLine) {
  const std::string script = reference::script(5, 20000);
  const std::size_t middle = script.size() / 2;
  const std::string truncated = script.substr(0, script.find('\n', middle) + 1);
  const std::uint64_t last_line = reference::replay(truncated, false, false).refused_at.value_or(0);
  const struct {
    std::string text;
    std::string err;
  } cases[] = {
      {truncated, "keyscript-expect: line " + std::to_string(last_line) +
                      ": the script ends after this line, inside an insertion block, with no q line\n"},
      {"i\n5\n-1\ns\nd 5 \nq\n",
       "keyscript-expect: line 5: 'd 5 ' does not name a key: a key is 0 to 32767, in plain decimal\n"},
      {script + "s\n", "keyscript-expect: line " + std::to_string(std::count(script.begin(), script.end(), '\n') + 1) +
                           ": 's' comes after q, which ends the script\n"},
  };
  for (const auto& c : cases) {
    const e2e::run_result got = expect_on(c.text, {});
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.out, reference::replay(c.text, false, false).out) << "the checkpoints reached come first";
  }
}

TEST(ExpectEndToEnd, OptionsInputsAndOutputsThatFail) {
  const std::string usage = std::string("Try '") + KEYSCRIPT_EXPECT_BINARY + " --help'.\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--set"}, "keyscript-expect: unknown option '--set'\n" + usage},
      {{"-k"}, "keyscript-expect: unknown option '-k'\n" + usage},
      {{"a", "b"}, "keyscript-expect: takes one FILE at most, and got another: 'b'\n" + usage},
      {{"/nonexistent/script"}, "keyscript-expect: '/nonexistent/script': No such file or directory\n"},
      {{"--", "--keys"}, "keyscript-expect: '--keys': No such file or directory\n"},
      {{"/"}, "keyscript-expect: '/': Is a directory\n"},
  };
  for (const auto& c : cases) {
    const e2e::run_result got = expect_on("q\n", c.args);
    EXPECT_EQ(got.status, 2) << c.args[0];
    EXPECT_EQ(got.out, "") << c.args[0];
    EXPECT_EQ(got.err, c.err) << c.args[0];
  }
  const e2e::run_result full = e2e::run({.args = {},
                                         .output = e2e::stdout_to::dev_full,
                                         .argv0 = KEYSCRIPT_EXPECT_BINARY,
                                         .binary = KEYSCRIPT_EXPECT_BINARY,
                                         .input = "s\nq\n"});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "keyscript-expect: write error: No space left on device\n");
}

TEST(ExpectEndToEnd, CheckpointsComeOutAsTheyAreReached) {
  // The script's end is sent only once its first checkpoint has been read
  // back: without that line first, the test gives up after 10 seconds.
  int to_expect[2];
  int from_expect[2];
  ASSERT_EQ(pipe(to_expect), 0);
  ASSERT_EQ(pipe(from_expect), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(to_expect[0], STDIN_FILENO);
    dup2(from_expect[1], STDOUT_FILENO);
    for (const int fd : {to_expect[0], to_expect[1], from_expect[0], from_expect[1]}) {
      close(fd);
    }
    const char* const emulator = KEYSCRIPT_EMULATOR;
    if (*emulator != '\0') {
      execlp(emulator, emulator, KEYSCRIPT_EXPECT_BINARY, nullptr);
    }
    execl(KEYSCRIPT_EXPECT_BINARY, KEYSCRIPT_EXPECT_BINARY, nullptr);
    _exit(127);
  }
  close(to_expect[0]);
  close(from_expect[1]);
  const std::string start = "i\n5\n-1\ns\n";
  ASSERT_EQ(write(to_expect[1], start.data(), start.size()), static_cast<ssize_t>(start.size()));
  pollfd reply{from_expect[0], POLLIN, 0};
  const bool answered = poll(&reply, 1, 10000) == 1;
  std::string first(200, '\0');
  first.resize(
      answered ? static_cast<std::size_t>(std::max<ssize_t>(read(from_expect[0], first.data(), first.size()), 0)) : 0);
  ASSERT_EQ(write(to_expect[1], "q\n", 2), 2);
  close(to_expect[1]);
  const std::string rest = e2e::read_all(from_expect[0]);
  close(from_expect[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(answered) << "no checkpoint line before the script's end";
  EXPECT_EQ(first + rest,
            "checkpoint=1 line=4 command=s held=1 distinct=1 min=5 max=5 sum=5\n"
            "checkpoint=2 line=5 command=q held=1 distinct=1 min=5 max=5 sum=5\n"
            "total lines=5 inserts=1 already_held=0 deletes=0 not_held=0\n");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ExpectEndToEnd, HelpAndVersion) {
  const e2e::run_result help = expect_on("", {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind(std::string("Usage: ") + KEYSCRIPT_EXPECT_BINARY + " [--multiset] [--keys] [FILE]\n", 0),
            0U);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  const e2e::run_result version = expect_on("", {"--version"});
  EXPECT_EQ(version.out, "keyscript-expect " KEYSCRIPT_VERSION "\n");
  EXPECT_EQ(version.status, 0);
}

// Too little address space for a reading thread, and an input that reports
// EAGAIN while the script is on its way: the same replay, status 0.
TEST(ExpectEndToEnd, LittleAddressSpaceOrANonBlockingInputChangeNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start in 12 MB of address space";
#endif
  if (*KEYSCRIPT_EMULATOR != '\0') {
    GTEST_SKIP() << "the limits would bind the emulator, not the program";
  }
  const std::string script = reference::script(5, 1000);
  const reference::replay_result want = reference::replay(script, false, false);
  const char* const wrappers[] = {
      "ulimit -v 12000 && exec \"$0\"",
      "{ sleep 1; cat; } | exec python3 -c 'import fcntl, os, sys; "
      "fcntl.fcntl(0, fcntl.F_SETFL, fcntl.fcntl(0, fcntl.F_GETFL) | os.O_NONBLOCK); "
      "os.execv(sys.argv[1], sys.argv[1:])' \"$0\"",
  };
  for (const char* wrapper : wrappers) {
    const e2e::run_result got = e2e::run(
        {.args = {"-c", wrapper, KEYSCRIPT_EXPECT_BINARY}, .argv0 = "sh", .binary = "/bin/sh", .input = script});
    EXPECT_EQ(got.status, 0) << wrapper << "\n" << got.err;
    EXPECT_TRUE(got.out == want.out) << wrapper;
  }
}

}  // namespace
