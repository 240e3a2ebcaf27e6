#include "check/report.h"

#include <cinttypes>
#include <cstdio>

#include "io/quote.h"

namespace keyscript {

namespace {

// A reduced script this short is shown in the report, line by line.
constexpr std::size_t SHOWN_SCRIPT_LINES = 40;

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

std::string command_line_text(const process_command& program) {
  std::string text;
  for (const std::string& word : program.argv) {
    if (!text.empty()) {
      text += ' ';
    }
    text += quote(word).text;
  }
  return text;
}

void report_listing(message_stream& messages, const listing_verdict& listing) {
  say(messages,
      "  checkpoint %" PRIu64 " (\"%c\", script line %" PRIu64 "): listing line %" PRIu64
      " should be %s, "
      "the program wrote %s\n",
      listing.checkpoint, listing.command, listing.script_line, listing.listing_line, listing.expected.c_str(),
      listing.seen.c_str());
  say(messages, "  %" PRIu64 " keys due, %" PRIu64 " listed; missing %" PRIu64 "%s; extra %" PRIu64 "%s\n",
      listing.expected_count, listing.seen_count, listing.missing_count,
      keys_text(listing.missing, listing.missing_count).c_str(), listing.extra_count,
      keys_text(listing.extra, listing.extra_count).c_str());
}

}  // namespace

void report_failure(message_stream& messages, const run_failed& failure, std::int64_t elapsed_ms,
                    const failure_origin& origin, const process_command& program) {
  if (origin.path != nullptr) {
    complain(messages, "%s fails on %s: %s\n", command_line_text(program).c_str(), quote(origin.path).text,
             kind_name(failure.kind));
  } else {
    complain(messages, "%s fails on run %" PRIu32 " of %" PRIu32 " (campaign seed %" PRIu32 "): %s\n",
             command_line_text(program).c_str(), origin.run, origin.runs, origin.campaign_seed,
             kind_name(failure.kind));
    const campaign_run& script = origin.script;
    if (!script.shape) {
      say(messages, "  the script: KEYSCRIPT_SEED=%" PRIu32 " keyscript %" PRId32 "\n", script.seed, script.num_keys);
    }
    char timeout[48] = "";
    if (origin.timeout_s > 0) {
      std::snprintf(timeout, sizeof timeout, " --timeout %g", origin.timeout_s);
    }
    say(messages, "  this run again: keyscript-check%s%s --shape %s --seed %" PRIu32 " --num-keys %" PRId32 " -- %s\n",
        origin.kind == semantics::multiset ? " --multiset" : "", timeout, shape_text(script).data(), script.seed,
        script.num_keys, command_line_text(program).c_str());
  }
  switch (failure.kind) {
    case failure_kind::listing:
      report_listing(messages, failure.listing);
      break;
    case failure_kind::signal:
      say(messages, "  killed by %s after %" PRId64 " ms\n", signal_name(failure.signal).c_str(), elapsed_ms);
      break;
    case failure_kind::status:
      say(messages, "  exit status %d\n", failure.status);
      break;
    case failure_kind::timeout:
      say(messages, "  not finished after %" PRId64 " ms: its process group was killed\n", elapsed_ms);
      break;
  }
  if (!failure.errors.empty()) {
    const std::size_t end = failure.errors.find('\n');
    say(messages, "  its standard error began: %s\n", quote(failure.errors.substr(0, end)).text);
  }
}

void report_reduced(message_stream& messages, const shrink_outcome& outcome, std::size_t lines, const char* path) {
  const std::size_t now = outcome.value.items.size();
  say(messages, "reduced %zu lines to %zu in %" PRIu64 " candidates (%.1f s%s); the script is in %s\n", lines, now,
      outcome.candidates, outcome.seconds, outcome.stopped_early ? ", stopped early" : "", quote(path).text);
  if (now > SHOWN_SCRIPT_LINES) {
    return;
  }
  std::string text = script_text(outcome.value);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    say(messages, "  | %s\n", text.substr(at, end - at).c_str());
    at = end + 1;
  }
  const run_failed* failure = failure_of(outcome.verdict);
  if (failure != nullptr && failure->kind == failure_kind::listing) {
    const listing_verdict& listing = failure->listing;
    const std::string listed = keys_text(listing.seen_keys, listing.seen_count);
    const std::string due = keys_text(listing.expected_keys, listing.expected_count);
    say(messages, "  at checkpoint %" PRIu64 " the program listed:%s\n", listing.checkpoint,
        listed.empty() ? " (nothing)" : listed.c_str());
    say(messages, "  and a correct program lists:%s\n", due.empty() ? " (nothing)" : due.c_str());
  }
}

std::string result_line(const run_failed& failure, const failure_origin& origin, std::size_t lines,
                        const shrink_outcome& outcome, const char* path) {
  char text[512];
  const int written =
      origin.path != nullptr
          ? std::snprintf(text, sizeof text, "result=fail kind=%s run=1 script=%s", kind_name(failure.kind),
                          quote(origin.path).text)
          : std::snprintf(text, sizeof text,
                          "result=fail kind=%s run=%" PRIu32 " shape=%s seed=%" PRIu32 " num_keys=%" PRId32,
                          kind_name(failure.kind), origin.run, shape_text(origin.script).data(), origin.script.seed,
                          origin.script.num_keys);
  std::string line(text, static_cast<std::size_t>(written > 0 ? written : 0));
  std::snprintf(text, sizeof text, " lines=%zu reduced_lines=%zu candidates=%" PRIu64 " file=%s\n", lines,
                outcome.value.items.size(), outcome.candidates, quote(path).text);
  return line + text;
}

}  // namespace keyscript
