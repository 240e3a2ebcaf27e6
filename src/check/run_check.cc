#include "check/run_check.h"

namespace keyscript {

namespace {

// The start of the program's standard error, for the report.
constexpr std::size_t ERRORS_KEPT = 2048;

class checking final : public output_sink {
 public:
  explicit checking(listing_checker& checker) : checker_(checker) {}
  sink_answer take(std::string_view bytes) override {
    return checker_.take(bytes) ? sink_answer::more : sink_answer::stop;
  }

 private:
  listing_checker& checker_;
};

class keeping final : public output_sink {
 public:
  explicit keeping(std::string& kept) : kept_(kept) {}
  sink_answer take(std::string_view bytes) override {
    kept_.append(bytes.substr(0, ERRORS_KEPT - std::min(ERRORS_KEPT, kept_.size())));
    return sink_answer::more;
  }

 private:
  std::string& kept_;
};

}  // namespace

const char* kind_name(failure_kind kind) {
  switch (kind) {
    case failure_kind::none:
      return "none";
    case failure_kind::listing:
      return "listing";
    case failure_kind::signal:
      return "signal";
    case failure_kind::status:
      return "status";
    case failure_kind::timeout:
      return "timeout";
  }
  return "none";
}

bool same_failure(const run_verdict& a, const run_verdict& b) {
  return a.kind == b.kind && (a.kind != failure_kind::signal || a.signal == b.signal);
}

run_verdict check_run(const process_command& program, line_source& feed, line_source& expected,
                      const run_settings& settings) {
  listing_checker checker(expected, settings.kind);
  checking out(checker);
  run_verdict verdict;
  keeping err(verdict.errors);
  process_limits limits;
  limits.timeout_ms = settings.timeout_ms;
  limits.cancel = settings.cancel;
  limits.idle_ms = settings.idle_ms;
  const process_result result = run_process(program, &feed, out, err, limits);
  verdict.elapsed_ms = result.elapsed_ms;
  verdict.cpu_us = result.cpu_us;
  verdict.outlived = result.outlived;
  verdict.first_outlived = result.first_outlived;
  verdict.status = result.status;
  verdict.signal = result.signal;
  switch (result.ending) {
    case process_ending::not_started:
      verdict.not_started = true;
      verdict.start_error = result.start_error;
      return verdict;
    case process_ending::stopped:
    case process_ending::paused:  // no sink here pauses
      // Stopped because its output could not match any more (or cancelled:
      // then nothing is claimed).
      verdict.kind = checker.verdict().failed ? failure_kind::listing : failure_kind::none;
      break;
    case process_ending::timed_out:
    case process_ending::stalled:
      verdict.kind = failure_kind::timeout;
      break;
    case process_ending::signaled:
      verdict.kind = failure_kind::signal;
      break;
    case process_ending::exited:
      checker.finish();
      verdict.kind = checker.verdict().failed ? failure_kind::listing
                     : result.status != 0     ? failure_kind::status
                                              : failure_kind::none;
      break;
  }
  verdict.listing = checker.verdict();
  verdict.refused_line = checker.refused_line();
  verdict.refusal = checker.refusal();
  return verdict;
}

}  // namespace keyscript
