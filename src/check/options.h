#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/campaign.h"
#include "check/cost_script.h"
#include "check/failure_store.h"
#include "io/messages.h"
#include "io/writer.h"
#include "replay/model.h"
#include "wide/shape.h"

// keyscript-check's command line: its options as given, checked one by one
// and against each other, and its help.

namespace keyscript {

// Exit statuses: every run passed; a failure was found and reported; a
// usage error, a program that cannot be started, a script that cannot be
// read or is not well formed, or a failure of keyscript-check itself.
inline constexpr int CHECK_PASSED = 0;
inline constexpr int CHECK_FAILED = 1;
inline constexpr int CHECK_TROUBLE = 2;

inline constexpr std::uint32_t DEFAULT_RUNS = 100;
// Sizes up to 20000 keys: a pass of 20000 keys leaves about 15000 distinct
// keys held, so the largest runs hold well over ten thousand keys (the
// quarter of the runs above 12000 keys do), while a whole campaign stays a
// few seconds even for a slow program.
inline constexpr std::int32_t DEFAULT_MAX_KEYS = 20000;
// Shrinking stops after 5 minutes unless told otherwise, keeping the best
// script so far.
inline constexpr double DEFAULT_SHRINK_TIME_S = 300;
inline constexpr const char* DEFAULT_OUTPUT = "keyscript-check-failure.txt";

struct check_options {
  std::uint32_t runs = DEFAULT_RUNS;
  std::int32_t max_keys = DEFAULT_MAX_KEYS;
  std::optional<std::uint32_t> seed;
  std::optional<std::int32_t> num_keys;
  script_kinds kinds = script_kinds::both;
  bool kinds_given = false;
  std::optional<wide_shape> shape;  // for --num-keys; none: keyscript's script
  bool shape_given = false;
  bool cost = false;
  std::optional<cost_order> cost_shape;  // the order --shape names, for --cost
  bool print_script = false;
  const char* script_path = nullptr;
  semantics kind = semantics::set;
  std::optional<double> timeout_s;
  std::optional<double> idle_timeout_s;
  std::optional<double> candidate_floor_s;
  bool shrink = true;
  bool persistent = false;
  unsigned jobs = 1;
  double shrink_time_s = DEFAULT_SHRINK_TIME_S;
  const char* output_path = DEFAULT_OUTPUT;
  const char* store = DEFAULT_STORE;  // null: --no-store
  std::vector<std::string> program;   // PROGRAM and its arguments
};

// The options, or the status the run ends with here: after --help or
// --version (written to `out`), or a refusal (said on `messages`).
struct options_reading {
  std::optional<check_options> options;
  int status = CHECK_PASSED;
};

options_reading read_options(int argc, char** argv, output_writer& out, message_stream& messages, const char* invoked);

// --scripts' word for `kinds`.
std::string_view kinds_name(script_kinds kinds);

}  // namespace keyscript
