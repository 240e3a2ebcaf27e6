#include "process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <utility>

#if defined(__linux__) && __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#include <sys/syscall.h>
#endif

namespace keyscript {

namespace {

using std::chrono::steady_clock;

// Long enough that a child which has exited is noticed soon even while
// something else holds its pipes open, short enough to cost nothing.
constexpr std::chrono::milliseconds POLL_TICK{50};
constexpr std::size_t READ_CHUNK = 65536;
constexpr int INPUT_PIPE_BYTES = 1 << 20;

struct pipe_ends {
  int read_end = -1;
  int write_end = -1;
};

struct child_pipes {
  pipe_ends input;
  pipe_ends output;
  pipe_ends errors;
  pipe_ends start_error;  // the errno of a failed exec, from the child
};

void close_fd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

void close_pipes(child_pipes& pipes) {
  for (pipe_ends* ends : {&pipes.input, &pipes.output, &pipes.errors, &pipes.start_error}) {
    close_fd(ends->read_end);
    close_fd(ends->write_end);
  }
}

// A caller running with a standard stream closed gets pipe ends numbered 0,
// 1 or 2; moved above them, the child's dup2 calls onto 0, 1 and 2 can never
// overwrite an end still to be moved.
int above_standard_streams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) {
    return fd;
  }
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(fd);
  errno = error;
  return moved;
}

// Close-on-exec from the start, so that no other child started meanwhile,
// by this thread or another, inherits them.
bool open_pipe(pipe_ends& ends) {
  std::array<int, 2> fds{};
  if (pipe2(fds.data(), O_CLOEXEC) != 0) {
    return false;
  }
  ends.read_end = above_standard_streams(fds[0]);
  ends.write_end = above_standard_streams(fds[1]);
  return ends.read_end >= 0 && ends.write_end >= 0;
}

bool open_pipes(child_pipes& pipes) {
  return open_pipe(pipes.input) && open_pipe(pipes.output) && open_pipe(pipes.errors) && open_pipe(pipes.start_error);
}

std::string_view variable_name(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// Everything the child passes to exec, built before the fork: between fork
// and exec a child of a threaded caller may not allocate.
struct child_plan {
  const char* program = nullptr;
  std::vector<char*> argv;
  std::vector<char*> environment;
};

// exec takes char* const[], though it never writes through them.
char* exec_word(const std::string& text) { return const_cast<char*>(text.c_str()); }

std::vector<char*> child_environment(const std::vector<std::string>& changes) {
  std::vector<char*> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name = variable_name(*entry);
    const bool changed = std::any_of(changes.begin(), changes.end(),
                                     [name](const std::string& change) { return variable_name(change) == name; });
    if (!changed) {
      entries.push_back(*entry);
    }
  }
  for (const std::string& change : changes) {
    if (change.find('=') != std::string::npos) {
      entries.push_back(exec_word(change));
    }
  }
  entries.push_back(nullptr);
  return entries;
}

child_plan plan_child(const process_command& command) {
  child_plan plan;
  plan.program = command.argv[0].c_str();
  plan.argv.reserve(command.argv.size() + 1);
  plan.argv.push_back(exec_word(command.argv0 ? *command.argv0 : command.argv[0]));
  for (std::size_t i = 1; i < command.argv.size(); ++i) {
    plan.argv.push_back(exec_word(command.argv[i]));
  }
  plan.argv.push_back(nullptr);
  plan.environment = child_environment(command.environment);
  return plan;
}

// 127 as a shell would exit with, though the parent goes by the errno.
[[noreturn]] void report_start_error(int fd, int error) {
  [[maybe_unused]] const ssize_t written = write(fd, &error, sizeof error);
  _exit(127);
}

