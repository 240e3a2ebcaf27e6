#include "check/session.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "check/cost_check.h"
#include "check/failure_store.h"
#include "check/ordered_runs.h"
#include "check/report.h"
#include "check/run_check.h"
#include "check/runner.h"
#include "check/script_file.h"
#include "check/shrinking.h"
#include "io/file_output.h"
#include "io/quote.h"
#include "script/limits.h"
#include "shrink/candidate.h"
#include "wide/wide_source.h"

namespace keyscript {

namespace {

// Longer failures are not kept: a kept failure runs first in every campaign.
constexpr std::size_t MOST_LINES_KEPT = 100000;

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

// A listing's failure shows at its checkpoint: what follows cannot matter.
script cut_where_it_failed(script failing, const run_failed& failure) {
  return failure.kind == failure_kind::listing ? cut_after_checkpoint(std::move(failing), failure.listing.checkpoint)
                                               : failing;
}

// The lines a run's time limit allows for: keyscript's listings are about as
// long as its script; a wide script's may be many times longer.
std::uint64_t lines_to_allow_for(const campaign_run& run) {
  return run.shape ? static_cast<std::uint64_t>(most_lines_with_listings(run.num_keys))
                   : 2 * static_cast<std::uint64_t>(run.num_keys);
}

int print_script(const campaign_run& run, output_writer& out) {
  const std::unique_ptr<line_source> source = script_of(run);
  for (line_span part = source->next(); part.size != 0 && out.error() == 0; part = source->next()) {
    out.write({part.data, part.size});
  }
  return CHECK_PASSED;
}

class session {
 public:
  session(const session_plan& plan, message_stream& messages, output_writer& out, const std::atomic<bool>& interrupted)
      : plan_(plan), messages_(messages), out_(out), interrupted_(interrupted) {
    if (plan.store != nullptr) {
      store_.emplace(plan.store, identify_program(plan.program.argv, plan.kind));
    }
    for (unsigned worker = 0; worker < std::max(1U, plan.jobs); ++worker) {
      runners_.emplace_back(plan.program, plan.persistent);
    }
  }

  int carry_out(const campaign_scripts& scripts);
  int carry_out(const single_script& scripts);
  int carry_out(const saved_script& scripts);
  static int carry_out(const printed_script& /*scripts*/) { return CHECK_TROUBLE; }  // printed without a session
  int carry_out(const cost_ladder& ladder) {
    return check_cost(ladder, plan_, {pace_, startup_cpu_us_}, messages_, out_, interrupted_);
  }
  void measure_startup();
  void warn_not_persistent();

 private:
  // A run's verdict: pass (nullopt), or the status the whole session ends with.
  std::optional<int> judge(const run_verdict& verdict, const failure_origin& origin, const run_limits& limits,
                           std::uint64_t lines, const saved_file* file);
  run_verdict run_generated(const campaign_run& planned, const run_limits& limits, std::size_t worker,
                            const std::atomic<bool>& cancel);
  int fail(const run_failed& failure, const run_verdict& verdict, const failure_origin& origin,
           const run_limits& limits, std::uint64_t lines, const saved_file* file);
  std::optional<script> failing_script(const failure_origin& origin, const saved_file* file);
  std::optional<int> check_saved(const char* path);
  std::optional<int> replay_kept();
  void keep(const script& value);
  void warn_outlived(const run_verdict& verdict);
  failure_origin origin_of(std::uint32_t run, std::uint32_t runs, std::optional<std::uint32_t> campaign_seed,
                           const campaign_run& script, const char* path) const {
    return {run, runs, campaign_seed, script, path, plan_.kind, plan_.timeout_s.value_or(0), plan_.checker};
  }
  reduced_file write_reduced(const script& value);

