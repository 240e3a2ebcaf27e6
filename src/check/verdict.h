#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "check/listing_checker.h"

// What came of one run of a program on one script.

namespace keyscript {

enum class failure_kind {
  listing,  // a checkpoint's listing is not what the model holds
  signal,   // the program was killed by a signal
  status,   // it exited with a status other than 0
  timeout,  // it had not finished in time
  state,    // kept running across scripts, it fails a script that it passes alone
};

const char* kind_name(failure_kind kind);

// The program ran and every listing was right (or the run was cancelled
// before it showed anything wrong).
struct run_passed {};

// The program could not be started: errno says why.
struct run_not_started {
  int error;
};

// The script itself is not well formed: the line at fault, and why.
struct run_refused {
  std::uint64_t line;
  std::string why;
};

// The program failed, and what shows it.
struct run_failed {
  failure_kind kind;
  int status = 0;           // its exit status, when it exited
  int signal = 0;           // the signal that ended it, when one did
  listing_verdict listing;  // where its output first differs (kind listing)
  std::string errors;       // the end of what it wrote on standard error
  bool stalled = false;     // a timeout of time without progress
  // For kind state: the scripts the same process had answered before.
  std::uint64_t scripts_before = 0;
};

struct run_verdict {
  std::variant<run_passed, run_not_started, run_refused, run_failed> outcome;
  std::int64_t elapsed_ms = 0;
  std::int64_t cpu_us = 0;  // the program's user and system time
  // Processes the program left running when it exited (killed since): how
  // many, and the first one's name.
  int outlived = 0;
  std::string first_outlived;
};

inline const run_failed* failure_of(const run_verdict& verdict) { return std::get_if<run_failed>(&verdict.outcome); }

// "none" for a run that did not fail, else the kind's name.
const char* outcome_name(const run_verdict& verdict);

// Failures are the same when their kinds are, and for signals the signals.
bool same_failure(const run_verdict& a, const run_verdict& b);

}  // namespace keyscript