// Descriptors the caller opened without O_CLOEXEC (a test runner's pipe,
// say) would reach the program too. Marked close-on-exec rather than closed,
// so that an emulator running this process keeps its own until the exec.
// Where the kernel lacks the call, only this library's descriptors are sure
// to stay behind.
void close_others_on_exec() {
#if defined(CLOSE_RANGE_CLOEXEC) && defined(SYS_close_range)
  syscall(SYS_close_range, STDERR_FILENO + 1U, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
}

// Only async-signal-safe calls from here to the exec.
[[noreturn]] void become_child(const child_plan& plan, const child_pipes& pipes) {
  const int report_fd = pipes.start_error.write_end;
  setpgid(0, 0);
  if (dup2(pipes.input.read_end, STDIN_FILENO) < 0 || dup2(pipes.output.write_end, STDOUT_FILENO) < 0 ||
      dup2(pipes.errors.write_end, STDERR_FILENO) < 0) {
    report_start_error(report_fd, errno);
  }
  close_others_on_exec();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(SIGPIPE, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  environ = const_cast<char**>(plan.environment.data());
  execvp(plan.program, plan.argv.data());
  report_start_error(report_fd, errno);
}

// The errno the child sent, or 0 once the exec closed the pipe empty.
int read_start_error(int fd) {
  std::array<char, sizeof(int)> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  int error = 0;
  if (got == bytes.size()) {
    std::memcpy(&error, bytes.data(), sizeof error);
  }
  return error;
}

// WNOWAIT leaves an exited child unreaped: its pid, which is also the
// group's id, cannot go to a new process before the group is killed.
// ECHILD: a caller ignoring SIGCHLD had the system reap it already.
bool has_exited(pid_t child) {
  siginfo_t info{};
  const int found = waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
  return (found == 0 && info.si_pid == child) || (found < 0 && errno == ECHILD);
}

int reap(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

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

struct run_state {
  line_source* input = nullptr;
  std::string_view pending;
  int input_fd = -1;
  int out_fd = -1;
  int err_fd = -1;
  bool input_closed_early = false;
  bool child_exited = false;
  bool timed_out = false;
  bool stopped = false;
};

// Writes as much as the pipe takes now, piece after piece, and closes the
// child's standard input once the source is done or the child stops reading.
void feed_input(run_state& state) {
  while (state.input_fd >= 0) {
    if (state.pending.empty()) {
      const line_span part = state.input == nullptr ? line_span{nullptr, 0} : state.input->next();
      state.pending = std::string_view(part.data, part.size);
      if (state.pending.empty()) {
        close_fd(state.input_fd);
        return;
      }
    }
    const ssize_t written = write_without_sigpipe(state.input_fd, state.pending);
    if (written >= 0) {
      state.pending.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return;
    } else if (errno != EINTR) {
      state.input_closed_early = errno == EPIPE;
      close_fd(state.input_fd);
    }
  }
}

// One read into `sink`; false when the sink wants the run stopped.
bool pass_output(int& fd, output_sink& sink, std::vector<char>& buffer) {
  const ssize_t got = read(fd, buffer.data(), buffer.size());
  if (got > 0) {
    return sink.take(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  }
  if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    close_fd(fd);
  }
  return true;
}

// Once the child has exited, whatever it started dies with it and lets go of
// the pipes; the input left over has no reader.
void end_child_group(run_state& state, pid_t child) {
  state.child_exited = true;
  kill(-child, SIGKILL);
  if (state.input_fd >= 0) {
    state.input_closed_early = true;
    close_fd(state.input_fd);
  }
}

void run_loop(run_state& state, pid_t child, output_sink& out, output_sink& err, steady_clock::time_point deadline,
              const std::atomic<bool>* cancel) {
  std::vector<char> buffer(READ_CHUNK);
  std::chrono::milliseconds idle_step{1};
  feed_input(state);
  for (;;) {
    if (!state.child_exited && has_exited(child)) {
      end_child_group(state, child);
    }
    if (state.child_exited && state.out_fd < 0 && state.err_fd < 0) {
      return;
    }
    if (cancel != nullptr && cancel->load()) {
      state.stopped = true;
      return;
    }
    const steady_clock::duration left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) {
      state.timed_out = !state.child_exited;
      return;
    }
    std::chrono::milliseconds step = POLL_TICK;
    if (state.out_fd < 0 && state.err_fd < 0) {
      // A child's streams close as it exits, a moment before waitid can see
      // the exit: short steps first, longer while it goes on running.
      step = idle_step;
      idle_step = std::min(idle_step * 2, POLL_TICK);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::min<steady_clock::duration>(left, step));
    // Negative descriptors (streams already closed) are skipped by poll.
    std::array<pollfd, 3> watched{{{state.input_fd, POLLOUT, 0}, {state.out_fd, POLLIN, 0}, {state.err_fd, POLLIN, 0}}};
    const int ready = poll(watched.data(), watched.size(), static_cast<int>(wait.count()));
    if (ready == 0 && state.child_exited) {
      return;  // the group is dead: what still holds a pipe left the group, and is not waited for
    }
    if (ready <= 0) {
      continue;
    }
    if (watched[0].revents != 0) {
      feed_input(state);
    }
    state.stopped = (watched[1].revents != 0 && !pass_output(state.out_fd, out, buffer)) ||
                    (watched[2].revents != 0 && !pass_output(state.err_fd, err, buffer));
    if (state.stopped) {
      return;
    }
  }
}

steady_clock::time_point deadline_of(const process_limits& limits, steady_clock::time_point start) {
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::time_point::max() - start);
  if (limits.timeout_ms < 0 || limits.timeout_ms >= room.count()) {
    return steady_clock::time_point::max();
  }
  return start + std::chrono::milliseconds(limits.timeout_ms);
}

process_ending ending_of(const run_state& state, int status) {
  if (state.stopped) {
    return process_ending::stopped;
  }
  if (state.timed_out) {
    return process_ending::timed_out;
  }
  return WIFSIGNALED(status) ? process_ending::signaled : process_ending::exited;
}

std::int64_t milliseconds_since(steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
}

// Fills the result from a started child, which the loop has left either
// exited and unreaped or still running.
void finish(process_result& result, const run_state& state, pid_t child) {
  const int status = reap(child);
  result.ending = ending_of(state, status);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.input_closed_early = state.input_closed_early;
  result.process_group = child;
}

struct named_signal {
  int number;
  const char* name;
};

constexpr std::array<named_signal, 28> SIGNAL_NAMES{{
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},     {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},   {SIGTRAP, "SIGTRAP"},
    {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},     {SIGFPE, "SIGFPE"},   {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"},
    {SIGSEGV, "SIGSEGV"},     {SIGUSR2, "SIGUSR2"},   {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGTERM, "SIGTERM"},
    {SIGCHLD, "SIGCHLD"},     {SIGCONT, "SIGCONT"},   {SIGSTOP, "SIGSTOP"}, {SIGTSTP, "SIGTSTP"}, {SIGTTIN, "SIGTTIN"},
    {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},     {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"}, {SIGPROF, "SIGPROF"},
    {SIGVTALRM, "SIGVTALRM"}, {SIGWINCH, "SIGWINCH"}, {SIGSYS, "SIGSYS"},
}};

// Forks and execs the child on `pipes`, keeping the parent's ends open: the
// child's pid, or -1 with `start_error` set when it could not start.
pid_t start_child(const process_command& command, child_pipes& pipes, int& start_error) {
  const child_plan plan = plan_child(command);
  if (!open_pipes(pipes)) {
    start_error = errno;
    return -1;
  }
  const pid_t child = fork();
  if (child == 0) {
    become_child(plan, pipes);
  }
  start_error = errno;
  if (child > 0) {
    setpgid(child, child);  // the child does the same: whichever runs first, the group exists before any kill
  }
  close_fd(pipes.input.read_end);
  close_fd(pipes.output.write_end);
  close_fd(pipes.errors.write_end);
  close_fd(pipes.start_error.write_end);
  if (child < 0) {
    return -1;
  }
  start_error = read_start_error(pipes.start_error.read_end);
  if (start_error != 0) {
    reap(child);
    return -1;
  }
  return child;
}

}  // namespace

process_result run_process(const process_command& command, line_source* input, output_sink& out, output_sink& err,
                           const process_limits& limits) {
  const steady_clock::time_point start = steady_clock::now();
  process_result result;
  if (command.argv.empty()) {
    result.start_error = EINVAL;
    return result;
  }
  child_pipes pipes;
  const pid_t child = start_child(command, pipes, result.start_error);
  if (child < 0) {
    close_pipes(pipes);
    result.elapsed_ms = milliseconds_since(start);
    return result;
  }
  run_state state;
  state.input = input;
  state.input_fd = std::exchange(pipes.input.write_end, -1);
  state.out_fd = std::exchange(pipes.output.read_end, -1);
  state.err_fd = std::exchange(pipes.errors.read_end, -1);
  close_pipes(pipes);
  fcntl(state.input_fd, F_SETFL, fcntl(state.input_fd, F_GETFL) | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
  // A large input goes over in fewer rounds of waking the child; a pipe that
  // cannot grow is left as it is.
  fcntl(state.input_fd, F_SETPIPE_SZ, INPUT_PIPE_BYTES);
#endif
  run_loop(state, child, out, err, deadline_of(limits, start), limits.cancel);
  // After a time limit or a stop the group is still alive, and must die of
  // SIGKILL before closing the pipes could send it SIGPIPE; after an exit,
  // this also takes a process forked while the first kill was on its way.
  kill(-child, SIGKILL);
  for (int* fd : {&state.input_fd, &state.out_fd, &state.err_fd}) {
    close_fd(*fd);
  }
  finish(result, state, child);
  result.elapsed_ms = milliseconds_since(start);
  return result;
}

std::string signal_name(int signal) {
  for (const named_signal& named : SIGNAL_NAMES) {
    if (named.number == signal) {
      return named.name;
    }
  }
  return "signal " + std::to_string(signal);
}

}  // namespace keyscript
