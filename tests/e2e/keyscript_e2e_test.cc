// Runs the built binary as a user would and checks what it writes to each
// stream and how it exits.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "../script/reference_script.h"
#include "process.h"
#include "version.h"

namespace {

using e2e::run;
using e2e::run_options;
using e2e::run_result;
using e2e::stdout_to;

const std::string usage_line = std::string("Usage: ") + KEYSCRIPT_BINARY + " <Num Keys>\n";
std::string range_refusal(const std::string& quoted, const std::string& value) {
  return "keyscript: NUM_KEYS " + quoted + " is read as " + value + "; it must be from 0 to 1952257819\n";
}

std::string seed_refusal(const std::string& quoted) {
  return "keyscript: KEYSCRIPT_SEED " + quoted +
         " is not a seed: set it to a whole number from 0 to 4294967295, or unset it to seed from the clock\n";
}

}  // namespace

TEST(EndToEnd, FailuresWriteOneLineAndNothingToStdout) {
  const struct {
    std::vector<std::string> args;
    const char* seed;
    std::string err;
  } cases[] = {
      {{}, "1", usage_line},
      {{"5", "6"}, "1", usage_line},
      {{"abc"}, "1", usage_line},
      {{""}, "1", usage_line},
      {{"+"}, "1", usage_line},
      {{"- 5"}, "1", usage_line},
      {{"-3"}, "1", range_refusal("'-3'", "-3")},
      {{"2147483648"}, "1", range_refusal("'2147483648'", "-2147483648")},
      {{"4294967295"}, "1", range_refusal("'4294967295'", "-1")},
      {{"1952257820"}, "1", range_refusal("'1952257820'", "1952257820")},
      {{"-5x\n"}, "1", range_refusal("'-5x'$'\\n'", "-5")},
      {{"5"}, "abc", seed_refusal("'abc'")},
      {{"5"}, "-1", seed_refusal("'-1'")},
      {{"5"}, "4294967296", seed_refusal("'4294967296'")},
      {{"5"}, " 5", seed_refusal("' 5'")},
      {{"5"}, "12x", seed_refusal("'12x'")},
      {{"5"}, "", seed_refusal("''")},    // a misspelt $seed, not the clock
      {{"1e6"}, "", seed_refusal("''")},  // refused before any warning
  };
  for (const auto& c : cases) {
    const run_result result = run({c.args, c.seed});
    const std::string context = (c.args.empty() ? "(no arguments)" : c.args[0]) + " seed '" + c.seed + "'";
    EXPECT_EQ(result.out, "") << context;
    EXPECT_EQ(result.err, c.err) << context;
    EXPECT_EQ(result.status, 1) << context;
  }
}

TEST(EndToEnd, UsageNamesTheProgramAsInvokedWhole) {
  const struct {
    std::string argv0, named;
  } cases[] = {
      {"", "keyscript"},  // no name at all
      {"/opt/" + std::string(300, 'k'), "/opt/" + std::string(300, 'k')},
  };
  for (const auto& c : cases) {
    const run_result result = run({.args = {}, .argv0 = c.argv0});
    EXPECT_EQ(result.err, "Usage: " + c.named + " <Num Keys>\n");
    EXPECT_EQ(result.status, 1);
  }
}

