// The poll loop on POSIX: the program's input fed and both its outputs read
// as each is ready, until the pump has an ending.
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>

#include "process/live_runs.h"
#include "process/process.h"
#include "process/spawn.h"

namespace keyscript {

namespace {

using std::chrono::steady_clock;

// Long enough that a child which has exited is noticed soon even while
// something else holds its pipes open, short enough to cost nothing.
constexpr std::chrono::milliseconds POLL_TICK{50};

// A write into a pipe whose reader is gone raises SIGPIPE, which would end
// the caller. Blocked in this thread around the write, and taken back out of
// the pending set before unblocking, it never arrives, and the process's
// signal dispositions stay the caller's. One the caller already had pending
// is left pending.
ssize_t write_without_sigpipe(int fd, std::string_view bytes) {
  sigset_t sigpipe_only;
  sigemptyset(&sigpipe_only);
  sigaddset(&sigpipe_only, SIGPIPE);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &sigpipe_only, &previous);
  sigset_t pending;
  sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;
  const ssize_t written = write(fd, bytes.data(), bytes.size());
  const int error = errno;
  if (written < 0 && error == EPIPE && !already_pending) {
    const timespec no_wait{};
    while (sigtimedwait(&sigpipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return written;
}

struct pump_state {
  process_run& run;
  line_source* input;
  input_end end;
  std::string_view pending;
  bool feeding;  // the source may have more, or the part in hand is not all written
  steady_clock::time_point last_progress;
};

// Writes as much as the pipe takes now, part after part; at the source's
// end, closes the child's standard input or leaves it open, as asked.
void feed_input(pump_state& state) {
  process_run& run = state.run;
  while (state.feeding && run.input_fd >= 0) {
    if (state.pending.empty()) {
      const line_span part = state.input == nullptr ? line_span{nullptr, 0} : state.input->next();
      state.pending = std::string_view(part.data, part.size);
      if (state.pending.empty()) {
        state.feeding = false;
        if (state.end == input_end::close) {
          close_fd(run.input_fd);
        }
        return;
      }
    }
    const ssize_t written = write_without_sigpipe(run.input_fd, state.pending);
    if (written > 0) {
      state.pending.remove_prefix(static_cast<std::size_t>(written));
      state.last_progress = steady_clock::now();
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;
    } else if (written < 0 && errno != EINTR) {
      run.input_closed_early = errno == EPIPE;
      close_fd(run.input_fd);
    }
  }
}

// One read into `sink`, and what it answers.
sink_answer pass_output(int& fd, output_sink& sink, pump_state& state) {
  std::vector<char>& buffer = state.run.buffer;
  const ssize_t got = read(fd, buffer.data(), buffer.size());
  if (got > 0) {
    state.last_progress = steady_clock::now();
    return sink.take(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  }
  if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    close_fd(fd);
  }
  return sink_answer::more;
}

// `start` and `ms` later, or never for a negative `ms`.
steady_clock::time_point after(steady_clock::time_point start, std::int64_t ms) {
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::time_point::max() - start);
  if (ms < 0 || ms >= room.count()) {
    return steady_clock::time_point::max();
  }
  return start + std::chrono::milliseconds(ms);
}

bool is_set(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

process_ending pump_loop(pump_state& state, output_sink& out, output_sink& err, const process_limits& limits,
                         steady_clock::time_point start) {
  process_run& run = state.run;
  const steady_clock::time_point deadline = after(start, limits.timeout_ms);
  const std::atomic<bool>* interrupted = run.runs != nullptr ? &run.runs->interrupted() : nullptr;
  std::chrono::milliseconds idle_step{1};
  feed_input(state);
  for (;;) {
    if (!run.exited && has_exited(run.pid)) {
      program_exited(run);
    }
    if (run.exited && run.output_fd < 0 && run.errors_fd < 0) {
      return process_ending::exited;
    }
    if (is_set(limits.cancel) || is_set(interrupted)) {
      return process_ending::stopped;
    }
    // When the pump ends unless something happens first, and how.
    steady_clock::time_point until = deadline;
    process_ending ending = process_ending::timed_out;
    if (run.exited) {
      until = run.exited_at + EXIT_GRACE;
      ending = process_ending::exited;
    } else if (const steady_clock::time_point idle_end = after(state.last_progress, limits.idle_ms); idle_end < until) {
      until = idle_end;
      ending = process_ending::stalled;
    }
    const steady_clock::duration left = until - steady_clock::now();
    if (left <= steady_clock::duration::zero()) {
      return ending;
    }
    std::chrono::milliseconds step = POLL_TICK;
    if (run.output_fd < 0 && run.errors_fd < 0) {
      // A child's streams close as it exits, a moment before waitid can see
      // the exit: short steps first, longer while it goes on running.
      step = idle_step;
      idle_step = std::min(idle_step * 2, POLL_TICK);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::min<steady_clock::duration>(left, step));
    // Negative descriptors (streams closed, or nothing to write) are skipped
    // by poll.
    std::array<pollfd, 3> watched{
        {{state.feeding ? run.input_fd : -1, POLLOUT, 0}, {run.output_fd, POLLIN, 0}, {run.errors_fd, POLLIN, 0}}};
    if (poll(watched.data(), watched.size(), static_cast<int>(wait.count())) <= 0) {
      continue;
    }
    if (watched[0].revents != 0) {
      feed_input(state);
    }
    sink_answer answer = watched[1].revents != 0 ? pass_output(run.output_fd, out, state) : sink_answer::more;
    if (answer != sink_answer::stop && watched[2].revents != 0) {
      const sink_answer errors = pass_output(run.errors_fd, err, state);
      answer = errors == sink_answer::more ? answer : errors;
    }
    if (answer == sink_answer::stop) {
      return process_ending::stopped;
    }
    if (answer == sink_answer::pause) {
      return process_ending::paused;
    }
  }
}

}  // namespace

process_ending pump_process(process_run& run, line_source* input, input_end end, output_sink& out, output_sink& err,
                            const process_limits& limits) {
  if (!run.started()) {
    return process_ending::not_started;
  }
  const steady_clock::time_point start = steady_clock::now();
  pump_state state{run, input, end, {}, run.input_fd >= 0, start};
  run.last = pump_loop(state, out, err, limits, start);
  return run.last;
}

}  // namespace keyscript
