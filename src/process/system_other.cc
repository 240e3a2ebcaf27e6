// Systems other than Linux: plain POSIX pipes, and no way to find what left
// a run's process group, so that a run kills its group alone.
#include <fcntl.h>
#include <unistd.h>

#include "process/live_runs.h"
#include "process/system.h"

namespace keyscript {

bool become_child_subreaper() { return false; }

// Without pipe2 the two ends become close-on-exec a moment after they
// exist: a child another thread starts in that moment inherits them until
// its exec.
bool open_cloexec_pipe(int (&fds)[2]) {
  if (pipe(fds) != 0) {
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return true;
}

void mark_others_close_on_exec() noexcept {}

void widen_pipe(int /*fd*/) {}

sweep_found sweep_adopted(live_runs& /*runs*/, std::size_t /*slot*/, int /*program*/, std::string_view /*mark*/,
                          bool /*until_gone*/) {
  return {};
}

void kill_adopted_since(int /*owner*/, const std::atomic<int>* /*firsts*/, std::size_t /*count*/,
                        int /*deferred*/) noexcept {}

}  // namespace keyscript
