#include "check/plan.h"

#include "io/quote.h"

namespace keyscript {

namespace {

decltype(session_plan::scripts) scripts_of(const check_options& options, std::uint32_t seed) {
  if (options.cost) {
    return cost_ladder{seed, options.cost_shape};
  }
  if (options.print_script) {
    return printed_script{{seed, *options.num_keys, options.shape}};
  }
  if (options.script_path != nullptr) {
    return saved_script{options.script_path};
  }
  if (options.num_keys) {
    return single_script{{seed, *options.num_keys, options.shape}};
  }
  return campaign_scripts{seed, options.runs, options.max_keys, options.kinds};
}

}  // namespace

session_plan plan_session(const check_options& options, std::uint32_t clock_seed, const char* invoked) {
  session_plan plan;
  if (std::string_view(invoked).find('/') != std::string_view::npos) {
    plan.checker = shell_word(invoked);
  }
  plan.scripts = scripts_of(options, options.seed.value_or(clock_seed));
  plan.program.argv = options.program;
  plan.kind = options.kind;
  plan.timeout_s = options.timeout_s;
  plan.idle_timeout_s = options.idle_timeout_s;
  plan.candidate_floor_s = options.candidate_floor_s;
  plan.shrink = options.shrink;
  plan.persistent = options.persistent;
  plan.jobs = options.jobs;
  plan.shrink_time_s = options.shrink_time_s;
  plan.output_path = options.output_path;
  plan.store = options.store;
  return plan;
}

}  // namespace keyscript
