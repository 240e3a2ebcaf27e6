#include "check/cost_check.h"

#include <vector>

#include "check/cost.h"
#include "check/cost_report.h"
#include "check/report.h"
#include "check/run_check.h"

namespace keyscript {

namespace {

// A run's verdict: pass (none), or the status the check ends with.
std::optional<int> judge(const run_verdict& verdict, const cost_script& script, const cost_setting& setting,
                         const session_plan& plan, message_stream& messages, output_writer& out,
                         const std::atomic<bool>& interrupted) {
  if (report_trouble(messages, verdict, plan.program)) {
    return CHECK_TROUBLE;
  }
  if (const run_failed* failure = failure_of(verdict)) {
    report_cost_run_failed(messages, *failure, verdict, script, setting, plan.program);
    out.write(cost_run_failed_line(*failure, script));
    return CHECK_FAILED;
  }
  if (interrupted.load()) {
    complain(messages, "interrupted\n");
    return CHECK_TROUBLE;
  }
  return std::nullopt;
}

}  // namespace

int check_cost(const cost_ladder& ladder, const session_plan& plan, const measured_startup& startup,
               message_stream& messages, output_writer& out, const std::atomic<bool>& interrupted) {
  const cost_setting setting{ladder.seed, ladder.only, startup.cpu_us, plan.kind, plan.timeout_s.value_or(0),
                             plan.checker};
  const given_limits given{plan.timeout_s, plan.idle_timeout_s, plan.candidate_floor_s};
  std::optional<int> status;
  const cost_measure measure = [&](const cost_script& script) -> std::optional<std::int64_t> {
    const run_limits limits = campaign_run_limits(startup.pace, static_cast<std::uint64_t>(lines_of(script)), given);
    cost_source feed(script);
    cost_source expected(script);
    const run_verdict verdict = check_run(plan.program, feed, expected, {plan.kind, limits, &interrupted});
    status = judge(verdict, script, setting, plan, messages, out, interrupted);
    return status ? std::nullopt : std::optional<std::int64_t>(verdict.cpu_us);
  };
  const std::vector<cost_order> orders = ladder.only ? std::vector<cost_order>{*ladder.only}
                                                     : std::vector<cost_order>(COST_ORDERS.begin(), COST_ORDERS.end());
  const cost_outcome outcome = climb_ladder(orders, ladder.seed, startup.cpu_us, measure);
  if (status) {
    return *status;
  }
  report_cost(messages, outcome, setting, plan.program);
  out.write(cost_result_line(outcome, setting));
  return outcome.broken ? CHECK_FAILED : CHECK_PASSED;
}

}  // namespace keyscript