TEST(EndToEnd, HelpAndVersion) {
  for (const char* flag : {"--help", "-h"}) {
    const run_result result = run({{flag}});
    EXPECT_EQ(result.out.rfind(std::string("Usage: ") + KEYSCRIPT_BINARY + " NUM_KEYS\n", 0), 0U) << flag;
    EXPECT_NE(result.out.find("KEYSCRIPT_SEED"), std::string::npos) << flag;
    EXPECT_NE(result.out.find("Exit status"), std::string::npos) << flag;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
  const run_result version = run({{"--version"}});
  EXPECT_EQ(version.out, "keyscript " KEYSCRIPT_VERSION "\n");
  EXPECT_EQ(version.status, 0);
}

TEST(EndToEnd, SeededScriptIsExact) {
  const run_result five = run({{"5"}, "1"});
  EXPECT_EQ(five.out,
            "i\n18467\n6334\n26500\n19169\n-1\ns\nd 6334\ni\n29358\n26962\n24464\n5705\n-1\ns\nd 24464\ns\nq\n");
  EXPECT_EQ(five.err,
            "Going to insert: 4 number of keys\nGoing to delete: 1 number of keys\n"
            "Going to insert: 4 number of keys\nGoing to delete: 1 number of keys\n");
  EXPECT_EQ(five.status, 0);

  std::string expected_err;
  const std::string expected = reference::script(4000000000U, 300000, &expected_err);
  const run_result large = run({{"300000"}, "4000000000"});
  EXPECT_TRUE(large.out == expected) << "300000-key script differs from the plain writer's";
  EXPECT_EQ(large.err, expected_err);
  EXPECT_EQ(large.status, 0);
}

TEST(EndToEnd, ScriptBytesAreTheSameOnEveryBuild) {
  // A digest recorded once: any compiler, optimisation level or -march that
  // changes a single byte of this script fails here.
  const run_result result = run({{"100000"}, "12345"});
  std::uint64_t digest = 0xcbf29ce484222325U;  // FNV-1a
  for (const char byte : result.out) {
    digest = (digest ^ static_cast<unsigned char>(byte)) * 0x100000001b3U;
  }
  EXPECT_EQ(result.out.size(), 1122100U);
  EXPECT_EQ(digest, 0xe07d3189d153d81aU);
}

TEST(EndToEnd, ClockSeedWhenUnset) {
  // A run with no seed given writes exactly the script of a fixed seed: the
  // Unix second it was started in, read before or after it.
  const auto before = static_cast<std::uint32_t>(std::time(nullptr));
  const run_result result = run({{"1000"}, nullptr});
  const auto after = static_cast<std::uint32_t>(std::time(nullptr));
  EXPECT_EQ(result.status, 0);
  bool matched = false;
  for (std::uint32_t second = before; second != after + 1 && !matched; ++second) {
    std::string expected_err;
    matched = result.out == reference::script(second, 1000, &expected_err) && result.err == expected_err;
  }
  EXPECT_TRUE(matched) << "not the script of any second from " << before << " to " << after;
}

TEST(EndToEnd, MisreadCountsWarnAndRunAsRead) {
  // The script and status are those of the value read; a count with text
  // after its digits, or digits past 32 bits, adds one warning line first.
  const struct {
    std::string arg;
    std::int32_t value;
    std::string warning;
  } cases[] = {
      {"1e6", 1, "keyscript: warning: NUM_KEYS '1e6' is read as 1\n"},
      {"1,000", 1, "keyscript: warning: NUM_KEYS '1,000' is read as 1\n"},
      {"12abc", 12, "keyscript: warning: NUM_KEYS '12abc' is read as 12\n"},
      {"4294967296", 0, "keyscript: warning: NUM_KEYS '4294967296' is read as 0\n"},
      {"-4294967285", 11, "keyscript: warning: NUM_KEYS '-4294967285' is read as 11\n"},
      {"5", 5, ""},
      {"+5", 5, ""},
      {"005", 5, ""},
      {" 5", 5, ""},
      {"5 ", 5, ""},
      {"\t5\n", 5, ""},
  };
  for (const auto& c : cases) {
    std::string progress;
    const std::string script = reference::script(1, c.value, &progress);
    const run_result result = run({{c.arg}, "1"});
    EXPECT_EQ(result.out, script) << c.arg;
    EXPECT_EQ(result.err, c.warning + progress) << c.arg;
    EXPECT_EQ(result.status, 0) << c.arg;
  }
  // 99999999999 starts a run of 1.2 billion keys: the warning comes before it.
  const run_result huge = run({.args = {"99999999999"}, .output = stdout_to::pipe_closed_early});
  EXPECT_EQ(huge.err.substr(0, huge.err.find('\n') + 1),
            "keyscript: warning: NUM_KEYS '99999999999' is read as 1215752191\n");
  EXPECT_EQ(huge.signal, SIGPIPE);
}

TEST(EndToEnd, WriteErrorsFailTheRun) {
  const struct {
    stdout_to output;
    std::string error;
  } cases[] = {
      {stdout_to::dev_full, "keyscript: write error: No space left on device\n"},
      {stdout_to::closed, "keyscript: write error: Bad file descriptor\n"},
  };
  for (const auto& c : cases) {
    for (const char* count : {"5", "1000000"}) {
      const run_result result = run({.args = {count}, .output = c.output});
      ASSERT_GE(result.err.size(), c.error.size());
      EXPECT_EQ(result.err.substr(result.err.size() - c.error.size()), c.error) << count;
      EXPECT_EQ(result.status, 1) << count;
    }
  }
}

TEST(EndToEnd, UnwritableProgressFailsTheRun) {
  const run_result result = run({.args = {"5"}, .stderr_to_dev_full = true});
  EXPECT_EQ(result.out.substr(result.out.size() - 4), "s\nq\n");
  EXPECT_EQ(result.status, 1);
}

TEST(EndToEnd, NonBlockingPipeWithSlowReaderGetsEveryByte) {
  std::string expected_err;
  const std::string expected = reference::script(7, 300000, &expected_err);
  const run_result result = run({.args = {"300000"}, .seed = "7", .output = stdout_to::slow_nonblocking_pipe});
  EXPECT_EQ(result.status, 0);
  // The progress lines share the pipe: each arrives whole, in order, among
  // the script's bytes.
  std::string script = result.out;
  std::size_t from = 0;
  std::size_t last = 0;
  for (std::size_t end = 0; (end = expected_err.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = expected_err.substr(from, end + 1 - from);
    const std::size_t at = script.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_GE(at, last) << line;
    script.erase(at, line.size());
    last = at;
  }
  EXPECT_TRUE(script == expected) << "script through a non-blocking pipe differs: " << script.size() << " bytes";
}

TEST(EndToEnd, ReaderThatStopsEarlyEndsTheRunQuietly) {
  // The largest accepted count is taken, starts writing, and ends by SIGPIPE.
  const run_result result = run({.args = {"1952257819"}, .output = stdout_to::pipe_closed_early});
  EXPECT_EQ(result.signal, SIGPIPE);
  EXPECT_EQ(result.err.rfind("Going to insert: ", 0), 0U);
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
}
