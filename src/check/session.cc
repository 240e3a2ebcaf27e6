#include "check/session.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "check/report.h"
#include "check/run_check.h"
#include "check/script_file.h"
#include "check/shrinking.h"
#include "io/file_output.h"
#include "io/quote.h"
#include "script/limits.h"
#include "shrink/candidate.h"
#include "wide/wide_source.h"

namespace keyscript {

namespace {

// A run's time limit, unless given: 10 s, a hundred times what a campaign's
// largest script takes through a Python program here, plus 1 s for every
// million lines of the script, so that a script of 10^8 lines is not
// mistaken for a hang of a program that takes a microsecond a line.
constexpr double DEFAULT_TIMEOUT_S = 10;
constexpr double TIMEOUT_S_PER_MILLION_LINES = 1;
// A candidate gets ten times the longest finished run, and at least half a
// second: a hang costs that, not the whole time limit, each time.
constexpr std::int64_t CANDIDATE_FLOOR_MS = 500;
constexpr std::int64_t CANDIDATE_FACTOR = 10;

// A generated script as a value: 4 bytes a line.
script generated_script(const campaign_run& run) {
  const std::unique_ptr<line_source> source = script_of(run);
  script_builder builder;
  // A wide script is about as long as keyscript's of the same size.
  builder.reserve(static_cast<std::size_t>(most_keyscript_lines(run.num_keys)));
  for (line_span part = source->next(); part.size != 0 && !builder.done(); part = source->next()) {
    builder.add({part.data, part.size});
  }
  return builder.take();
}

// The lines a run's time limit allows for: keyscript's listings are about as
// long as its script; a wide script's may be many times longer.
std::uint64_t lines_to_allow_for(const campaign_run& run) {
  return run.shape ? static_cast<std::uint64_t>(most_lines_with_listings(run.num_keys))
                   : 2 * static_cast<std::uint64_t>(run.num_keys);
}

class session {
 public:
  session(const session_plan& plan, message_stream& messages, output_writer& out, const std::atomic<bool>& interrupted)
      : plan_(plan), messages_(messages), out_(out), interrupted_(interrupted) {}

  int carry_out(const campaign_scripts& scripts);
  int carry_out(const single_script& scripts);
  int carry_out(const saved_script& scripts);
  int carry_out(const printed_script& scripts);

 private:
  // A run's verdict: pass (nullopt), or the status the whole session ends with.
  std::optional<int> judge(const run_verdict& verdict, const failure_origin& origin, const saved_file* file);
  std::optional<int> check_generated(const campaign_run& planned, const failure_origin& origin);
  int fail(const run_failed& failure, const run_verdict& verdict, const failure_origin& origin, script failing);
  std::int64_t timeout_ms(std::uint64_t lines) const;
  failure_origin origin_of(std::uint32_t run, std::uint32_t runs, std::optional<std::uint32_t> campaign_seed,
                           const campaign_run& script, const char* path) const {
    return {run, runs, campaign_seed, script, path, plan_.kind, plan_.timeout_s.value_or(0), plan_.checker};
  }
  reduced_file write_reduced(const script& value);

