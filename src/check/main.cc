#include <array>
#include <cerrno>
#include <csignal>

#include "check/command_line.h"
#include "process/live_runs.h"

namespace {

// The signals that would end keyscript-check. The first stops every run,
// whose end kills what it started, and keyscript-check ends with what it
// has ("interrupted", status 2). A second SIGINT or SIGTERM, and SIGPIPE
// (keyscript-check's own output gone) at once, kill what runs from the
// handler and end keyscript-check by the same signal, its default action
// restored, so that whoever started it sees how it ended.
constexpr std::array<int, 8> ENDING_SIGNALS{SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE};

// main's registry, for the handler.
keyscript::live_runs* runs_in_flight = nullptr;

[[noreturn]] void end_now(int signal) {
  runs_in_flight->kill_all();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal, &default_action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // should the signal not end it after all
}

// 32-bit x86 code compiled for SSE assumes a 16-byte aligned stack, which
// the i386 ABI does not promise a signal handler (qemu-i386 enters one
// 4 bytes off, and the sweep's vector moves then fault): the handler
// realigns its own.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void on_ending_signal(int signal) {
  const int saved_errno = errno;
  const bool again = runs_in_flight->interrupted().exchange(true);
  if (signal == SIGPIPE || (again && (signal == SIGINT || signal == SIGTERM))) {
    end_now(signal);
  }
  errno = saved_errno;
}

void catch_ending_signals() {
  struct sigaction on_signal {};
  on_signal.sa_handler = on_ending_signal;
  sigemptyset(&on_signal.sa_mask);
  for (const int signal : ENDING_SIGNALS) {
    sigaddset(&on_signal.sa_mask, signal);  // one handler at a time
  }
  for (const int signal : ENDING_SIGNALS) {
    // One that whoever started keyscript-check ignores (nohup) stays
    // ignored.
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    if (before.sa_handler != SIG_IGN) {
      sigaction(signal, &on_signal, nullptr);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Processes that leave a run's group come back here once their parent is
  // gone, for the run to kill.
  keyscript::become_child_subreaper();
  static keyscript::live_runs runs;
  runs_in_flight = &runs;
  catch_ending_signals();
  return keyscript::run_keyscript_check(argc, argv, runs);
}
