#include "check/run_check.h"

namespace keyscript {

namespace {

// The end of the program's standard error, for the report: where a crash
// says why.
constexpr std::size_t ERRORS_KEPT = 2048;

}  // namespace

sink_answer checking_sink::take(std::string_view bytes) {
  if (!checker_.take(bytes)) return sink_answer::stop;
  return checker_.ended() ? sink_answer::pause : sink_answer::more;
}

sink_answer errors_sink::take(std::string_view bytes) {
  kept_.append(bytes.substr(bytes.size() - std::min(bytes.size(), ERRORS_KEPT)));
  if (kept_.size() > 2 * ERRORS_KEPT) {
    kept_.erase(0, kept_.size() - ERRORS_KEPT);
  }
  return sink_answer::more;
}

process_limits limits_of(const run_settings& settings) {
  process_limits limits;
  limits.timeout_ms = settings.limits.whole_ms;
  limits.idle_ms = settings.limits.idle_ms;
  limits.cancel = settings.cancel;
  return limits;
}

const char* kind_name(failure_kind kind) {
  switch (kind) {
    case failure_kind::listing:
      return "listing";
    case failure_kind::signal:
      return "signal";
    case failure_kind::status:
      return "status";
    case failure_kind::timeout:
      return "timeout";
    case failure_kind::state:
      return "state";
  }
  return "none";
}

const char* outcome_name(const run_verdict& verdict) {
  const run_failed* failed = failure_of(verdict);
  return failed != nullptr ? kind_name(failed->kind) : "none";
}

bool same_failure(const run_verdict& a, const run_verdict& b) {
  const run_failed* first = failure_of(a);
  const run_failed* second = failure_of(b);
  return first != nullptr && second != nullptr && first->kind == second->kind &&
         (first->kind != failure_kind::signal || first->signal == second->signal);
}

namespace {

using outcome = decltype(run_verdict::outcome);

outcome failed(failure_kind kind, const process_result& result, const listing_checker& checker, std::string errors) {
  return run_failed{kind,
                    result.status,
                    result.signal,
                    checker.verdict(),
                    std::move(errors),
                    result.ending == process_ending::stalled,
                    0};
}

outcome judged(const process_result& result, listing_checker& checker, std::string errors) {
  if (result.ending == process_ending::not_started) {
    return run_not_started{result.start_error};
  }
  if (result.ending == process_ending::exited) {
    checker.finish();
  }
  if (checker.refused_line() != 0) {
    return run_refused{checker.refused_line(), checker.refusal()};
  }
  const listing_verdict& listing = checker.verdict();
  switch (result.ending) {
    case process_ending::timed_out:
    case process_ending::stalled:
      return failed(failure_kind::timeout, result, checker, std::move(errors));
    case process_ending::signaled:
      return failed(failure_kind::signal, result, checker, std::move(errors));
    case process_ending::stopped:
    case process_ending::paused:
      // Stopped because its output could not match any more; or cancelled,
      // and then nothing is claimed.
      if (listing.failed) {
        return failed(failure_kind::listing, result, checker, std::move(errors));
      }
      break;
    case process_ending::exited:
      // A program that exits with an error before its listing is complete
      // has crashed: its status, not the listing it cut short, is the news.
      if (result.status != 0 && (!listing.failed || listing.output_ended)) {
        return failed(failure_kind::status, result, checker, std::move(errors));
      }
      if (listing.failed) {
        return failed(failure_kind::listing, result, checker, std::move(errors));
      }
      break;
    case process_ending::not_started:
      break;
  }
  return run_passed{};
}

}  // namespace

run_verdict verdict_of(const process_result& result, listing_checker& checker, std::string errors) {
  return {judged(result, checker, std::move(errors)), result.elapsed_ms, result.cpu_us, result.outlived,
          result.first_outlived};
}

run_verdict check_run(const process_command& program, line_source& feed, line_source& expected,
                      const run_settings& settings) {
  listing_checker checker(expected, settings.kind, settings.end_line);
  checking_sink out(checker);
  std::string errors;
  errors_sink err(errors);
  const process_result result = run_process(program, &feed, out, err, limits_of(settings));
  return verdict_of(result, checker, std::move(errors));
}

}  // namespace keyscript