  const session_plan& plan_;
  message_stream& messages_;
  output_writer& out_;
  const std::atomic<bool>& interrupted_;
  std::int64_t longest_finished_ms_ = 0;
};

std::int64_t session::timeout_ms(std::uint64_t lines) const {
  const double limit = plan_.timeout_s
                           ? *plan_.timeout_s
                           : DEFAULT_TIMEOUT_S + TIMEOUT_S_PER_MILLION_LINES * static_cast<double>(lines) / 1e6;
  return static_cast<std::int64_t>(limit * 1000);
}

std::optional<int> session::judge(const run_verdict& verdict, const failure_origin& origin, const saved_file* file) {
  if (const auto* not_started = std::get_if<run_not_started>(&verdict.outcome)) {
    complain(messages_, "cannot run %s: %s\n", quote(plan_.program.argv[0]).text, std::strerror(not_started->error));
    return CHECK_TROUBLE;
  }
  if (const auto* refused = std::get_if<run_refused>(&verdict.outcome)) {
    complain(messages_, "line %" PRIu64 ": %s\n", refused->line, refused->why.c_str());
    return CHECK_TROUBLE;
  }
  const run_failed* failure = failure_of(verdict);
  if (failure == nullptr) {
    if (interrupted_.load()) {
      complain(messages_, "interrupted\n");
      return CHECK_TROUBLE;
    }
    longest_finished_ms_ = std::max(longest_finished_ms_, verdict.elapsed_ms);
    return std::nullopt;
  }
  if (failure->kind != failure_kind::timeout) {
    longest_finished_ms_ = std::max(longest_finished_ms_, verdict.elapsed_ms);
  }
  std::optional<script> failing = file != nullptr ? value_of_saved_file(*file) : generated_script(origin.script);
  if (!failing) {
    complain(messages_, "%s: cannot be read again as it was\n", quote(file->path).text);
    return CHECK_TROUBLE;
  }
  return fail(*failure, verdict, origin, std::move(*failing));
}

int session::carry_out(const campaign_scripts& scripts) {
  for (std::uint32_t index = 0; index < scripts.runs; ++index) {
    const campaign_run planned = plan_run(scripts.seed, scripts.runs, scripts.max_keys, index, scripts.kinds);
    if (const std::optional<int> status =
            check_generated(planned, origin_of(index + 1, scripts.runs, scripts.seed, planned, nullptr))) {
      return *status;
    }
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=%" PRIu32 " seed=%" PRIu32 " max_keys=%" PRId32 " scripts=%s\n",
                scripts.runs, scripts.seed, scripts.max_keys, kinds_name(scripts.kinds).data());
  out_.write(line);
  return CHECK_PASSED;
}

int session::carry_out(const single_script& scripts) {
  const campaign_run& planned = scripts.run;
  if (const std::optional<int> status = check_generated(planned, origin_of(1, 1, std::nullopt, planned, nullptr))) {
    return *status;
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=1 shape=%s seed=%" PRIu32 " num_keys=%" PRId32 "\n",
                shape_text(planned).data(), planned.seed, planned.num_keys);
  out_.write(line);
  return CHECK_PASSED;
}

std::optional<int> session::check_generated(const campaign_run& planned, const failure_origin& origin) {
  const std::unique_ptr<line_source> feed = script_of(planned);
  const std::unique_ptr<line_source> expected = script_of(planned);
  const run_settings settings{plan_.kind, timeout_ms(lines_to_allow_for(planned)), &interrupted_};
  return judge(check_run(plan_.program, *feed, *expected, settings), origin, nullptr);
}

int session::carry_out(const saved_script& scripts) {
  const std::optional<saved_file> file = check_saved_file(scripts.path, messages_);
  if (!file) {
    return CHECK_TROUBLE;
  }
  const std::unique_ptr<line_source> feed = open_saved_file(*file);
  const std::unique_ptr<line_source> expected = open_saved_file(*file);
  if (feed == nullptr || expected == nullptr) {
    complain(messages_, "%s: %s\n", quote(scripts.path).text, std::strerror(errno));
    return CHECK_TROUBLE;
  }
  const run_settings settings{plan_.kind, timeout_ms(file->lines), &interrupted_};
  const run_verdict verdict = check_run(plan_.program, *feed, *expected, settings);
  if (const std::optional<int> status = judge(verdict, origin_of(1, 1, std::nullopt, {}, scripts.path), &*file)) {
    return *status;
  }
  out_.write("result=pass runs=1 script=");
  out_.write(quote(scripts.path).text);
  out_.write("\n");
  return CHECK_PASSED;
}

int session::fail(const run_failed& failure, const run_verdict& verdict, const failure_origin& origin, script failing) {
  report_failure(messages_, failure, verdict.elapsed_ms, origin, plan_.program);
  const std::size_t lines = failing.items.size();
  // A listing is cut after the checkpoint that failed before it shrinks.
  if (failure.kind == failure_kind::listing) {
    failing = cut_after_checkpoint(std::move(failing), failure.listing.checkpoint);
  }
  shrink_outcome outcome{std::move(failing), verdict, 0, false, 0};
  if (plan_.shrink) {
    const std::int64_t limit =
        std::min(timeout_ms(lines), std::max(CANDIDATE_FLOOR_MS, CANDIDATE_FACTOR * longest_finished_ms_));
    outcome = shrink_with_progress(plan_.program, std::move(outcome.value), verdict,
                                   {plan_.kind, limit, plan_.jobs, plan_.shrink_time_s}, interrupted_, messages_);
  }
  const reduced_file file = write_reduced(outcome.value);
  report_reduced(messages_, outcome, lines, file);
  out_.write(result_line(failure, origin, lines, outcome, file));
  return CHECK_FAILED;
}

// A file that cannot be written loses nothing: the report then shows the
// whole script.
reduced_file session::write_reduced(const script& value) {
  const file_written written = write_file(plan_.output_path, [&](output_writer& file) {
    candidate_source source(without_items(value, 0, 0));
    for (line_span part = source.next(); part.size != 0; part = source.next()) {
      file.write({part.data, part.size});
    }
  });
  if (written.error != 0) {
    complain(messages_, "%s: %s\n", quote(plan_.output_path).text, std::strerror(written.error));
  }
  return {plan_.output_path, written.error == 0, written.replaced};
}

int session::carry_out(const printed_script& scripts) {
  const std::unique_ptr<line_source> source = script_of(scripts.run);
  for (line_span part = source->next(); part.size != 0 && out_.error() == 0; part = source->next()) {
    out_.write({part.data, part.size});
  }
  return CHECK_PASSED;
}

}  // namespace

int run_session(const session_plan& plan, message_stream& messages, output_writer& out,
                const std::atomic<bool>& interrupted) {
  // Where a failure's script will go is checked first, without touching
  // what is there: finding out after a long campaign would be too late.
  if (!std::holds_alternative<printed_script>(plan.scripts)) {
    if (const int error = check_writable(plan.output_path)) {
      complain(messages, "%s: %s\n", quote(plan.output_path).text, std::strerror(error));
      return CHECK_TROUBLE;
    }
  }
  session carried(plan, messages, out, interrupted);
  return std::visit([&](const auto& scripts) { return carried.carry_out(scripts); }, plan.scripts);
}

}  // namespace keyscript
