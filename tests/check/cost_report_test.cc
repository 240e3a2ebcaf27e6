#include "check/cost_report.h"

#include <gtest/gtest.h>

#include <string>

#include "../capture.h"

namespace keyscript {
namespace {

TEST(CostReport, FiguresAsPeopleReadThem) {
  const struct {
    std::int64_t value;
    const char* text;
  } counts[] = {{0, "0"}, {999, "999"}, {1024, "1,024"}, {65536, "65,536"}, {1048576, "1,048,576"}, {-1024, "-1,024"}};
  for (const auto& c : counts) {
    EXPECT_EQ(with_commas(c.value), c.text);
  }
  const struct {
    double ns;
    const char* text;
  } times[] = {{0, "0"}, {49, "0.049"}, {210, "0.21"}, {3900, "3.9"}, {9960, "10"}, {18400, "18"}, {136000, "136"}};
  for (const auto& c : times) {
    EXPECT_EQ(microseconds_text(c.ns), c.text) << c.ns;
  }
}

const cost_setting SETTING{7, std::nullopt, 13000, semantics::set, 0, "keyscript-check"};
const process_command TREE{{"./my tree"}};

// A tree that degrades on sorted keys: broken at 8192, reverse measured up
// to 4096, the others to 4096 too.
cost_outcome degraded() {
  cost_outcome outcome;
  outcome.commands = 65536;
  outcome.floor_ns = 190;
  outcome.figures = {{cost_order::sorted, {560, 1300, 2400, 4700}},
                     {cost_order::reverse, {620, 1200, 2400}},
                     {cost_order::clustered, {230, 280, 290}},
                     {cost_order::keyscript, {84, 63, 50}}};
  outcome.broken = cost_comparison{cost_order::sorted, 8192, 560, 4700, 4700.0 / 560, 5.2};
  return outcome;
}

std::string report_of(const cost_outcome& outcome, const cost_setting& setting) {
  return capture_output([&](int /*out_fd*/, int err_fd) {
           message_stream messages{"keyscript-check", err_fd};
           report_cost(messages, outcome, setting, TREE);
         })
      .err;
}

TEST(CostReport, AFailureGivesTheFiguresTheSmallestSizeAndTheOptionsAgain) {
  EXPECT_EQ(report_of(degraded(), SETTING),
            "keyscript-check: './my tree' fails the cost check (seed 7): cost\n"
            "  in sorted order, CPU per command 0.56 us with 1,024 keys held, 4.7 us with 8,192: 8.4x; a logarithmic "
            "structure's grows 1.3x, and the check allows 4 times that, 5.2x (each the fastest of 3 runs)\n"
            "  the smallest size at which it shows: 8,192 keys held\n"
            "  CPU per command in us, 65,536 commands a script, 13 ms of start-up taken off:\n"
            "    keys held    1,024    2,048    4,096    8,192\n"
            "    sorted        0.56      1.3      2.4      4.7\n"
            "    reverse       0.62      1.2      2.4\n"
            "    clustered     0.23     0.28     0.29\n"
            "    keyscript    0.084    0.063     0.05\n"
            "  this measurement again: keyscript-check --cost --shape sorted --seed 7 -- './my tree'\n");
  EXPECT_EQ(cost_result_line(degraded(), SETTING),
            "result=fail kind=cost shape=sorted keys=8192 seed=7 commands=65536 base_cpu_ns=560 cpu_ns=4700 "
            "growth=8.4 allowed=5.2\n");
  // The options of the run go with it; a base under the floor is said to be.
  cost_outcome fast = degraded();
  fast.broken->base_ns = 20;
  fast.broken->growth = 4700.0 / 190;
  const cost_setting given{7, cost_order::sorted, 13000, semantics::multiset, 2.5, "'build/keyscript-check'"};
  const std::string report = report_of(fast, given);
  EXPECT_NE(report.find("CPU per command 0.02 us with 1,024 keys held (counted as 0.19 us, what noise alone may come "
                        "to a command), 4.7 us with 8,192: 24.7x"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("  this measurement again: 'build/keyscript-check' --cost --multiset --timeout 2.5 --shape "
                        "sorted --seed 7 -- './my tree'\n"),
            std::string::npos)
      << report;
}

TEST(CostReport, APassSaysHowCloseItCame) {
  cost_outcome outcome;
  outcome.commands = 524288;
  outcome.figures = {{cost_order::keyscript, {130, 150, 160, 180, 220, 270}}};
  outcome.closest = cost_comparison{cost_order::keyscript, 32768, 130, 270, 270.0 / 130, 6};
  const cost_setting keyscript_only{3, cost_order::keyscript, 17000, semantics::set, 0, "keyscript-check"};
  EXPECT_EQ(report_of(outcome, keyscript_only),
            "keyscript-check: './my tree' passes the cost check (seed 3); the closest it came: CPU per command 2.1x "
            "from 1,024 to 32,768 keys held in keyscript order, where 6.0x is allowed\n"
            "  CPU per command in us, 524,288 commands a script, 17 ms of start-up taken off:\n"
            "    keys held    1,024    2,048    4,096    8,192   16,384   32,768\n"
            "    keyscript     0.13     0.15     0.16     0.18     0.22     0.27\n");
  EXPECT_EQ(cost_result_line(outcome, keyscript_only),
            "result=pass check=cost seed=3 commands=524288 shapes=keyscript growth=2.1 allowed=6.0 shape=keyscript "
            "keys=32768\n");
}

TEST(CostReport, ARunThatFailsOtherwiseIsNamedWithItsScript) {
  const cost_script script{cost_order::clustered, 2048, 131072, 7};
  run_failed failure;
  failure.kind = failure_kind::signal;
  failure.signal = 11;
  EXPECT_EQ(cost_run_failed_line(failure, script),
            "result=fail kind=signal check=cost shape=clustered keys=2048 seed=7 commands=131072\n");
  run_verdict verdict;
  verdict.outcome = failure;
  verdict.elapsed_ms = 40;
  const std::string report = capture_output([&](int /*out_fd*/, int err_fd) {
                               message_stream messages{"keyscript-check", err_fd};
                               report_cost_run_failed(messages, failure, verdict, script, SETTING, TREE);
                             }).err;
  EXPECT_EQ(report,
            "keyscript-check: './my tree' fails a run of the cost check (clustered order, 2,048 keys, 131,072 "
            "commands, seed 7): signal\n"
            "  killed by SIGSEGV after 40 ms\n"
            "  the cost check does not shrink it; a campaign finds such failures and shrinks them: keyscript-check -- "
            "'./my tree'\n");
}

}  // namespace
}  // namespace keyscript
