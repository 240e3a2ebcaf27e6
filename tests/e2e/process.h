#pragma once

// Runs a built program as a user would, and gives back what it wrote to each
// stream and how it ended. Runs with both streams on pipes go through the
// library's runner; the others need what it does not offer (a stream on
// /dev/full or closed, both streams on one slow non-blocking pipe, a reader
// that leaves after 100 bytes so that the program meets SIGPIPE) and keep
// their own fork and exec here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../process/captured_run.h"

namespace e2e {

// `slow_nonblocking_pipe`: both streams go into one non-blocking pipe, as some
// event-loop parents hand out, read slowly enough that it fills.
enum class stdout_to { pipe, dev_full, closed, pipe_closed_early, slow_nonblocking_pipe };

struct run_result {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
};

struct run_options {
  std::vector<std::string> args;
  const char* seed = "1";  // KEYSCRIPT_SEED, or nullptr to leave it unset
  stdout_to output = stdout_to::pipe;
  bool stderr_to_dev_full = false;
  std::string argv0 = KEYSCRIPT_BINARY;
  const char* binary = KEYSCRIPT_BINARY;
  std::optional<std::string> input = std::nullopt;  // written into standard input through a pipe, else none
};

inline std::string read_all(int fd, bool slowly = false) {
  std::string text;
  char block[65536];
  const std::size_t size = slowly ? 16384 : sizeof block;
  for (ssize_t got; (got = read(fd, block, size)) > 0;) {
    text.append(block, static_cast<std::size_t>(got));
    if (slowly) {
      usleep(1000);
    }
  }
  return text;
}

// Writes `text` into a new pipe from a process of its own (so that a long
// input and a long output cannot wait on each other); gives back the pipe's
// reading end and the writing process.
struct feeder {
  int fd;
  pid_t writer;
};

inline feeder feed(const std::string& text) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    close(ends[0]);
    signal(SIGPIPE, SIG_IGN);  // a program that stops reading early is fine
    for (std::size_t at = 0; at < text.size();) {
      const ssize_t put = write(ends[1], text.data() + at, text.size() - at);
      if (put <= 0) {
        break;
      }
      at += static_cast<std::size_t>(put);
    }
    _exit(0);
  }
  close(ends[1]);
  return {ends[0], writer};
}

// A cross build's programs run under qemu-user, which takes the program name
// to hand over with -0.
inline keyscript::process_command command_for(const run_options& options) {
  keyscript::process_command command;
  const char* const emulator = KEYSCRIPT_EMULATOR;
  if (*emulator != '\0') {
    command.argv = {emulator, "-0", options.argv0, options.binary};
  } else {
    command.argv = {options.binary};
    command.argv0 = options.argv0;
  }
  command.argv.insert(command.argv.end(), options.args.begin(), options.args.end());
  // A bare name takes the variable out of the program's environment.
  command.environment = {options.seed == nullptr ? std::string("KEYSCRIPT_SEED")
                                                 : std::string("KEYSCRIPT_SEED=") + options.seed};
  return command;
}

inline run_result run_on_pipes(const run_options& options) {
  keyscript::captured_run run =
      keyscript::run_captured(command_for(options), options.input.value_or(""), keyscript::process_limits{});
  EXPECT_NE(run.result.ending, keyscript::process_ending::not_started)
      << options.binary << ": " << std::strerror(run.result.start_error);
  run_result result;
  result.out = std::move(run.out);
  result.err = std::move(run.err);
  if (run.result.ending == keyscript::process_ending::exited) {
    result.status = run.result.status;
  } else {
    result.signal = run.result.signal;
  }
  return result;
}

inline run_result run_with_own_pipes(const run_options& options) {
  const feeder input = options.input ? feed(*options.input) : feeder{-1, -1};  // before the other pipes
  int out_pipe[2];
  int err_pipe[2];
  EXPECT_EQ(pipe(out_pipe), 0);
  EXPECT_EQ(pipe(err_pipe), 0);
  const bool slow = options.output == stdout_to::slow_nonblocking_pipe;
  if (slow) {
    EXPECT_EQ(fcntl(out_pipe[1], F_SETFL, O_NONBLOCK), 0);
  }
  const pid_t child = fork();
  if (child == 0) {
    if (input.fd >= 0) {
      dup2(input.fd, STDIN_FILENO);
      close(input.fd);
    }
    signal(SIGPIPE, SIG_DFL);
    if (options.seed != nullptr) {
      setenv("KEYSCRIPT_SEED", options.seed, 1);
    } else {
      unsetenv("KEYSCRIPT_SEED");
    }
    if (options.output == stdout_to::dev_full) {
      dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
    } else if (options.output == stdout_to::closed) {
      close(STDOUT_FILENO);
    } else {
      dup2(out_pipe[1], STDOUT_FILENO);
    }
    dup2(options.stderr_to_dev_full ? open("/dev/full", O_WRONLY) : slow ? out_pipe[1] : err_pipe[1], STDERR_FILENO);
    for (const int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      close(fd);
    }
    // A cross build's keyscript runs under qemu-user, which takes the
    // program name to hand over with -0.
    const char* const emulator = KEYSCRIPT_EMULATOR;
    const bool emulated = *emulator != '\0';
    std::vector<std::string> words;
    if (emulated) {
      words = {emulator, "-0", options.argv0, options.binary};
    } else {
      words = {options.argv0};
    }
    words.insert(words.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    if (emulated) {
      execvp(emulator, argv.data());
    } else {
      execv(options.binary, argv.data());
    }
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (input.fd >= 0) {
    close(input.fd);
  }
  run_result result;
  if (options.output == stdout_to::pipe_closed_early) {
    char first[100];
    EXPECT_EQ(read(out_pipe[0], first, sizeof first), static_cast<ssize_t>(sizeof first));
    close(out_pipe[0]);
  } else {
    result.out = read_all(out_pipe[0], slow);
    close(out_pipe[0]);
  }
  result.err = read_all(err_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (input.writer > 0) {
    waitpid(input.writer, nullptr, 0);  // it ends once its input is read, or no longer wanted
  }
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

inline run_result run(const run_options& options) {
  if (options.output == stdout_to::pipe && !options.stderr_to_dev_full) {
    return run_on_pipes(options);
  }
  return run_with_own_pipes(options);
}

}  // namespace e2e
