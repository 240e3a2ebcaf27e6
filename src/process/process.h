#pragma once

// Runs a program the way a checker needs to: bytes into its standard input
// while both output streams are read, all in one poll loop, with a time
// limit, and the program's whole process group killed when the run ends, so
// that nothing it started outlives the run or keeps its pipes open. POSIX
// only.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/source.h"

namespace keyscript {

// Where one of the child's output streams goes. `take` returns false to end
// the run at once (the caller has seen enough, e.g. output that can no
// longer match): the group is killed and the run ends as `stopped`.
class output_sink {
 public:
  virtual ~output_sink() = default;
  virtual bool take(std::string_view bytes) = 0;
};

struct process_command {
  // argv[0] is the program: looked up on PATH as a shell does unless it
  // holds a '/'.
  std::vector<std::string> argv;
  // NAME=VALUE entries set in the child only, replacing any inherited value;
  // a bare NAME removes that variable from the child's environment.
  std::vector<std::string> environment;
  // When given, the argv[0] the child sees, even an empty one (the program
  // is still argv[0]).
  std::optional<std::string> argv0;
};

enum class process_ending { exited, signaled, timed_out, stopped, not_started };

struct process_result {
  process_ending ending = process_ending::not_started;
  // How the child itself ended, whatever `ending` says: its exit status
  // when it exited, the signal when a signal ended it (SIGKILL after a time
  // limit or a stop), else 0.
  int status = 0;
  int signal = 0;
  int start_error = 0;  // errno of the failed pipe, fork or exec when not_started (ENOENT, EACCES...)
  std::int64_t elapsed_ms = 0;
  // The child ended, or closed its standard input, before taking all of it.
  bool input_closed_early = false;
  int process_group = 0;  // the child's pid and group id, gone when the run returns; 0 when not_started
};

struct process_limits {
  std::int64_t timeout_ms = -1;  // -1: none
  // When set (by another thread, or a signal handler), the run is stopped
  // as a sink would stop it, within a poll's tick.
  const std::atomic<bool>* cancel = nullptr;
};

// Runs `command` with its standard input fed from `input`'s parts, bytes of
// any kind (none: end of file at once), and its standard output and error handed to `out` and `err` as
// they come. Once the direct child has exited its group is killed, and the
// output still in the pipes is read; a process that left the group and
// holds a pipe open ends the reading at the first quiet poll (50 ms).
// SIGPIPE from a child that stops reading never reaches the caller, and the
// process's signal dispositions are left as they are. A caller that ignores
// SIGCHLD lets the system reap the child, and its status is lost (exit 0).
process_result run_process(const process_command& command, line_source* input, output_sink& out, output_sink& err,
                           const process_limits& limits);

// "SIGSEGV", "SIGABRT", ... or "signal 42" for a number without a name here.
std::string signal_name(int signal);

}  // namespace keyscript