  const session_plan& plan_;
  message_stream& messages_;
  output_writer& out_;
  const std::atomic<bool>& interrupted_;
  const given_limits given_{plan_.timeout_s, plan_.idle_timeout_s, plan_.candidate_floor_s};
  program_pace pace_;
  std::int64_t startup_cpu_us_ = 0;  // the CPU time of the run on "q" alone
  std::optional<failure_store> store_;
  std::vector<program_runner> runners_;  // one a job
  bool replaying_kept_ = false;
  bool warned_outlived_ = false;
};

// How long the program takes to start: a run on the script "q" alone, which
// a correct program answers by listing nothing. One that fails it is left
// for the runs to find; its start-up counts as nothing.
void session::measure_startup() {
  const script quit_alone{{QUIT_ITEM}};
  const run_settings settings{plan_.kind, campaign_run_limits(pace_, 1, given_), &interrupted_};
  const run_verdict verdict = check_script(plan_.program, quit_alone, settings);
  if (std::holds_alternative<run_passed>(verdict.outcome)) {
    pace_.set_startup(verdict.elapsed_ms);
    startup_cpu_us_ = verdict.cpu_us;
  }
}

std::optional<int> session::judge(const run_verdict& verdict, const failure_origin& origin, const run_limits& limits,
                                  std::uint64_t lines, const saved_file* file) {
  if (report_trouble(messages_, verdict, plan_.program)) {
    return CHECK_TROUBLE;
  }
  warn_outlived(verdict);
  const run_failed* failure = failure_of(verdict);
  if (failure == nullptr) {
    if (interrupted_.load()) {
      complain(messages_, "interrupted\n");
      return CHECK_TROUBLE;
    }
    pace_.note_finished(lines, verdict.elapsed_ms);
    return std::nullopt;
  }
  return fail(*failure, verdict, origin, limits, lines, file);
}

// The script that failed, as a value.
std::optional<script> session::failing_script(const failure_origin& origin, const saved_file* file) {
  std::optional<script> failing = file != nullptr ? value_of_saved_file(*file) : generated_script(origin.script);
  if (!failing) {
    complain(messages_, "%s: cannot be read again as it was\n", quote(file->path).text);
  }
  return failing;
}

int session::carry_out(const campaign_scripts& scripts) {
  if (const std::optional<int> status = replay_kept()) {
    return *status;
  }
  const auto planned = [&](std::size_t index) {
    return plan_run(scripts.seed, scripts.runs, scripts.max_keys, static_cast<std::uint32_t>(index), scripts.kinds);
  };
  // A run's limits depend on the start-up alone, never on the runs beside
  // it: the same runs pass and fail whatever the number of jobs.
  const auto limits = [&](std::size_t index) {
    return campaign_run_limits(pace_, lines_to_allow_for(planned(index)), given_);
  };
  const auto judged = [&](std::size_t index, const run_verdict& verdict) {
    const campaign_run run = planned(index);
    return judge(verdict, origin_of(static_cast<std::uint32_t>(index) + 1, scripts.runs, scripts.seed, run, nullptr),
                 limits(index), lines_to_allow_for(run), nullptr);
  };
  std::optional<int> status;
  // A failure is judged (and shrunk) once the runs beside it have ended:
  // shrinking takes their runners, and the processors.
  std::optional<std::pair<std::size_t, run_verdict>> failed;
  run_in_order(
      scripts.runs, plan_.jobs,
      [&](std::size_t index, std::size_t worker, const std::atomic<bool>& cancel) {
        return run_generated(planned(index), limits(index), worker, cancel);
      },
      [&](std::size_t index, const run_verdict& verdict) {
        if (failure_of(verdict) != nullptr) {
          failed.emplace(index, verdict);
          return false;
        }
        status = judged(index, verdict);
        return !status;
      },
      interrupted_);
  if (failed) {
    status = judged(failed->first, failed->second);
  }
  if (status) {
    return *status;
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=%" PRIu32 " seed=%" PRIu32 " max_keys=%" PRId32 " scripts=%s\n",
                scripts.runs, scripts.seed, scripts.max_keys, kinds_name(scripts.kinds).data());
  out_.write(line);
  return CHECK_PASSED;
}

int session::carry_out(const single_script& scripts) {
  const campaign_run& planned = scripts.run;
  const std::uint64_t lines = lines_to_allow_for(planned);
  const run_limits limits = single_run_limits(pace_, lines, given_);
  const run_verdict verdict = run_generated(planned, limits, 0, interrupted_);
  if (const std::optional<int> status =
          judge(verdict, origin_of(1, 1, std::nullopt, planned, nullptr), limits, lines, nullptr)) {
    return *status;
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=1 shape=%s seed=%" PRIu32 " num_keys=%" PRId32 "\n",
                shape_text(planned).data(), planned.seed, planned.num_keys);
  out_.write(line);
  return CHECK_PASSED;
}

run_verdict session::run_generated(const campaign_run& planned, const run_limits& limits, std::size_t worker,
                                   const std::atomic<bool>& cancel) {
  return runners_[worker].run([&planned] { return script_of(planned); }, {plan_.kind, limits, &cancel});
}

std::optional<int> session::check_saved(const char* path) {
  const std::optional<saved_file> file = check_saved_file(path, messages_);
  if (!file) {
    return CHECK_TROUBLE;
  }
  if (open_saved_file(*file) == nullptr) {
    complain(messages_, "%s: %s\n", quote(path).text, std::strerror(errno));
    return CHECK_TROUBLE;
  }
  // A saved script's listings are about as long as the script.
  const std::uint64_t lines = 2 * file->lines;
  const run_limits limits = single_run_limits(pace_, lines, given_);
  const run_settings settings{plan_.kind, limits, &interrupted_};
  const run_verdict verdict = runners_[0].run([&file] { return open_saved_file(*file); }, settings);
  return judge(verdict, origin_of(1, 1, std::nullopt, {}, path), limits, lines, &*file);
}

int session::carry_out(const saved_script& scripts) {
  if (const std::optional<int> status = check_saved(scripts.path)) {
    return *status;
  }
  out_.write("result=pass runs=1 script=" + shell_word(scripts.path) + "\n");
  return CHECK_PASSED;
}

// The failures kept from earlier campaigns run first, reported apart from
// the campaign's own runs, which are the same with them or without.
std::optional<int> session::replay_kept() {
  const std::vector<std::string> kept = store_ ? store_->kept() : std::vector<std::string>();
  if (kept.empty()) {
    return std::nullopt;
  }
  say(messages_, "keyscript-check: %zu failure%s kept from earlier campaigns of this program (in %s) run first\n",
      kept.size(), kept.size() == 1 ? "" : "s", shell_word(store_->folder()).c_str());
  replaying_kept_ = true;
  for (const std::string& path : kept) {
    if (const std::optional<int> status = check_saved(path.c_str())) {
      return status;
    }
    say(messages_, "keyscript-check: the kept failure %s passes now: fixed, and dropped\n", shell_word(path).c_str());
    failure_store::drop(path);
  }
  replaying_kept_ = false;
  return std::nullopt;
}

int session::fail(const run_failed& failure, const run_verdict& verdict, const failure_origin& origin,
                  const run_limits& limits, std::uint64_t lines, const saved_file* file) {
  report_failure(messages_, failure, verdict.elapsed_ms, origin, plan_.program);
  if (failure.kind == failure_kind::timeout) {
    report_pace(messages_, pace_, lines);
  }
  std::optional<script> failing = failing_script(origin, file);
  if (!failing) {
    return CHECK_TROUBLE;
  }
  const std::size_t failing_lines = failing->items.size();
  if (failure.kind == failure_kind::state) {
    // Alone, the script passes: there is nothing to shrink, write or keep.
    const shrink_outcome as_found{std::move(*failing), verdict, 0, false, 0};
    out_.write(result_line(failure, origin, failing_lines, as_found, {plan_.output_path, false, false}, {}));
    return CHECK_FAILED;
  }
  shrink_outcome outcome{cut_where_it_failed(std::move(*failing), failure), verdict, 0, false, 0};
  const run_limits candidate_limit = candidate_limits(pace_, lines, limits, given_);
  if (plan_.shrink) {
    const shrink_plan shrinking{plan_.kind, candidate_limit, limits, plan_.jobs, plan_.shrink_time_s, runners_};
    outcome =
        shrink_with_progress(plan_.program, std::move(outcome.value), verdict, shrinking, interrupted_, messages_);
  }
  if (!outcome.confirmed) {
    // A script that does not fail again is no result: the one that failed is
    // kept, and the report says so.
    report_unconfirmed(messages_, outcome, verdict);
    outcome.value = cut_where_it_failed(std::move(*failing_script(origin, file)), failure);
    outcome.verdict = verdict;
  }
  std::optional<fault_place> fault;
  if (plan_.shrink && outcome.confirmed && failure.kind == failure_kind::listing && !interrupted_.load()) {
    fault = find_fault(plan_.program, outcome.value, {plan_.kind, candidate_limit, &interrupted_});
  }
  const reduced_file written = write_reduced(outcome.value);
  report_reduced(messages_, outcome, failing_lines, written, fault);
  keep(outcome.value);
  out_.write(result_line(failure, origin, failing_lines, outcome, written, fault));
  return CHECK_FAILED;
}

// --persistent was asked of a program that answers one script and stops,
// or never writes the line that ends a script's output: it was run a script
// a process, which costs its start-up each time.
void session::warn_not_persistent() {
  const bool fell_back =
      std::any_of(runners_.begin(), runners_.end(), [](const program_runner& runner) { return runner.fell_back(); });
  if (fell_back) {
    say(messages_,
        "warning: under --persistent, %s did not go on to the next script (a line q after the listing of each "
        "script's q, then the next script): each script had a process of its own\n",
        shell_word(plan_.program.argv[0]).c_str());
  }
}

// A program that leaves processes running when it exits is told once: they
// are killed with each run, and would otherwise pile up.
void session::warn_outlived(const run_verdict& verdict) {
  if (verdict.outlived == 0 || warned_outlived_) {
    return;
  }
  warned_outlived_ = true;
  say(messages_,
      "warning: %s left %d process%s running when it exited (the first: %s); each run's are killed when it ends\n",
      shell_word(plan_.program.argv[0]).c_str(), verdict.outlived, verdict.outlived == 1 ? "" : "es",
      shell_word(verdict.first_outlived).c_str());
}

// Keeps a failure for the next campaign of the same program, unless it is
// one kept already or too long to be worth running first every time.
void session::keep(const script& value) {
  if (!store_ || replaying_kept_ || value.items.size() > MOST_LINES_KEPT) {
    return;
  }
  std::string path;
  const file_written kept = store_->keep(value, path);
  if (kept.error != 0) {
    say(messages_, "warning: the failure could not be kept in %s: %s\n", shell_word(store_->folder()).c_str(),
        std::strerror(kept.error));
  } else {
    say(messages_, "kept for the next campaign of this program: %s\n", shell_word(path).c_str());
  }
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

}  // namespace

int run_session(const session_plan& plan, message_stream& messages, output_writer& out,
                const std::atomic<bool>& interrupted) {
  if (const auto* printed = std::get_if<printed_script>(&plan.scripts)) {
    return print_script(printed->run, out);
  }
  // Where a failure's script will go is checked first, without touching
  // what is there: finding out after a long campaign would be too late.
  if (const int error = check_writable(plan.output_path)) {
    complain(messages, "%s: %s\n", quote(plan.output_path).text, std::strerror(error));
    return CHECK_TROUBLE;
  }
  session carried(plan, messages, out, interrupted);
  carried.measure_startup();
  const int status = std::visit([&](const auto& scripts) { return carried.carry_out(scripts); }, plan.scripts);
  carried.warn_not_persistent();
  return status;
}

}  // namespace keyscript
