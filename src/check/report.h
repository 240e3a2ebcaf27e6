#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/campaign.h"
#include "check/shrinking.h"
#include "check/verdict.h"
#include "io/messages.h"
#include "process/process.h"
#include "script/script_value.h"

// What keyscript-check says of a failure: the report on standard error, the
// reduced script in its file, and the logfmt line on standard output.

namespace keyscript {

// Where a failing script came from: a generated script (run `run` of `runs`
// in a campaign), or a saved file; and the semantics it was checked with.
struct failure_origin {
  std::uint32_t run;
  std::uint32_t runs;
  std::uint32_t campaign_seed;
  campaign_run script;
  const char* path;  // a saved script; null for a generated one
  semantics kind;
  double timeout_s;  // as given; 0 for the default
};

void report_failure(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms,
                    const failure_origin& origin, const process_command& program);
void report_reduced(message_stream& messages, const shrink_outcome& outcome, std::size_t lines, const char* path);
std::string result_line(const run_failed& failure, const failure_origin& origin, std::size_t lines,
                        const shrink_outcome& outcome, const char* path);

}  // namespace keyscript
