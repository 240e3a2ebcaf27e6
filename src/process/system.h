#pragma once

// What the runner asks of the system beyond POSIX, one file per system
// family: system_linux.cc, and system_other.cc for the rest, where each of
// these does the plain POSIX thing or nothing.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace keyscript {

class live_runs;

// A pipe whose two ends are close-on-exec from the start where the system
// can (pipe2), so that no child started meanwhile by another thread
// inherits them.
bool open_cloexec_pipe(int (&fds)[2]);

// In the child, between fork and exec (async-signal-safe): marks every
// descriptor above 2 close-on-exec, where the system can, so that one the
// caller opened without it (a test runner's pipe, say) does not reach the
// program.
void mark_others_close_on_exec() noexcept;

// A larger pipe for a large input, where the system can have one.
void widen_pipe(int fd);

// What a sweep found of a run's processes that outlived its program.
struct sweep_found {
  int alive = 0;  // processes found running, and killed
  std::string first_name;
  bool any = false;  // anything of the run at all, live or dead
};

// Kills (SIGKILL) the processes of the run whose program is `program` that
// this process adopted, with their descendants, and reaps those that died:
// the ones whose environment holds `mark` (a whole NAME=VALUE entry), or
// every adopted one when the run is alone in `runs`. With `until_gone`, it
// goes on until none is left, a second at most; else it looks once.
sweep_found sweep_adopted(live_runs& runs, std::size_t slot, int program, std::string_view mark, bool until_gone);

// kill_all's half that finds adopted processes: every child of `owner`
// started since the oldest of `firsts` and `deferred` (pids; 0 for none) is
// killed, again and again until none is left alive, a second at most.
// Async-signal-safe.
void kill_adopted_since(int owner, const std::atomic<int>* firsts, std::size_t count, int deferred) noexcept;

}  // namespace keyscript
