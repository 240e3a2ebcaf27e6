// Starting and ending a program on POSIX: vfork (fork) and execve in a process
// group of its own, with every word the child needs built before the fork,
// and at the end the group killed and the program reaped.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "process/live_runs.h"
#include "process/process.h"
#include "process/spawn.h"
#include "process/system.h"

namespace keyscript {

namespace {

using std::chrono::steady_clock;

constexpr std::size_t READ_CHUNK = 65536;
// The search path execvp takes when PATH is not set (glibc's _CS_PATH).
constexpr std::string_view DEFAULT_SEARCH_PATH = "/bin:/usr/bin";
// What execvp runs a file with when the system cannot (no "#!" line).
constexpr const char* SHELL = "/bin/sh";

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

bool open_pipe(pipe_ends& ends) {
  int fds[2] = {-1, -1};
  if (!open_cloexec_pipe(fds)) {
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

// exec takes char* const[], though it never writes through them.
char* exec_word(const std::string& text) { return const_cast<char*>(text.c_str()); }

// Everything the child passes to execve, built before the fork: between
// fork and exec a child of a threaded caller may call async-signal-safe
// functions only, so it cannot allocate, nor read PATH with getenv.
struct exec_plan {
  std::vector<std::string> paths;  // where to look for the program, in execvp's order
  std::vector<char*> path_words;
  std::vector<char*> argv;
  // For a file the system cannot run (no "#!" line): the shell, then the
  // file (filled in by the child), then argv[1...], as execvp does.
  std::vector<char*> shell_argv;
  std::vector<char*> environment;
  int error = 0;  // execvp would fail before any exec (ENOENT, ENAMETOOLONG)
};

// The caller's environment with `changes` made, and the run's mark, which
// replaces any inherited one.
std::vector<char*> child_environment(const std::vector<std::string>& changes, const std::string& mark) {
  const auto changed = [&](std::string_view name) {
    return (!mark.empty() && variable_name(mark) == name) ||
           std::any_of(changes.begin(), changes.end(),
                       [name](const std::string& change) { return variable_name(change) == name; });
  };
  std::vector<char*> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!changed(variable_name(*entry))) {
      entries.push_back(*entry);
    }
  }
  for (const std::string& change : changes) {
    if (change.find('=') != std::string::npos) {
      entries.push_back(exec_word(change));
    }
  }
  if (!mark.empty()) {
    entries.push_back(exec_word(mark));
  }
  entries.push_back(nullptr);
  return entries;
}

// PATH as the child will have it, which is where execvp would read it.
std::optional<std::string_view> search_path(const std::vector<char*>& environment) {
  constexpr std::string_view NAME = "PATH=";
  for (const char* entry : environment) {
    if (entry != nullptr && std::string_view(entry).starts_with(NAME)) {
      return std::string_view(entry).substr(NAME.size());
    }
  }
  return std::nullopt;
}

// execvp's places for `file`, as glibc tries them: a name with a '/' is the
// file itself; else each element of PATH in turn, an empty one standing for
// the working directory. Its length limits are glibc's too.
int plan_paths(const std::string& file, std::optional<std::string_view> path, std::vector<std::string>& paths) {
  if (file.empty()) {
    return ENOENT;
  }
  if (file.find('/') != std::string::npos) {
    paths.push_back(file);
    return 0;
  }
  const std::string_view search = path.value_or(DEFAULT_SEARCH_PATH);
  if (file.size() >= NAME_MAX || search.size() + file.size() + 3 > PATH_MAX) {
    return ENAMETOOLONG;
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = search.find(':', start);
    const std::string_view element = search.substr(start, end - start);
    paths.push_back(element.empty() ? file : std::string(element) + '/' + file);
    if (end == std::string_view::npos) {
      return 0;
    }
    start = end + 1;
  }
}

exec_plan plan_exec(const process_command& command, const std::string& mark) {
  exec_plan plan;
  plan.environment = child_environment(command.environment, mark);
  plan.error = plan_paths(command.argv[0], search_path(plan.environment), plan.paths);
  for (const std::string& path : plan.paths) {
    plan.path_words.push_back(exec_word(path));
  }
  plan.argv.push_back(exec_word(command.argv0 ? *command.argv0 : command.argv[0]));
  plan.shell_argv = {const_cast<char*>(SHELL), nullptr};
  for (std::size_t i = 1; i < command.argv.size(); ++i) {
    plan.argv.push_back(exec_word(command.argv[i]));
    plan.shell_argv.push_back(exec_word(command.argv[i]));
  }
  plan.argv.push_back(nullptr);
  plan.shell_argv.push_back(nullptr);
  return plan;
}

// 127 as a shell would exit with, though the parent goes by the errno.
[[noreturn]] void report_start_error(int fd, int error) {
  [[maybe_unused]] const ssize_t written = write(fd, &error, sizeof error);
  _exit(127);
}

// The errors on which execvp goes on to the next element of PATH.
bool search_goes_on(int error) {
  return error == EACCES || error == ENOENT || error == ESTALE || error == ENOTDIR || error == ENODEV ||
         error == ETIMEDOUT;
}

// Only async-signal-safe calls from here to the exec.
[[noreturn]] void become_child(exec_plan& plan, const child_pipes& pipes) {
  const int report_fd = pipes.start_error.write_end;
  setpgid(0, 0);
  if (dup2(pipes.input.read_end, STDIN_FILENO) < 0 || dup2(pipes.output.write_end, STDOUT_FILENO) < 0 ||
      dup2(pipes.errors.write_end, STDERR_FILENO) < 0) {
    report_start_error(report_fd, errno);
  }
  mark_others_close_on_exec();
  // A handler of the parent's must not run here, in its memory, before the
  // exec: every signal it handles goes back to its default while all are
  // blocked. SIGPIPE goes back to its default even where it was ignored.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN) {
      sigaction(signal, &default_action, nullptr);
    }
  }
  sigaction(SIGPIPE, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  bool denied = false;
  int error = ENOENT;
  for (char* path : plan.path_words) {
    execve(path, plan.argv.data(), plan.environment.data());
    error = errno;
    if (error == ENOEXEC) {
      plan.shell_argv[1] = path;
      execve(SHELL, plan.shell_argv.data(), plan.environment.data());
      report_start_error(report_fd, errno);
    }
    denied = denied || error == EACCES;
    if (!search_goes_on(error)) {
      report_start_error(report_fd, error);
    }
  }
  report_start_error(report_fd, denied ? EACCES : error);
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

int reap(pid_t child, rusage& usage) {
  int status = 0;
  while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  return status;
}

// Forks and execs the child on `pipes`, keeping the parent's ends open: the
// child's pid, or -1 with `start_error` set when it could not start. The
// registry's lock is held from the fork until the child is entered, so that
// no sweep takes it for an adopted process.
pid_t spawn(exec_plan& plan, child_pipes& pipes, live_runs* runs, std::size_t slot, int& start_error) {
  if (!open_pipes(pipes)) {
    start_error = errno;
    return -1;
  }
  pid_t child = -1;
  {
    std::unique_lock<std::mutex> held;
    if (runs != nullptr) {
      held = runs->hold();
    }
    // With every signal blocked until the child has reset its handlers.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
#if defined(__linux__)
    // vfork shares this process's memory with the child until its exec:
    // no page table is copied, and no page this process writes afterwards
    // faults to be copied, which fork costs a campaign on every run.
    child = vfork();
#else
    child = fork();
#endif
    if (child == 0) {
      become_child(plan, pipes);
    }
    start_error = errno;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (child > 0) {
      setpgid(child, child);  // the child does the same: whichever runs first, the group exists before any kill
      if (runs != nullptr) {
        runs->enter(slot, child);
      }
    }
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
    rusage usage{};
    reap(child, usage);
    return -1;
  }
  return child;
}

std::int64_t milliseconds_since(steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
}

std::int64_t microseconds(const timeval& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000 + static_cast<std::int64_t>(time.tv_usec);
}

process_ending ending_of(process_ending last_pump, int status) {
  switch (last_pump) {
    case process_ending::exited:
      return WIFSIGNALED(status) ? process_ending::signaled : process_ending::exited;
    case process_ending::paused:
      return process_ending::stopped;  // ended by its caller between pumps
    default:
      return last_pump;
  }
}

}  // namespace

void close_fd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

bool has_exited(int pid) {
  siginfo_t info{};
  const int found = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
  return (found == 0 && info.si_pid == pid) || (found < 0 && errno == ECHILD);
}

void program_exited(process_run& run) {
  run.exited = true;
  run.exited_at = steady_clock::now();
  if (run.runs != nullptr) {
    // Before the group's kill: what is running now outlived the program.
    const sweep_found found = sweep_adopted(*run.runs, run.slot, run.pid, run.mark, false);
    run.outlived = found.alive;
    run.first_outlived = found.first_name;
    run.descendants_seen = found.any;
  }
  kill(-run.pid, SIGKILL);
  if (run.input_fd >= 0) {
    run.input_closed_early = true;
    close_fd(run.input_fd);
  }
}

process_run start_process(const process_command& command) {
  process_run run;
  run.started_at = steady_clock::now();
  if (command.argv.empty()) {
    run.start_error = EINVAL;
    return run;
  }
  if (command.runs != nullptr) {
    run.slot = command.runs->reserve();
    if (run.slot == live_runs::CAPACITY) {
      run.start_error = EAGAIN;
      return run;
    }
    run.runs = command.runs;
    run.mark = command.runs->next_mark();
  }
  exec_plan plan = plan_exec(command, run.mark);
  child_pipes pipes;
  pid_t child = -1;
  if (plan.error != 0) {
    run.start_error = plan.error;
  } else {
    child = spawn(plan, pipes, run.runs, run.slot, run.start_error);
  }
  if (child < 0) {
    close_pipes(pipes);
    if (run.runs != nullptr) {
      run.runs->leave(run.slot);
      run.runs = nullptr;
    }
    return run;
  }
  run.pid = child;
  run.input_fd = std::exchange(pipes.input.write_end, -1);
  run.output_fd = std::exchange(pipes.output.read_end, -1);
  run.errors_fd = std::exchange(pipes.errors.read_end, -1);
  close_pipes(pipes);
  fcntl(run.input_fd, F_SETFL, fcntl(run.input_fd, F_GETFL) | O_NONBLOCK);
  // A large input goes over in fewer rounds of waking the child.
  widen_pipe(run.input_fd);
  run.buffer.resize(READ_CHUNK);
  return run;
}

process_result finish_process(process_run& run) {
  process_result result;
  result.start_error = run.start_error;
  if (!run.started()) {
    result.elapsed_ms = milliseconds_since(run.started_at);
    return result;
  }
  // After a time limit or a stop the group is still alive, and must die of
  // SIGKILL before closing the pipes could send it SIGPIPE; after an exit,
  // this also takes a process forked while the first kill was on its way.
  kill(-run.pid, SIGKILL);
  for (int* fd : {&run.input_fd, &run.output_fd, &run.errors_fd}) {
    close_fd(*fd);
  }
  rusage usage{};
  const int status = reap(run.pid, usage);
  if (run.runs != nullptr) {
    run.runs->program_reaped(run.slot);
    // A program that exited with nothing left running cannot have left
    // anything since; one that was killed may have.
    if (!run.exited || run.descendants_seen) {
      sweep_adopted(*run.runs, run.slot, run.pid, run.mark, true);
    }
    run.runs->leave(run.slot);
    run.runs = nullptr;
  }
  result.ending = ending_of(run.last, status);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.cpu_us = microseconds(usage.ru_utime) + microseconds(usage.ru_stime);
  result.input_closed_early = run.input_closed_early;
  result.process_group = run.pid;
  result.outlived = run.outlived;
  result.first_outlived = run.first_outlived;
  result.elapsed_ms = milliseconds_since(run.started_at);
  run.pid = -1;
  return result;
}

process_run::process_run(process_run&& other) noexcept { *this = std::move(other); }

process_run& process_run::operator=(process_run&& other) noexcept {
  if (this == &other) {
    return *this;
  }
  if (started()) {
    finish_process(*this);
  }
  pid = std::exchange(other.pid, -1);
  start_error = other.start_error;
  input_fd = std::exchange(other.input_fd, -1);
  output_fd = std::exchange(other.output_fd, -1);
  errors_fd = std::exchange(other.errors_fd, -1);
  started_at = other.started_at;
  exited = other.exited;
  exited_at = other.exited_at;
  input_closed_early = other.input_closed_early;
  last = other.last;
  outlived = other.outlived;
  first_outlived = std::move(other.first_outlived);
  descendants_seen = other.descendants_seen;
  runs = std::exchange(other.runs, nullptr);
  slot = other.slot;
  mark = std::move(other.mark);
  buffer = std::move(other.buffer);
  return *this;
}

process_run::~process_run() {
  if (started()) {
    finish_process(*this);
  }
}

}  // namespace keyscript
