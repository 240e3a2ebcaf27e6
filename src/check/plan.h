#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "check/campaign.h"
#include "check/options.h"
#include "process/process.h"
#include "replay/model.h"

// What one invocation of keyscript-check is to do, read from its options:
// which scripts (a campaign, one generated run, a saved script, or printing
// a script), which program, and how runs are judged and failures shrunk.

namespace keyscript {

struct campaign_scripts {
  std::uint32_t seed;
  std::uint32_t runs;
  std::int32_t max_keys;
  script_kinds kinds;
};

struct single_script {
  campaign_run run;
};

struct saved_script {
  const char* path;
};

struct printed_script {
  campaign_run run;
};

// The cost check (check/cost.h), in every order or in the one named.
struct cost_ladder {
  std::uint32_t seed;
  std::optional<cost_order> only;
};

struct session_plan {
  std::variant<campaign_scripts, single_script, saved_script, printed_script, cost_ladder> scripts;
  process_command program;
  semantics kind = semantics::set;
  std::optional<double> timeout_s;          // none: the default limits
  std::optional<double> idle_timeout_s;     // none: the default
  std::optional<double> candidate_floor_s;  // none: the default
  bool shrink = true;
  bool persistent = false;  // one process for many scripts
  unsigned jobs = 1;
  double shrink_time_s = DEFAULT_SHRINK_TIME_S;
  const char* output_path = DEFAULT_OUTPUT;
  const char* store = DEFAULT_STORE;  // where failures are kept; null for none
  // keyscript-check as a command to run it again names it: as it was
  // invoked when that was a path, since a bare name may not be on PATH.
  std::string checker = "keyscript-check";
};

// `clock_seed` stands in where no --seed was given; `invoked` is argv[0].
session_plan plan_session(const check_options& options, std::uint32_t clock_seed, const char* invoked);

}  // namespace keyscript
