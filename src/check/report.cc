#include "check/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "io/quote.h"

namespace keyscript {

namespace {

// A reduced script this short is shown in the report, line by line.
constexpr std::size_t SHOWN_SCRIPT_LINES = 40;
// The end of the program's standard error that the report quotes: where a
// traceback says what went wrong.
constexpr std::size_t ERROR_LINES_SHOWN = 4;
constexpr std::size_t ERROR_BYTES_SHOWN = 400;

std::string keys_text(const std::vector<std::int32_t>& keys, std::uint64_t count) {
  std::string text;
  for (const std::int32_t key : keys) {
    text += ' ';
    text += std::to_string(key);
  }
  if (count > keys.size()) {
    text += " ...";
  }
  return text;
}

std::string place_text(const listing_verdict& listing) {
  char text[96];
  std::snprintf(text, sizeof text, "checkpoint %" PRIu64 " (\"%c\", script line %" PRIu64 ")", listing.checkpoint,
                listing.command, listing.script_line);
  return text;
}

void report_counts(message_stream& messages, const listing_verdict& listing) {
  say(messages, "  %" PRIu64 " keys due, %" PRIu64 " listed; missing %" PRIu64 "%s; extra %" PRIu64 "%s\n",
      listing.expected_count, listing.seen_count, listing.missing_count,
      keys_text(listing.missing, listing.missing_count).c_str(), listing.extra_count,
      keys_text(listing.extra, listing.extra_count).c_str());
}

void report_listing(message_stream& messages, const listing_verdict& listing) {
  const std::string place = place_text(listing);
  if (listing.after_q) {
    // An empty last listing is complete before it starts: whatever follows
    // is an extra key of it or output after it, and the stream cannot tell.
    say(messages, "  %s, the last: its listing ends after %" PRIu64 " keys, and the program wrote more: %s\n",
        place.c_str(), listing.expected_count, listing.seen.c_str());
    return;
  }
  if (listing.ended_short) {
    const bool at_end = listing.output_ended;
    say(messages, "  %s: the listing ended after %" PRIu64 " of %" PRIu64 " keys, %s%s\n", place.c_str(),
        listing.listing_line - 1, listing.expected_count,
        at_end ? "where the program's output ended" : "before a line lower than the last key listed: ",
        at_end ? "" : listing.seen.c_str());
  } else {
    say(messages, "  %s: listing line %" PRIu64 " should be %s, the program wrote %s\n", place.c_str(),
        listing.listing_line, listing.expected.c_str(), listing.seen.c_str());
  }
  report_counts(messages, listing);
}

// The last lines of `errors`, at most ERROR_BYTES_SHOWN bytes of them.
std::vector<std::string_view> last_lines(std::string_view errors) {
  while (errors.ends_with('\n')) {
    errors.remove_suffix(1);
  }
  std::vector<std::string_view> lines;
  std::size_t bytes = 0;
  while (!errors.empty() && lines.size() < ERROR_LINES_SHOWN) {
    const std::size_t newline = errors.rfind('\n');
    const std::string_view line = newline == std::string_view::npos ? errors : errors.substr(newline + 1);
    if (!lines.empty() && bytes + line.size() > ERROR_BYTES_SHOWN) break;
    bytes += line.size();
    lines.insert(lines.begin(), line.substr(line.size() > ERROR_BYTES_SHOWN ? line.size() - ERROR_BYTES_SHOWN : 0));
    errors.remove_suffix(newline == std::string_view::npos ? errors.size() : errors.size() - newline);
  }
  return lines;
}

void report_errors(message_stream& messages, const std::string& errors) {
  const std::vector<std::string_view> lines = last_lines(errors);
  if (lines.empty()) {
    return;
  }
  say(messages, "  its standard error ended:\n");
  for (const std::string_view line : lines) {
    say(messages, "    %s\n", quote(line).text);
  }
}

void report_rerun(message_stream& messages, const failure_origin& origin, const process_command& program) {
  const campaign_run& script = origin.script;
  if (!script.shape) {
    say(messages, "  the script: KEYSCRIPT_SEED=%" PRIu32 " keyscript %" PRId32 "\n", script.seed, script.num_keys);
  }
  char options[160];
  char timeout[48] = "";
  if (origin.timeout_s > 0) {
    std::snprintf(timeout, sizeof timeout, " --timeout %g", origin.timeout_s);
  }
  std::snprintf(options, sizeof options, "%s%s --shape %s --seed %" PRIu32 " --num-keys %" PRId32,
                origin.kind == semantics::multiset ? " --multiset" : "", timeout, shape_text(script).data(),
                script.seed, script.num_keys);
  say(messages, "  this run again: %.*s%s -- %s\n", static_cast<int>(origin.checker.size()), origin.checker.data(),
      options, command_line_text(program).c_str());
}

void report_fault(message_stream& messages, const script& reduced, const fault_place& fault) {
  const line_range lines = fault.lines;
  char item_text[MAX_ITEM_TEXT + 1];
  std::string where;
  if (lines.first == lines.last) {
    const std::size_t length = write_item_text(reduced.items[lines.first - 1], item_text);
    where = "line " + std::to_string(lines.first) + ", \"" + std::string(item_text, length - 1) + "\"";
  } else {
    where = "the block of lines " + std::to_string(lines.first) + " to " + std::to_string(lines.last);
  }
  const listing_verdict& listing = fault.listing;
  const std::string due = keys_text(listing.expected_keys, listing.expected_count);
  const std::string listed = keys_text(listing.seen_keys, listing.seen_count);
  say(messages, "  went wrong at %s: a correct program then holds%s; the program listed%s\n", where.c_str(),
      due.empty() ? " nothing" : due.c_str(), listed.empty() ? " nothing" : listed.c_str());
}

}  // namespace

std::string command_line_text(const process_command& program) {
  std::string text;
  for (const std::string& word : program.argv) {
    if (!text.empty()) {
      text += ' ';
    }
    text += shell_word(word);
  }
  return text;
}

bool report_trouble(message_stream& messages, const run_verdict& verdict, const process_command& program) {
  if (const auto* not_started = std::get_if<run_not_started>(&verdict.outcome)) {
    complain(messages, "cannot run %s: %s\n", quote(program.argv[0]).text, std::strerror(not_started->error));
    return true;
  }
  if (const auto* refused = std::get_if<run_refused>(&verdict.outcome)) {
    complain(messages, "line %" PRIu64 ": %s\n", refused->line, refused->why.c_str());
    return true;
  }
  return false;
}

void report_failure(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms,
                    const failure_origin& origin, const process_command& program) {
  const std::string command = command_line_text(program);
  if (origin.path != nullptr) {
    complain(messages, "%s fails on %s: %s\n", command.c_str(), shell_word(origin.path).c_str(),
             kind_name(failure.kind));
  } else {
    char seed[48];
    std::snprintf(seed, sizeof seed, origin.campaign_seed ? "campaign seed %" PRIu32 : "seed %" PRIu32,
                  origin.campaign_seed.value_or(origin.script.seed));
    complain(messages, "%s fails on run %" PRIu32 " of %" PRIu32 " (%s): %s\n", command.c_str(), origin.run,
             origin.runs, seed, kind_name(failure.kind));
    report_rerun(messages, origin, program);
  }
  report_what_failed(messages, failure, elapsed_ms);
}

void report_what_failed(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms) {
  switch (failure.kind) {
    case failure_kind::state:
      say(messages,
          "  it fails after %" PRIu64
          " other scripts in the same process, and not in a process of its own: under --persistent it keeps "
          "state from one script to the next (its collection, or anything else it does not empty)\n",
          failure.scripts_before);
      break;
    case failure_kind::listing:
      report_listing(messages, failure.listing);
      if (failure.status != 0) {
        say(messages, "  and then it exited with status %d\n", failure.status);
      }
      break;
    case failure_kind::signal:
      say(messages, "  killed by %s after %" PRId64 " ms\n", signal_name(failure.signal).c_str(), elapsed_ms);
      break;
    case failure_kind::status:
      if (failure.listing.failed) {
        say(messages, "  exit status %d, which cut short the listing of %s after %" PRIu64 " of %" PRIu64 " keys\n",
            failure.status, place_text(failure.listing).c_str(), failure.listing.listing_line - 1,
            failure.listing.expected_count);
      } else {
        say(messages, "  exit status %d\n", failure.status);
      }
      break;
    case failure_kind::timeout:
      say(messages,
          failure.stalled ? "  no input taken and no output given for %" PRId64
                            " ms: everything it started was killed\n"
                          : "  not finished after %" PRId64 " ms: everything it started was killed\n",
          elapsed_ms);
      break;
  }
  report_errors(messages, failure.errors);
}

void report_pace(message_stream& messages, const program_pace& pace, std::uint64_t lines) {
  if (pace.largest_lines() == 0) {
    say(messages, "  no run had finished before it; --timeout SECONDS gives a run as long as it needs\n");
    return;
  }
  say(messages, "  the largest run that finished, of %" PRIu64 " lines with its listings, took %.1f s",
      pace.largest_lines(), static_cast<double>(pace.largest_ms()) / 1000);
  const std::int64_t enough = timeout_to_finish_s(pace, lines);
  if (enough > 0) {
    say(messages, "; at its pace, --timeout %" PRId64 " would let this one finish\n", enough);
  } else {
    say(messages, "\n");
  }
}

void report_unconfirmed(message_stream& messages, const shrink_outcome& outcome, const run_verdict& original) {
  say(messages,
      "warning: run again on the reduced script of %zu lines, with the failing run's limits, the program gave %s, "
      "not %s; the script kept is the one that failed\n",
      outcome.value.items.size(), outcome_name(outcome.verdict), outcome_name(original));
}

void report_reduced(message_stream& messages, const shrink_outcome& outcome, std::size_t lines,
                    const reduced_file& file, const std::optional<fault_place>& fault) {
  const std::size_t now = outcome.value.items.size();
  const std::string path = shell_word(file.path);
  char where[64];
  std::snprintf(where, sizeof where, " in %" PRIu64 " candidates (%.1f s%s)", outcome.candidates, outcome.seconds,
                outcome.stopped_early ? ", stopped early" : "");
  if (file.written) {
    say(messages, "reduced %zu lines to %zu%s; the script is in %s%s\n", lines, now, where, path.c_str(),
        file.replaced ? ", which replaces the file that was there" : "");
  } else {
    say(messages, "reduced %zu lines to %zu%s; %s could not be written, so here is the whole script:\n", lines, now,
        where, path.c_str());
  }
  if (now <= SHOWN_SCRIPT_LINES || !file.written) {
    std::string text = script_text(outcome.value);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      say(messages, "  | %s\n", text.substr(at, end - at).c_str());
      at = end + 1;
    }
  }
  const run_failed* failure = failure_of(outcome.verdict);
  if (now <= SHOWN_SCRIPT_LINES && failure != nullptr && failure->kind == failure_kind::listing) {
    const listing_verdict& listing = failure->listing;
    const std::string listed = keys_text(listing.seen_keys, listing.seen_count);
    const std::string due = keys_text(listing.expected_keys, listing.expected_count);
    say(messages, "  at checkpoint %" PRIu64 " the program listed:%s\n", listing.checkpoint,
        listed.empty() ? " (nothing)" : listed.c_str());
    say(messages, "  and a correct program lists:%s\n", due.empty() ? " (nothing)" : due.c_str());
  }
  if (fault) {
    report_fault(messages, outcome.value, *fault);
  }
}

std::string result_line(const run_failed& failure, const failure_origin& origin, std::size_t lines,
                        const shrink_outcome& outcome, const reduced_file& file,
                        const std::optional<fault_place>& fault) {
  std::string line = std::string("result=fail kind=") + kind_name(failure.kind);
  char text[160];
  if (origin.path != nullptr) {
    line += " run=1 script=" + shell_word(origin.path);
  } else {
    std::snprintf(text, sizeof text, " run=%" PRIu32 " shape=%s seed=%" PRIu32 " num_keys=%" PRId32, origin.run,
                  shape_text(origin.script).data(), origin.script.seed, origin.script.num_keys);
    line += text;
  }
  std::snprintf(text, sizeof text, " lines=%zu reduced_lines=%zu candidates=%" PRIu64 " file=", lines,
                outcome.value.items.size(), outcome.candidates);
  line += text;
  line += file.written ? shell_word(file.path) : std::string();
  if (fault) {
    line += " fault_line=" + std::to_string(fault->lines.first);
  }
  return line + "\n";
}

}  // namespace keyscript
