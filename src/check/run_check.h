#pragma once

#include <atomic>
#include <cstdint>

#include "check/time_limits.h"
#include "check/verdict.h"
#include "process/process.h"
#include "script/source.h"

// One run of a program on one script, judged.

namespace keyscript {

struct run_settings {
  semantics kind = semantics::set;
  run_limits limits;
  const std::atomic<bool>* cancel = nullptr;  // set: the run ends at once
  // The program ends its output with a line "q", as under --persistent.
  bool end_line = false;
};

// The program's standard output, judged as it comes: stop once it cannot
// match, pause once the script's output has ended (with an end line).
class checking_sink final : public output_sink {
 public:
  explicit checking_sink(listing_checker& checker) : checker_(checker) {}
  sink_answer take(std::string_view bytes) override;

 private:
  listing_checker& checker_;
};

// The end of the program's standard error, kept for the report.
class errors_sink final : public output_sink {
 public:
  explicit errors_sink(std::string& kept) : kept_(kept) {}
  sink_answer take(std::string_view bytes) override;

 private:
  std::string& kept_;
};

process_limits limits_of(const run_settings& settings);

// What a run that has ended says, in this order: a program that could not
// start, a script refused, a time limit, a signal, output that can no
// longer match, and last how it exited.
run_verdict verdict_of(const process_result& result, listing_checker& checker, std::string errors);

// Runs `program` with the script `feed` hands out on its standard input, and
// checks its output against the same script handed out again by `expected`.
run_verdict check_run(const process_command& program, line_source& feed, line_source& expected,
                      const run_settings& settings);

}  // namespace keyscript
