#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "check/listing_checker.h"
#include "process/process.h"
#include "script/source.h"

// One run of a program on one script, and what came of it.

namespace keyscript {

enum class failure_kind {
  none,
  listing,  // a checkpoint's listing is not what the model holds
  signal,   // the program was killed by a signal
  status,   // it exited with a status other than 0
  timeout,  // it had not finished in time
};

const char* kind_name(failure_kind kind);

struct run_verdict {
  failure_kind kind = failure_kind::none;
  bool not_started = false;  // the program could not be started: start_error says why
  int start_error = 0;
  int status = 0;
  int signal = 0;
  std::int64_t elapsed_ms = 0;
  std::int64_t cpu_us = 0;  // the program's user and system time
  // Processes the program left running when it exited (killed since): how
  // many, and the first one's name.
  int outlived = 0;
  std::string first_outlived;
  listing_verdict listing;
  std::string errors;  // the start of what the program wrote on standard error
  // The script itself was refused while replaying it: where and why.
  std::uint64_t refused_line = 0;
  std::string refusal;
};

// Failures are the same when their kinds are, and for signals the signals.
bool same_failure(const run_verdict& a, const run_verdict& b);

struct run_settings {
  semantics kind = semantics::set;
  std::int64_t timeout_ms = -1;
  const std::atomic<bool>* cancel = nullptr;  // set: the run ends at once
  // No byte taken or written for this long ends the run as a timeout; -1:
  // no such limit.
  std::int64_t idle_ms = -1;
};

// Runs `program` with the script `feed` hands out on its standard input, and
// checks its output against the same script handed out again by `expected`.
run_verdict check_run(const process_command& program, line_source& feed, line_source& expected,
                      const run_settings& settings);

}  // namespace keyscript
