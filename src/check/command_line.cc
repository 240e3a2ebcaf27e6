#include "check/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "check/campaign.h"
#include "check/report.h"
#include "check/run_check.h"
#include "check/shrinking.h"
#include "cli/options.h"
#include "io/input.h"
#include "io/messages.h"
#include "io/quote.h"
#include "io/writer.h"
#include "script/limits.h"
#include "version.h"
#include "wide/shape.h"
#include "wide/wide_source.h"

namespace keyscript {

namespace {

// Sizes up to 20000 keys: a pass of 20000 keys leaves about 15000 distinct
// keys held, so the largest runs hold well over ten thousand keys (the
// quarter of the runs above 12000 keys do), while a whole campaign stays a
// few seconds even for a slow program.
constexpr std::int32_t DEFAULT_MAX_KEYS = 20000;
constexpr std::uint32_t DEFAULT_RUNS = 100;
// A run's time limit, unless given: 10 s, a hundred times what a campaign's
// largest script takes through a Python program here, plus 1 s for every
// million lines of the script, so that a script of 10^8 lines is not
// mistaken for a hang of a program that takes a microsecond a line.
constexpr double DEFAULT_TIMEOUT_S = 10;
constexpr double TIMEOUT_S_PER_MILLION_LINES = 1;
// Shrinking stops after 5 minutes unless told otherwise, keeping the best
// script so far.
constexpr double DEFAULT_SHRINK_TIME_S = 300;
// A candidate gets ten times the longest finished run, and at least half a
// second: a hang costs that, not the whole time limit, each time.
constexpr std::int64_t CANDIDATE_FLOOR_MS = 500;
constexpr std::int64_t CANDIDATE_FACTOR = 10;
constexpr const char* DEFAULT_OUTPUT = "keyscript-check-failure.txt";
// --scripts' words, in the order of script_kinds.
constexpr std::string_view KINDS_NAMES[] = {"keyscript", "wide", "both"};

struct check_options {
  std::uint32_t runs = DEFAULT_RUNS;
  std::int32_t max_keys = DEFAULT_MAX_KEYS;
  std::optional<std::uint32_t> seed;
  std::optional<std::int32_t> num_keys;
  script_kinds kinds = script_kinds::both;
  std::optional<wide_shape> shape;  // for --num-keys; none: keyscript's script
  bool shape_given = false;
  bool print_script = false;
  bool kinds_given = false;
  const char* script_path = nullptr;
  semantics kind = semantics::set;
  std::optional<double> timeout_s;
  bool shrink = true;
  unsigned jobs = 1;
  double shrink_time_s = DEFAULT_SHRINK_TIME_S;
  const char* output_path = DEFAULT_OUTPUT;
};

enum option_code : int {
  RUNS = 256,
  MAX_KEYS,
  SEED,
  NUM_KEYS,
  SCRIPT,
  MULTISET,
  TIMEOUT,
  NO_SHRINK,
  SHRINK_TIME,
  VERSION,
  SCRIPTS,
  SHAPE,
  PRINT_SCRIPT,
  JOBS = 'j',
  OUTPUT = 'o',
  HELP = 'h',
};

constexpr option LONG_OPTIONS[] = {
    {"runs", required_argument, nullptr, RUNS},
    {"max-keys", required_argument, nullptr, MAX_KEYS},
    {"seed", required_argument, nullptr, SEED},
    {"num-keys", required_argument, nullptr, NUM_KEYS},
    {"script", required_argument, nullptr, SCRIPT},
    {"multiset", no_argument, nullptr, MULTISET},
    {"timeout", required_argument, nullptr, TIMEOUT},
    {"no-shrink", no_argument, nullptr, NO_SHRINK},
    {"jobs", required_argument, nullptr, JOBS},
    {"shrink-time", required_argument, nullptr, SHRINK_TIME},
    {"output", required_argument, nullptr, OUTPUT},
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {"scripts", required_argument, nullptr, SCRIPTS},
    {"shape", required_argument, nullptr, SHAPE},
    {"print-script", no_argument, nullptr, PRINT_SCRIPT},
    {nullptr, 0, nullptr, 0},
};

// The shapes' names and summaries, a line each, in the table's order.
void write_shape_list(output_writer& out) {
  constexpr std::size_t NAME_AT = 20;
  constexpr std::size_t SUMMARY_AT = 34;
  for (const shape_entry& entry : wide_shapes()) {
    std::string line(NAME_AT, ' ');
    line += entry.name;
    line.resize(SUMMARY_AT, ' ');
    line += entry.summary;
    line += '\n';
    out.write(line);
  }
}

void write_help(output_writer& out, const char* program) {
  out.write("Usage: ");
  out.write(program);
  out.write(
      " [OPTIONS] [--] PROGRAM [ARG...]\n"
      "Run PROGRAM on many scripts, check what it lists at every checkpoint, and\n"
      "shrink a failure to a short script that shows it.\n"
      "\n"
      "PROGRAM reads a script on standard input and, at every \"s\" line and at the\n"
      "final \"q\", writes the keys it holds on standard output in ascending order,\n"
      "one a line (a key held n times, n times, with --multiset): what\n"
      "keyscript-expect --keys lists. A run fails when a listing differs (listing),\n"
      "the program is killed by a signal (signal), exits with a status other than 0\n"
      "(status), or has not finished within the time limit (timeout).\n"
      "\n"
      "Scripts (by default a campaign):\n"
      "  --runs R          runs in the campaign (default 100); NUM_KEYS grows from 0\n"
      "                    to --max-keys over the runs, the smallest first\n"
      "  --max-keys M      the largest NUM_KEYS (default 20000)\n"
      "  --scripts KINDS   keyscript (keyscript's own scripts), wide (scripts of\n"
      "                    wider shapes), or both (the default: runs alternate,\n"
      "                    keyscript's first, and wide runs take the shapes in turn)\n"
      "  --seed S          the campaign's seed, 0 to 4294967295 (default: the clock);\n"
      "                    always printed, so that a campaign can be repeated\n"
      "  --num-keys N      one run, on the script KEYSCRIPT_SEED=S keyscript N writes\n"
      "  --shape SHAPE     with --num-keys, the wide script of that shape, seed and\n"
      "                    size instead (keyscript, the default, is keyscript's own):\n");
  write_shape_list(out);
  out.write(
      "  --script FILE     one run, on a saved script\n"
      "  --print-script    with --seed and --num-keys, write that run's script to\n"
      "                    standard output instead, and run no PROGRAM\n"
      "  --multiset        the program keeps copies: each insertion adds one\n"
      "\n"
      "Running and shrinking:\n"
      "  --timeout SECONDS a run's time limit (default: 10, plus 1 for every million\n"
      "                    lines of the script, and for a wide script of the most\n"
      "                    its listings can come to); the program's whole process\n"
      "                    group is killed at the limit\n"
      "  --no-shrink       report a failure as found\n"
      "  -j, --jobs N      candidates run side by side while shrinking (default: the\n"
      "                    processors); the result is the same for any N\n"
      "  --shrink-time SECONDS  stop shrinking after this long (default 300), keeping\n"
      "                    the shortest failing script so far\n"
      "  -o, --output FILE where the reduced script goes (default\n"
      "                    keyscript-check-failure.txt)\n"
      "  -h, --help        show this help\n"
      "  --version         show the version\n"
      "\n"
      "The last line on standard output is one logfmt line:\n"
      "  result=pass runs=R seed=S max_keys=M scripts=KINDS\n"
      "  result=fail kind=K run=J shape=SHAPE seed=S num_keys=N lines=L\n"
      "      reduced_lines=RL candidates=C file=FILE\n"
      "\n"
      "Exit status: 0 when every run passed; 1 when a failure was found; 2 for a\n"
      "usage error, a program that cannot be started, a script that cannot be read\n"
      "or is not well formed, or a failure of keyscript-check itself.\n");
}

// A whole number from `low` to `high`, the whole text.
std::optional<std::uint64_t> whole_number(const char* text, std::uint64_t low, std::uint64_t high) {
  if (*text < '0' || *text > '9') {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> seconds(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value > 0) || value > 1e6) {
    return std::nullopt;
  }
  return value;
}

unsigned processors() {
  const unsigned found = std::thread::hardware_concurrency();
  return found > 0 ? found : 1;
}

// Reads the options into `options`; a status when the run ends here.
std::optional<int> read_options(int argc, char** argv, check_options& options, output_writer& out,
                                message_stream& messages, const char* invoked) {
  options.jobs = processors();
  begin_options();
  for (int code = 0; (code = next_option(argc, argv, "+hj:o:", LONG_OPTIONS, messages, invoked)) != OPTIONS_DONE;) {
    const auto refuse = [&](const char* what) {
      complain_usage(messages, invoked, "%s %s is not %s", argv[optind - 1] == optarg ? argv[optind - 2] : "option",
                     quote(optarg).text, what);
      return CHECK_TROUBLE;
    };
    switch (code) {
      case RUNS: {
        const auto value = whole_number(optarg, 1, 100000000);
        if (!value) return refuse("a number of runs from 1 to 100000000");
        options.runs = static_cast<std::uint32_t>(*value);
        break;
      }
      case MAX_KEYS:
      case NUM_KEYS: {
        const auto value = whole_number(optarg, 0, MAX_NUM_KEYS);
        if (!value) return refuse("a NUM_KEYS from 0 to 1952257819");
        (code == MAX_KEYS ? options.max_keys : options.num_keys.emplace()) = static_cast<std::int32_t>(*value);
        break;
      }
      case SEED: {
        const auto value = whole_number(optarg, 0, UINT32_MAX);
        if (!value) return refuse("a seed from 0 to 4294967295");
        options.seed = static_cast<std::uint32_t>(*value);
        break;
      }
      case SCRIPT:
        options.script_path = optarg;
        break;
      case MULTISET:
        options.kind = semantics::multiset;
        break;
      case SCRIPTS: {
        const auto* const found = std::find(std::begin(KINDS_NAMES), std::end(KINDS_NAMES), std::string_view(optarg));
        if (found == std::end(KINDS_NAMES)) return refuse("keyscript, wide or both");
        options.kinds = static_cast<script_kinds>(found - std::begin(KINDS_NAMES));
        options.kinds_given = true;
        break;
      }
      case SHAPE: {
        const std::optional<wide_shape> shape = shape_named(optarg);
        if (!shape && optarg != KEYSCRIPT_SHAPE) return refuse("a shape (keyscript-check --help names them)");
        options.shape = shape;
        options.shape_given = true;
        break;
      }
      case TIMEOUT:
      case SHRINK_TIME: {
        const auto value = seconds(optarg);
        if (!value) return refuse("a number of seconds above 0");
        (code == TIMEOUT ? options.timeout_s.emplace() : options.shrink_time_s) = *value;
        break;
      }
      case PRINT_SCRIPT:
        options.print_script = true;
        break;
      case NO_SHRINK:
        options.shrink = false;
        break;
      case JOBS: {
        const auto value = whole_number(optarg, 1, 1024);
        if (!value) return refuse("a number of jobs from 1 to 1024");
        options.jobs = static_cast<unsigned>(*value);
        break;
      }
      case OUTPUT:
        options.output_path = optarg;
        break;
      case HELP:
        write_help(out, invoked);
        return CHECK_PASSED;
      case VERSION:
        out.write("keyscript-check " KEYSCRIPT_VERSION "\n");
        return CHECK_PASSED;
      default:
        return CHECK_TROUBLE;
    }
  }
  if (options.kinds_given && (options.num_keys || options.script_path != nullptr)) {
    complain_usage(messages, invoked, "takes --scripts only for a campaign, not with --num-keys or --script");
    return CHECK_TROUBLE;
  }
  if (options.print_script) {
    // The clock's seed would be printed nowhere, so the seed is asked for.
    if (!options.num_keys || !options.seed || options.script_path != nullptr || optind < argc) {
      complain_usage(messages, invoked, "takes --print-script with --seed and --num-keys, and no PROGRAM");
      return CHECK_TROUBLE;
    }
    return std::nullopt;
  }
  if (optind >= argc) {
    complain_usage(messages, invoked, "needs a PROGRAM to check");
    return CHECK_TROUBLE;
  }
  if (options.script_path != nullptr && options.num_keys) {
    complain_usage(messages, invoked, "takes --script or --num-keys, not both");
    return CHECK_TROUBLE;
  }
  if (options.shape_given && !options.num_keys) {
    complain_usage(messages, invoked, "takes --shape only with --num-keys");
    return CHECK_TROUBLE;
  }
  return std::nullopt;
}

std::int64_t timeout_ms(const check_options& options, std::uint64_t lines) {
  const double limit = options.timeout_s
                           ? *options.timeout_s
                           : DEFAULT_TIMEOUT_S + TIMEOUT_S_PER_MILLION_LINES * static_cast<double>(lines) / 1e6;
  return static_cast<std::int64_t>(limit * 1000);
}

// A generated script as a value: 4 bytes a line.
script generated_script(const campaign_run& run) {
  const std::unique_ptr<line_source> source = script_of(run);
  script_builder builder;
  // Two passes of up to 1.1 times NUM_KEYS keys, and 30 lines more; a wide
  // script is about as long.
  builder.reserve(static_cast<std::size_t>(run.num_keys) / 10 * 22 + 64);
  for (line_span part = source->next(); part.size != 0 && !builder.done(); part = source->next()) {
    builder.add({part.data, part.size});
  }
  return builder.take();
}

// The file's text, or empty with a complaint.
std::optional<std::string> read_script_file(const char* path, message_stream& messages) {
  const int fd = open_for_reading(path);
  if (fd < 0) {
    complain(messages, "%s: %s\n", quote(path).text, std::strerror(errno));
    return std::nullopt;
  }
  std::string text;
  std::vector<char> block(std::size_t{1} << 16);
  std::ptrdiff_t got = 0;
  while ((got = read_some(fd, block.data(), block.size())) > 0) {
    text.append(block.data(), static_cast<std::size_t>(got));
  }
  const int error = got < 0 ? errno : 0;
  system_close(fd);
  if (error != 0) {
    complain(messages, "%s: %s\n", quote(path).text, std::strerror(error));
    return std::nullopt;
  }
  return text;
}

class checker_run {
 public:
  checker_run(const check_options& options, const process_command& program, message_stream& messages,
              output_writer& out, const std::atomic<bool>& interrupted)
      : options_(options), program_(program), messages_(messages), out_(out), interrupted_(interrupted) {}

