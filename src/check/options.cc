#include "check/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <thread>

#include "cli/options.h"
#include "cli/program.h"
#include "io/quote.h"
#include "script/limits.h"

namespace keyscript {

namespace {

// --scripts' words, in the order of script_kinds.
constexpr std::string_view KINDS_NAMES[] = {"keyscript", "wide", "both"};

enum option_code : int {
  RUNS = 256,
  MAX_KEYS,
  SEED,
  NUM_KEYS,
  SCRIPT,
  MULTISET,
  TIMEOUT,
  IDLE_TIMEOUT,
  CANDIDATE_FLOOR,
  NO_SHRINK,
  STORE,
  PERSISTENT,
  NO_STORE,
  SHRINK_TIME,
  VERSION,
  SCRIPTS,
  SHAPE,
  PRINT_SCRIPT,
  COST,
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
    {"idle-timeout", required_argument, nullptr, IDLE_TIMEOUT},
    {"candidate-floor", required_argument, nullptr, CANDIDATE_FLOOR},
    {"no-shrink", no_argument, nullptr, NO_SHRINK},
    {"store", required_argument, nullptr, STORE},
    {"persistent", no_argument, nullptr, PERSISTENT},
    {"no-store", no_argument, nullptr, NO_STORE},
    {"jobs", required_argument, nullptr, JOBS},
    {"shrink-time", required_argument, nullptr, SHRINK_TIME},
    {"output", required_argument, nullptr, OUTPUT},
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {"scripts", required_argument, nullptr, SCRIPTS},
    {"shape", required_argument, nullptr, SHAPE},
    {"print-script", no_argument, nullptr, PRINT_SCRIPT},
    {"cost", no_argument, nullptr, COST},
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
      "  --cost            the cost check instead: CPU time per command over builds\n"
      "                    of 1024 to 32768 keys in the orders sorted, reverse,\n"
      "                    clustered and keyscript (--shape names one); a program\n"
      "                    fails when it grows more than 4 times what a logarithm\n"
      "                    allows\n"
      "\n"
      "Running and shrinking:\n"
      "  --timeout SECONDS a run's time limit, in place of the defaults: a run ends\n"
      "                    as a timeout after 10 s, plus ten times the program's\n"
      "                    start-up, plus 5 us a line of script and listings,\n"
      "                    without progress (no input taken, no output given),\n"
      "                    and in a campaign also after the same with 10 us a\n"
      "                    line in all; everything the run started is killed\n"
      "  --idle-timeout SECONDS  the limit on time without progress alone\n"
      "  --candidate-floor SECONDS  the least time a shrink's candidate gets, before\n"
      "                    ten times the start-up and the pace (default 0.5)\n"
      "  --persistent      one process for many scripts: the program, told so by\n"
      "                    KEYSCRIPT_PERSISTENT=1, writes a line q after each\n"
      "                    script's last listing, empties its collection and reads\n"
      "                    the next script; a failure is run again alone\n"
      "  --no-shrink       report a failure as found\n"
      "  -j, --jobs N      runs side by side, a campaign's and a shrink's (default:\n"
      "                    the processors); what is found is the same for any N\n"
      "  --shrink-time SECONDS  stop shrinking after this long (default 300), keeping\n"
      "                    the shortest failing script so far\n"
      "  -o, --output FILE where the reduced script goes (default\n"
      "                    keyscript-check-failure.txt)\n"
      "  --store DIR       where failures are kept for the next campaign of the same\n"
      "                    program, which runs them first (default .keyscript-check)\n"
      "  --no-store        keep no failures, and run none kept\n"
      "  -h, --help        show this help\n"
      "  --version         show the version\n"
      "\n"
      "The last line on standard output is one logfmt line:\n"
      "  result=pass runs=R seed=S max_keys=M scripts=KINDS\n"
      "  result=fail kind=K run=J shape=SHAPE seed=S num_keys=N lines=L\n"
      "      reduced_lines=RL candidates=C file=FILE\n"
      "  result=pass check=cost seed=S commands=C shapes=SHAPES growth=G allowed=A\n"
      "      shape=SHAPE keys=N\n"
      "  result=fail kind=cost shape=SHAPE keys=N seed=S commands=C base_cpu_ns=B\n"
      "      cpu_ns=X growth=G allowed=A\n"
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

// Seconds to a millisecond: the limits count whole milliseconds, and a limit
// that rounds to none would time out every run.
std::optional<double> seconds(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0.001) || value > 1e6) {
    return std::nullopt;
  }
  return value;
}

unsigned processors() {
  const unsigned found = std::thread::hardware_concurrency();
  return found > 0 ? found : 1;
}

// Reads the options into `options`; a status when the run ends here.
std::optional<int> read_into(int argc, char** argv, check_options& options, output_writer& out,
                             message_stream& messages, const char* invoked) {
  options.jobs = processors();
  begin_options();
  for (int code = 0; (code = next_option(argc, argv, "+hj:o:", LONG_OPTIONS, messages, invoked)) != OPTIONS_DONE;) {
    const auto refuse = [&](const std::string& what) {
      complain_usage(messages, invoked, "%s %s is not %s", argv[optind - 1] == optarg ? argv[optind - 2] : "option",
                     quote(optarg).text, what.c_str());
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
        if (!value) return refuse("a NUM_KEYS from 0 to " + std::to_string(MAX_NUM_KEYS));
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
        options.cost_shape = order_named(optarg);
        options.shape_given = true;
        break;
      }
      case TIMEOUT:
      case IDLE_TIMEOUT:
      case CANDIDATE_FLOOR:
      case SHRINK_TIME: {
        const auto value = seconds(optarg);
        if (!value) return refuse("a number of seconds from 0.001 to 1000000");
        (code == TIMEOUT           ? options.timeout_s.emplace()
         : code == IDLE_TIMEOUT    ? options.idle_timeout_s.emplace()
         : code == CANDIDATE_FLOOR ? options.candidate_floor_s.emplace()
                                   : options.shrink_time_s) = *value;
        break;
      }
      case PRINT_SCRIPT:
        options.print_script = true;
        break;
      case COST:
        options.cost = true;
        break;
      case NO_SHRINK:
        options.shrink = false;
        break;
      case STORE:
        options.store = optarg;
        break;
      case PERSISTENT:
        options.persistent = true;
        break;
      case NO_STORE:
        options.store = nullptr;
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
        write_version(out, "keyscript-check");
        return CHECK_PASSED;
      default:
        return CHECK_TROUBLE;
    }
  }
  // The cost check runs scripts of its own, each in a process of its own:
  // CPU time is known when a process ends.
  if (options.cost && (options.num_keys || options.script_path != nullptr || options.print_script ||
                       options.kinds_given || options.persistent)) {
    complain_usage(messages, invoked,
                   "takes --cost alone, not with --num-keys, --script, --print-script, --scripts or --persistent");
    return CHECK_TROUBLE;
  }
  if (options.cost && options.shape_given && !options.cost_shape) {
    complain_usage(messages, invoked, "takes --shape with --cost only for sorted, reverse, clustered or keyscript");
    return CHECK_TROUBLE;
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
  options.program.assign(argv + optind, argv + argc);
  if (options.program.empty()) {
    complain_usage(messages, invoked, "needs a PROGRAM to check");
    return CHECK_TROUBLE;
  }
  if (options.script_path != nullptr && options.num_keys) {
    complain_usage(messages, invoked, "takes --script or --num-keys, not both");
    return CHECK_TROUBLE;
  }
  if (options.shape_given && !options.num_keys && !options.cost) {
    complain_usage(messages, invoked, "takes --shape only with --num-keys or --cost");
    return CHECK_TROUBLE;
  }
  return std::nullopt;
}

}  // namespace

options_reading read_options(int argc, char** argv, output_writer& out, message_stream& messages, const char* invoked) {
  check_options options;
  if (const std::optional<int> status = read_into(argc, argv, options, out, messages, invoked)) {
    return {std::nullopt, *status};
  }
  return {std::move(options), CHECK_PASSED};
}

std::string_view kinds_name(script_kinds kinds) { return KINDS_NAMES[static_cast<std::size_t>(kinds)]; }

}  // namespace keyscript
