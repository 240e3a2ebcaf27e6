#include "check/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../capture.h"
#include "../cli/command_words.h"
#include "check/plan.h"

namespace keyscript {
namespace {

constexpr std::uint32_t CLOCK = 1234;

// The options point into the words, so a reading keeps them.
struct reading {
  command_words command;
  options_reading got;
  captured streams;
};

reading read_check(std::vector<std::string> words) {
  command_words command = command_of("keyscript-check", std::move(words));
  options_reading got;
  const captured streams = capture_output([&](int out_fd, int err_fd) {
    output_writer out(out_fd);
    message_stream messages{"keyscript-check", err_fd};
    got = read_options(command.argc(), command.argv.data(), out, messages, "keyscript-check");
    out.close();
  });
  return {std::move(command), std::move(got), streams};
}

// What a plan does, in a few words, for comparing with a table.
std::string summary(const session_plan& plan) {
  const auto run_text = [](const campaign_run& run) {
    return std::to_string(run.seed) + " " + std::to_string(run.num_keys) + " " + std::string(shape_text(run));
  };
  std::string text;
  if (const auto* campaign = std::get_if<campaign_scripts>(&plan.scripts)) {
    text = "campaign " + std::to_string(campaign->seed) + " " + std::to_string(campaign->runs) + " " +
           std::to_string(campaign->max_keys) + " " + std::string(kinds_name(campaign->kinds));
  } else if (const auto* single = std::get_if<single_script>(&plan.scripts)) {
    text = "run " + run_text(single->run);
  } else if (const auto* saved = std::get_if<saved_script>(&plan.scripts)) {
    text = std::string("saved ") + saved->path;
  } else if (const auto* cost = std::get_if<cost_ladder>(&plan.scripts)) {
    text = "cost " + std::to_string(cost->seed) + " " + std::string(cost->only ? order_name(*cost->only) : "all");
  } else {
    text = "print " + run_text(std::get<printed_script>(plan.scripts).run);
  }
  for (const std::string& word : plan.program.argv) {
    text += " | " + word;
  }
  return text;
}

TEST(CheckOptions, CommandLinesBecomePlans) {
  const struct {
    std::vector<std::string> words;
    std::string plan;
  } cases[] = {
      {{"--", "./tree"}, "campaign 1234 100 20000 both | ./tree"},
      {{"--seed", "7", "--runs", "5", "--max-keys", "30", "--scripts", "wide", "./tree"},
       "campaign 7 5 30 wide | ./tree"},
      // Options stop at the program: its own options are its own.
      {{"python3", "set.py", "--runs", "5"}, "campaign 1234 100 20000 both | python3 | set.py | --runs | 5"},
      {{"--num-keys", "50", "--", "./tree", "-v"}, "run 1234 50 keyscript | ./tree | -v"},
      {{"--num-keys=50", "--seed=9", "--shape", "sorted", "./tree"}, "run 9 50 sorted | ./tree"},
      {{"--shape", "keyscript", "--num-keys", "3", "./tree"}, "run 1234 3 keyscript | ./tree"},
      {{"--script", "saved.txt", "./tree"}, "saved saved.txt | ./tree"},
      {{"--print-script", "--seed", "4", "--num-keys", "2", "--shape", "repeat"}, "print 4 2 repeat"},
      {{"--cost", "./tree"}, "cost 1234 all | ./tree"},
      {{"--shape", "reverse", "--cost", "--seed", "3", "./tree"}, "cost 3 reverse | ./tree"},
      {{"--cost", "--shape", "keyscript", "--multiset", "./tree"}, "cost 1234 keyscript | ./tree"},
  };
  for (const auto& c : cases) {
    const reading r = read_check(c.words);
    ASSERT_TRUE(r.got.options) << c.plan << r.streams.err;
    EXPECT_EQ(summary(plan_session(*r.got.options, CLOCK, "keyscript-check")), c.plan);
    EXPECT_EQ(r.streams.err, "");
  }
}

TEST(CheckOptions, SettingsForRunsAndShrinking) {
  const reading defaults = read_check({"./tree"});
  ASSERT_TRUE(defaults.got.options);
  const session_plan plan = plan_session(*defaults.got.options, CLOCK, "build/keyscript-check");
  EXPECT_EQ(plan.kind, semantics::set);
  EXPECT_FALSE(plan.timeout_s);
  EXPECT_FALSE(plan.candidate_floor_s);
  EXPECT_TRUE(plan.shrink);
  EXPECT_GE(plan.jobs, 1U);
  EXPECT_STREQ(plan.output_path, "keyscript-check-failure.txt");
  EXPECT_EQ(plan.checker, "'build/keyscript-check'");

  const reading given = read_check({"--multiset", "--timeout", "2.5", "--candidate-floor", "0.05", "--no-shrink", "-j",
                                    "3", "--shrink-time", "9", "-o", "out.txt", "./tree"});
  ASSERT_TRUE(given.got.options);
  const session_plan set = plan_session(*given.got.options, CLOCK, "keyscript-check");
  EXPECT_EQ(set.kind, semantics::multiset);
  EXPECT_EQ(set.timeout_s, 2.5);
  EXPECT_EQ(set.candidate_floor_s, 0.05);
  EXPECT_FALSE(set.shrink);
  EXPECT_EQ(set.jobs, 3U);
  EXPECT_EQ(set.shrink_time_s, 9);
  EXPECT_STREQ(set.output_path, "out.txt");
  EXPECT_EQ(set.checker, "keyscript-check");
}

TEST(CheckOptions, HelpAndVersionEndTheRunWithoutAPlan) {
  const reading help = read_check({"--help", "./tree"});
  EXPECT_FALSE(help.got.options);
  EXPECT_EQ(help.got.status, CHECK_PASSED);
  EXPECT_TRUE(help.streams.out.starts_with("Usage: keyscript-check [OPTIONS] [--] PROGRAM [ARG...]\n"));
  const reading version = read_check({"--version"});
  EXPECT_FALSE(version.got.options);
  EXPECT_TRUE(version.streams.out.starts_with("keyscript-check "));
  const reading refused = read_check({"--jobs", "0", "./tree"});
  EXPECT_FALSE(refused.got.options);
  EXPECT_EQ(refused.got.status, CHECK_TROUBLE);
  EXPECT_EQ(refused.streams.err,
            "keyscript-check: --jobs '0' is not a number of jobs from 1 to 1024\n"
            "Try 'keyscript-check --help'.\n");
}

}  // namespace
}  // namespace keyscript
