#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "check/run_check.h"
#include "process/process.h"
#include "script/source.h"

// How a program is run on one script: in a process of its own, or, with
// --persistent, in a process kept from one script to the next, which pays
// the program's start-up once. The program is told by KEYSCRIPT_PERSISTENT=1
// in its environment to write a line "q" after the listing of each script's
// q, empty its collection and read the next script, until its input ends.

namespace keyscript {

inline constexpr const char* PERSISTENT_VARIABLE = "KEYSCRIPT_PERSISTENT=1";

// Hands out the run's script from its start, as often as a run needs it.
using script_opener = std::function<std::unique_ptr<line_source>()>;

class program_runner {
 public:
  program_runner(const process_command& program, bool persistent);
  ~program_runner();
  program_runner(const program_runner&) = delete;
  program_runner& operator=(const program_runner&) = delete;
  program_runner(program_runner&&) noexcept = default;

  // One script. With --persistent, a failure found in a process that had
  // answered scripts before this one is run again in a process of its own,
  // so that a verdict never depends on an earlier script: a program that
  // fails only after other scripts fails with kind `state`.
  run_verdict run(const script_opener& open, const run_settings& settings);

  // The program did not go on to the next script as --persistent asks:
  // each script now gets a process of its own.
  bool fell_back() const { return fell_back_; }

 private:
  run_verdict run_in_live_process(line_source& feed, line_source& expected, const run_settings& settings,
                                  bool& not_persistent);

  process_command plain_;
  process_command persistent_command_;
  bool persistent_;
  bool fell_back_ = false;
  process_run live_;
  std::uint64_t scripts_in_live_ = 0;  // scripts the live process has answered
};

}  // namespace keyscript
