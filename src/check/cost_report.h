#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/cost.h"
#include "check/verdict.h"
#include "io/messages.h"
#include "process/process.h"
#include "replay/model.h"

// What keyscript-check says of a cost check: on standard error the figures
// and the verdict, with the options that measure it again; on standard
// output one logfmt line.

namespace keyscript {

// What the report names besides the outcome.
struct cost_setting {
  std::uint32_t seed;
  std::optional<cost_order> only;  // the one order --shape named; none: every order
  std::int64_t startup_us;         // the CPU time of a run on "q" alone
  semantics kind;
  double timeout_s;          // as given; 0 for the default
  std::string_view checker;  // keyscript-check, as a command to run it again names it
};

// "1,024".
std::string with_commas(std::int64_t value);
// Nanoseconds as microseconds to two significant digits: "0.21", "3.9", "18".
std::string microseconds_text(double ns);

// The figures, then whether the program passes or where it broke the rule.
void report_cost(message_stream& messages, const cost_outcome& outcome, const cost_setting& setting,
                 const process_command& program);
// result=pass check=cost ... or result=fail kind=cost ...
std::string cost_result_line(const cost_outcome& outcome, const cost_setting& setting);

// A run of the cost check that failed otherwise (a listing, a signal, a
// status, a time limit): it is not shrunk, and a campaign is the way to a
// short script that shows it.
void report_cost_run_failed(message_stream& messages, const run_failed& failure, const run_verdict& verdict,
                            const cost_script& script, const cost_setting& setting, const process_command& program);
std::string cost_run_failed_line(const run_failed& failure, const cost_script& script);

}  // namespace keyscript
