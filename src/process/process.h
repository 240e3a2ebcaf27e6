#pragma once

// Runs a program the way a checker needs to: bytes into its standard input
// while both output streams are read, all in one poll loop, with a limit on
// the whole run and one on time without progress, and everything the run
// started killed when it ends: its process group and, for a run registered
// in a live_runs on Linux, every descendant that left the group. A run is
// three steps (start, pump, finish), so that a caller can pump one live
// program several times, a script at a time. POSIX only.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/source.h"

namespace keyscript {

class live_runs;

// What an output sink says of the bytes it was given: go on; end the run at
// once (the caller has seen enough, e.g. output that can no longer match);
// or end this pump with the program still running and its input still open
// (this part of the output is complete, and the caller has more to feed).
enum class sink_answer { more, stop, pause };

// Where one of the child's output streams goes: every byte read, in order.
// The bytes of one call are all the sink's, whatever it answers.
class output_sink {
 public:
  virtual ~output_sink() = default;
  virtual sink_answer take(std::string_view bytes) = 0;
};

struct process_command {
  // argv[0] is the program: looked up on PATH as a shell does unless it
  // holds a '/'.
  std::vector<std::string> argv{};
  // NAME=VALUE entries set in the child only, replacing any inherited value;
  // a bare NAME removes that variable from the child's environment.
  std::vector<std::string> environment{};
  // When given, the argv[0] the child sees, even an empty one (the program
  // is still argv[0]).
  std::optional<std::string> argv0{};
  // The registry the run joins, which marks its environment and finds the
  // processes that escaped its group (live_runs.h). With none, what a run
  // kills is its process group alone.
  live_runs* runs = nullptr;
};

enum class process_ending { exited, signaled, timed_out, stalled, stopped, paused, not_started };

struct process_result {
  process_ending ending = process_ending::not_started;
  // How the child itself ended, whatever `ending` says: its exit status
  // when it exited, the signal when a signal ended it (SIGKILL after a time
  // limit or a stop), else 0.
  int status = 0;
  int signal = 0;
  int start_error = 0;  // errno of the failed pipe, fork or exec when not_started (ENOENT, EACCES...)
  std::int64_t elapsed_ms = 0;
  // The program's user and system time, with that of the children it
  // waited for.
  std::int64_t cpu_us = 0;
  // The child ended, or closed its standard input, before taking all of it.
  bool input_closed_early = false;
  int process_group = 0;  // the child's pid and group id, gone when the run returns; 0 when not_started
  // Descendants still running when the program exited by itself (all
  // killed since): how many, and the name (/proc/PID/comm) of the first.
  // Found for a registered run on Linux only.
  int outlived = 0;
  std::string first_outlived;
};

struct process_limits {
  std::int64_t timeout_ms = -1;  // the whole pump; -1: none
  // A pump in which the program takes no byte of its input (into its pipe:
  // what it reads of the last pipeful goes unseen) and writes none for this
  // long ends as `stalled`; -1: none.
  std::int64_t idle_ms = -1;
  // When set (by another thread, or a signal handler), the pump ends as
  // `stopped`, within a poll's tick. A registered run also watches its
  // registry's `interrupted`.
  const std::atomic<bool>* cancel = nullptr;
};

// How long a pump still reads the output of a program that has exited
// while something it left behind holds the pipes open.
inline constexpr std::chrono::milliseconds EXIT_GRACE{100};

// Whether a pump closes the program's standard input once its source ends.
enum class input_end { close, keep_open };

// A started program: its pid (also its process group's id) and the parent's
// ends of its three pipes, with what the pumps have seen of it. finish_process
// ends it; one destroyed before that is finished then.
struct process_run {
  process_run() = default;
  process_run(process_run&& other) noexcept;
  process_run& operator=(process_run&& other) noexcept;
  process_run(const process_run&) = delete;
  process_run& operator=(const process_run&) = delete;
  ~process_run();

  bool started() const { return pid > 0; }

  int pid = -1;  // -1 before a start, when it failed, and once finished
  int start_error = 0;
  int input_fd = -1;
  int output_fd = -1;
  int errors_fd = -1;
  std::chrono::steady_clock::time_point started_at{};
  bool exited = false;  // seen to exit (not yet reaped)
  std::chrono::steady_clock::time_point exited_at{};
  bool input_closed_early = false;
  process_ending last = process_ending::stopped;  // how the last pump ended
  int outlived = 0;
  std::string first_outlived;
  bool descendants_seen = false;  // its exit left some: the finish looks for them again
  // The run's registry, its place there and its environment's mark.
  live_runs* runs = nullptr;
  std::size_t slot = 0;
  std::string mark;
  std::vector<char> buffer;  // for reading the outputs
};

// Starts the program in a process group of its own with its three standard
// streams on pipes; run.started() tells whether it did (else
// run.start_error says why).
process_run start_process(const process_command& command);

// Feeds `input`'s parts (bytes of any kind; none: nothing to feed) into the
// program's standard input while both its outputs go to `out` and `err`,
// until the program has exited and its output is drained (or EXIT_GRACE has
// passed since it exited), a sink answers stop or pause, a limit passes or
// `cancel` is set. The input is closed at the source's end with
// input_end::close; with keep_open it stays open for the next pump. What
// was not fed when the pump ends is dropped. Once the program has exited,
// its group and the descendants found are killed at once, and the output
// still in the pipes is read. SIGPIPE from a child that stops reading never
// reaches the caller, and the process's signal dispositions are left as
// they are.
process_ending pump_process(process_run& run, line_source* input, input_end end, output_sink& out, output_sink& err,
                            const process_limits& limits);

// Kills whatever of the run is left, reaps the program (and what the run's
// registry finds) and tells how it all went. A caller that ignores SIGCHLD
// lets the system reap the child, and its status is lost (exit 0).
process_result finish_process(process_run& run);

// The three in a row, the input closed at its end.
process_result run_process(const process_command& command, line_source* input, output_sink& out, output_sink& err,
                           const process_limits& limits);

// "SIGSEGV", "SIGABRT", ... or "signal 42" for a number without a name here.
std::string signal_name(int signal);

}  // namespace keyscript
