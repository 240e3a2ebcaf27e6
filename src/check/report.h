#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/campaign.h"
#include "check/fault.h"
#include "check/shrinking.h"
#include "check/time_limits.h"
#include "check/verdict.h"
#include "io/messages.h"
#include "process/process.h"
#include "script/script_value.h"

// What keyscript-check says of a failure: the report on standard error, the
// reduced script in its file, and the logfmt line on standard output.

namespace keyscript {

// Where a failing script came from: a generated script (run `run` of `runs`
// in a campaign, or a run of its own), or a saved file; and how to run it
// again.
struct failure_origin {
  std::uint32_t run;
  std::uint32_t runs;
  std::optional<std::uint32_t> campaign_seed;  // none for a run of its own
  campaign_run script;
  const char* path;  // a saved script; null for a generated one
  semantics kind;
  double timeout_s;          // as given; 0 for the default
  std::string_view checker;  // keyscript-check, as a command to run it again names it
};

// Where the reduced script went: its file, or (when that could not be
// written) standard error.
struct reduced_file {
  const char* path;
  bool written;
  bool replaced;  // an earlier file of that name is gone
};

// A run that says nothing of the program: it could not start, or the script
// was refused. Says why and returns true; returns false for any other run.
bool report_trouble(message_stream& messages, const run_verdict& verdict, const process_command& program);
void report_failure(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms,
                    const failure_origin& origin, const process_command& program);
// What happened in the run, after the line that names it: where the
// listing differs, the signal, the status or the time, and the end of its
// standard error.
void report_what_failed(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms);
// The program and its arguments, as a shell would take them.
std::string command_line_text(const process_command& program);
// For a timeout: how fast the program went on the runs that finished, and
// the --timeout that would let a run of `lines` finish at that pace.
void report_pace(message_stream& messages, const program_pace& pace, std::uint64_t lines);
// The last run on the reduced script did not fail as `original` did.
void report_unconfirmed(message_stream& messages, const shrink_outcome& outcome, const run_verdict& original);
void report_reduced(message_stream& messages, const shrink_outcome& outcome, std::size_t lines,
                    const reduced_file& file, const std::optional<fault_place>& fault);
std::string result_line(const run_failed& failure, const failure_origin& origin, std::size_t lines,
                        const shrink_outcome& outcome, const reduced_file& file,
                        const std::optional<fault_place>& fault);

}  // namespace keyscript