  int campaign(std::uint32_t seed);
  int one_run(const campaign_run& planned);
  int saved_script(const char* path);

 private:
  // A run's verdict: pass (nullopt), or the status the whole run ends with.
  std::optional<int> judge(const run_verdict& verdict, const failure_origin& origin, const script* value);
  // Checks one generated script; a status when the whole run ends here.
  std::optional<int> check_generated(const campaign_run& planned, const failure_origin& origin);
  int fail(const run_verdict& verdict, const failure_origin& origin, script failing);
  int cannot_start(const run_verdict& verdict);
  double given_timeout() const { return options_.timeout_s ? *options_.timeout_s : 0; }

  const check_options& options_;
  const process_command& program_;
  message_stream& messages_;
  output_writer& out_;
  const std::atomic<bool>& interrupted_;
  std::int64_t longest_finished_ms_ = 0;
};

int checker_run::cannot_start(const run_verdict& verdict) {
  complain(messages_, "cannot run %s: %s\n", quote(program_.argv[0]).text, std::strerror(verdict.start_error));
  return CHECK_TROUBLE;
}

std::optional<int> checker_run::judge(const run_verdict& verdict, const failure_origin& origin, const script* value) {
  if (verdict.not_started) {
    return cannot_start(verdict);
  }
  if (verdict.refused_line != 0) {
    complain(messages_, "line %" PRIu64 ": %s\n", verdict.refused_line, verdict.refusal.c_str());
    return CHECK_TROUBLE;
  }
  if (verdict.kind == failure_kind::none) {
    if (interrupted_.load()) {
      complain(messages_, "interrupted\n");
      return CHECK_TROUBLE;
    }
    longest_finished_ms_ = std::max(longest_finished_ms_, verdict.elapsed_ms);
    return std::nullopt;
  }
  if (verdict.kind != failure_kind::timeout) {
    longest_finished_ms_ = std::max(longest_finished_ms_, verdict.elapsed_ms);
  }
  return fail(verdict, origin, value != nullptr ? *value : generated_script(origin.script));
}

int checker_run::campaign(std::uint32_t seed) {
  for (std::uint32_t index = 0; index < options_.runs; ++index) {
    const campaign_run planned = plan_run(seed, options_.runs, options_.max_keys, index, options_.kinds);
    if (const std::optional<int> status = check_generated(
            planned, {index + 1, options_.runs, seed, planned, nullptr, options_.kind, given_timeout()})) {
      return *status;
    }
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=%" PRIu32 " seed=%" PRIu32 " max_keys=%" PRId32 " scripts=%s\n",
                options_.runs, seed, options_.max_keys, KINDS_NAMES[static_cast<std::size_t>(options_.kinds)].data());
  out_.write(line);
  return CHECK_PASSED;
}

int checker_run::one_run(const campaign_run& planned) {
  if (const std::optional<int> status =
          check_generated(planned, {1, 1, planned.seed, planned, nullptr, options_.kind, given_timeout()})) {
    return *status;
  }
  char line[160];
  std::snprintf(line, sizeof line, "result=pass runs=1 shape=%s seed=%" PRIu32 " num_keys=%" PRId32 "\n",
                shape_text(planned).data(), planned.seed, planned.num_keys);
  out_.write(line);
  return CHECK_PASSED;
}

std::optional<int> checker_run::check_generated(const campaign_run& planned, const failure_origin& origin) {
  const std::unique_ptr<line_source> feed = script_of(planned);
  const std::unique_ptr<line_source> expected = script_of(planned);
  // keyscript's listings are about as long as its script; a wide script's
  // may be many times longer.
  const std::uint64_t lines = planned.shape ? static_cast<std::uint64_t>(most_lines_with_listings(planned.num_keys))
                                            : 2 * static_cast<std::uint64_t>(planned.num_keys);
  const run_settings settings{options_.kind, timeout_ms(options_, lines), &interrupted_};
  const run_verdict verdict = check_run(program_, *feed, *expected, settings);
  return judge(verdict, origin, nullptr);
}

int checker_run::saved_script(const char* path) {
  const std::optional<std::string> text = read_script_file(path, messages_);
  if (!text) {
    return CHECK_TROUBLE;
  }
  const std::optional<script> value = well_formed_script(*text, path, messages_);
  if (!value) {
    return CHECK_TROUBLE;
  }
  const run_settings settings{options_.kind, timeout_ms(options_, value->items.size()), &interrupted_};
  const run_verdict verdict = check_script(program_, *value, settings);
  const failure_origin origin{1, 1, 0, {}, path, options_.kind, given_timeout()};
  if (const std::optional<int> status = judge(verdict, origin, &*value)) {
    return *status;
  }
  out_.write("result=pass runs=1 script=");
  out_.write(quote(path).text);
  out_.write("\n");
  return CHECK_PASSED;
}

int checker_run::fail(const run_verdict& verdict, const failure_origin& origin, script failing) {
  report_failure(messages_, verdict, origin, program_);
  const std::size_t lines = failing.items.size();
  // A listing is cut after the checkpoint that failed before it shrinks.
  if (verdict.kind == failure_kind::listing) {
    failing = cut_after_checkpoint(std::move(failing), verdict.listing.checkpoint);
  }
  shrink_outcome outcome{std::move(failing), verdict, 0, false, 0};
  if (options_.shrink) {
    const std::int64_t limit =
        std::min(timeout_ms(options_, lines), std::max(CANDIDATE_FLOOR_MS, CANDIDATE_FACTOR * longest_finished_ms_));
    outcome =
        shrink_with_progress(program_, std::move(outcome.value), verdict,
                             {options_.kind, limit, options_.jobs, options_.shrink_time_s}, interrupted_, messages_);
  }
  if (!write_script_file(options_.output_path, outcome.value, messages_)) {
    return CHECK_TROUBLE;
  }
  report_reduced(messages_, outcome, lines, options_.output_path);
  out_.write(result_line(verdict, origin, lines, outcome, options_.output_path));
  return CHECK_FAILED;
}

int print_script(const campaign_run& run, output_writer& out) {
  const std::unique_ptr<line_source> source = script_of(run);
  for (line_span part = source->next(); part.size != 0 && out.error() == 0; part = source->next()) {
    out.write({part.data, part.size});
  }
  return CHECK_PASSED;
}

}  // namespace

int run_keyscript_check(int argc, char** argv, const std::atomic<bool>& interrupted, const program_streams& streams) {
  use_text_mode(streams.out);
  use_text_mode(streams.err);
  message_stream messages{"keyscript-check", streams.err};
  const char* invoked = invoked_name(argc, argv, "keyscript-check");
  auto out = std::make_unique<output_writer>(streams.out);
  check_options options;
  int status = 0;
  if (const std::optional<int> early = read_options(argc, argv, options, *out, messages, invoked)) {
    status = *early;
  } else {
    process_command program;
    program.argv.assign(argv + optind, argv + argc);
    checker_run run(options, program, messages, *out, interrupted);
    const std::uint32_t seed =
        options.seed ? *options.seed : static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    status = options.print_script             ? print_script({seed, *options.num_keys, options.shape}, *out)
             : options.script_path != nullptr ? run.saved_script(options.script_path)
             : options.num_keys               ? run.one_run({seed, *options.num_keys, options.shape})
                                              : run.campaign(seed);
  }
  const int error = out->close(streams.close_out);
  if (error != 0) {
    complain(messages, "write error: %s\n", std::strerror(error));
    return CHECK_TROUBLE;
  }
  return status;
}

}  // namespace keyscript
